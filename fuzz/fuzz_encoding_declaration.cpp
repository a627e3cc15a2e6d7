// The head of any page, as anyone may have written it: the declaration scan must end without a
// crash or a hang, and give the same answer whether the page comes in one piece or in reads of
// any size, with any limit. What it finds is in the page: a label taken from its bytes, at an
// offset where a META tag or a byte-order mark starts.
// Byte 0 picks the size of each read, byte 1 the limit.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "document/line_io.h"
#include "document/page_encoding.h"

using namespace quillet::doc;

namespace {
class Dribble : public ByteSource {
public:
    Dribble(std::string_view data, std::size_t step) : data_(data), step_(step) {}
    std::size_t read(char* buf, std::size_t n) override {
        const std::size_t count = std::min({n, step_, data_.size() - pos_});
        std::copy_n(data_.data() + pos_, count, buf);
        pos_ += count;
        return count;
    }

private:
    std::string_view data_;
    std::size_t step_, pos_ = 0;
};

bool sameLetters(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return (x | 0x20) == (y | 0x20); });
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::size_t step = data[0] % 32 + 1;
    const std::size_t limit = data[1] < 128 ? kHeadScanLimit : data[1] * 8u;
    const std::string_view page(reinterpret_cast<const char*>(data) + 2, size - 2);

    const EncodingDeclaration whole = findDeclaration(page, limit);
    Dribble source(page, step);
    const EncodingDeclaration streamed = findDeclaration(source, limit);
    if (streamed.label != whole.label || streamed.source != whole.source || streamed.offset != whole.offset ||
        streamed.bom != whole.bom)
        std::abort();

    switch (whole.source) {
    case DeclarationSource::None:
        if (!whole.label.empty() || whole.offset != 0)
            std::abort();
        break;
    case DeclarationSource::ByteOrderMark:
        if (whole.offset != 0 || whole.bom == ByteOrderMark::None)
            std::abort();
        break;
    case DeclarationSource::MetaCharset:
    case DeclarationSource::MetaContentType:
        if (whole.label.empty() || whole.offset >= std::min(page.size(), limit) ||
            !sameLetters(page.substr(whole.offset, 5), "<meta") ||
            page.substr(whole.offset).find(whole.label) == std::string_view::npos)
            std::abort();
        break;
    }

    if (const auto charset = charsetFromContentType(page);
        charset && page.find(*charset) == std::string_view::npos)
        std::abort();
    // Whatever the label, its conversion name is one iconv may be asked for, without options.
    if (conversionName(whole.label).find('/') != std::string::npos)
        std::abort();
    return 0;
}
