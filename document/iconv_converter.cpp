#include "document/iconv_converter.h"

#include <cerrno>
#include <stdexcept>

namespace quillet::doc {

namespace {
const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
}

IconvConverter::IconvConverter(const std::string& to, const std::string& from)
    : cd_(iconv_open(to.c_str(), from.c_str())) {
    if (cd_ == kNone)
        throw std::runtime_error("iconv: no conversion from " + from + " to " + to);
}

IconvConverter::~IconvConverter() { iconv_close(cd_); }

bool IconvConverter::known(const std::string& to, const std::string& from) {
    const iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == kNone)
        return false;
    iconv_close(cd);
    return true;
}

void IconvConverter::reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

bool IconvConverter::convert(std::string_view& in, std::string& out) {
    char buf[4096];
    char* src = const_cast<char*>(in.data());
    std::size_t left = in.size();
    bool whole = true;
    while (left > 0) {
        char* dst = buf;
        std::size_t room = sizeof buf;
        const std::size_t rc = iconv(cd_, &src, &left, &dst, &room);
        out.append(buf, static_cast<std::size_t>(dst - buf));
        if (rc == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            whole = false; // EILSEQ, or EINVAL for a sequence cut short
            break;
        }
    }
    if (whole) {
        char* dst = buf;
        std::size_t room = sizeof buf;
        iconv(cd_, nullptr, nullptr, &dst, &room); // the closing shift sequence, if any
        out.append(buf, static_cast<std::size_t>(dst - buf));
    }
    reset();
    in = std::string_view(src, left);
    return whole;
}

} // namespace quillet::doc
