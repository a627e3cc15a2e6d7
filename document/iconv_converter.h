#pragma once
// One glibc iconv conversion, owned: the only place that opens one. Pages in every encoding are
// converted through it, so what "cannot be converted" means is decided once.

#include <cstddef>
#include <string>
#include <string_view>

#include <iconv.h>

namespace quillet::doc {

class IconvConverter {
public:
    // Throws std::runtime_error when iconv knows no conversion between the two names.
    IconvConverter(const std::string& to, const std::string& from);
    ~IconvConverter();
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    // Whether iconv can convert between the two names at all.
    static bool known(const std::string& to, const std::string& from);

    // Appends the conversion of `in` to `out` and returns true, or stops at the first sequence
    // that cannot be converted (invalid, unmappable or cut short), leaving `in` there, and
    // returns false. The converter is ready for a new text either way.
    bool convert(std::string_view& in, std::string& out);
    // The whole of `in`, or false.
    bool convertAll(std::string_view in, std::string& out) { return convert(in, out); }

private:
    void reset();
    iconv_t cd_;
};

} // namespace quillet::doc
