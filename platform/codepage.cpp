#include "platform/codepage.h"

#include <QList>
#include <cerrno>
#include <iconv.h>
#include <stdexcept>
#include <vector>

namespace quillet::platform {

namespace {
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv: no conversion from ") + from + " to " + to);
    }
    ~Iconv() { iconv_close(cd_); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // Converts as far as possible; returns false and leaves `in` at the offending input when a
    // sequence cannot be converted.
    bool convert(const char*& in, std::size_t& inLeft, std::string& out) {
        char buf[4096];
        while (inLeft > 0) {
            char* outPtr = buf;
            std::size_t outLeft = sizeof buf;
            std::size_t rc = iconv(cd_, const_cast<char**>(&in), &inLeft, &outPtr, &outLeft);
            out.append(buf, static_cast<std::size_t>(outPtr - buf));
            if (rc == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG)
                    continue;
                return false; // EILSEQ or EINVAL (truncated input)
            }
        }
        char* outPtr = buf;
        std::size_t outLeft = sizeof buf;
        iconv(cd_, nullptr, nullptr, &outPtr, &outLeft); // flush any shift state
        out.append(buf, static_cast<std::size_t>(outPtr - buf));
        return true;
    }

private:
    iconv_t cd_;
};

// Length of the UTF-8 sequence starting with lead byte c (1 for a stray byte).
std::size_t utf8Length(unsigned char c) {
    if (c >= 0xF0)
        return 4;
    if (c >= 0xE0)
        return 3;
    if (c >= 0xC0)
        return 2;
    return 1;
}
} // namespace

PageCodec::PageCodec(std::string encoding) : encoding_(std::move(encoding)) {}

std::string PageCodec::encode(const QString& text) const {
    const QByteArray utf8 = text.toUtf8();
    Iconv cv(encoding_.c_str(), "UTF-8");
    const char* in = utf8.constData();
    std::size_t left = static_cast<std::size_t>(utf8.size());
    std::string out;
    while (!cv.convert(in, left, out)) {
        // Replace the one unmappable character by a reference to its code point.
        std::size_t len = std::min(utf8Length(static_cast<unsigned char>(*in)), left);
        const QString ch = QString::fromUtf8(in, static_cast<qsizetype>(len));
        const uint code = ch.isEmpty() ? 0xFFFD : ch.toUcs4().value(0, 0xFFFD);
        out += "&#" + std::to_string(code) + ";";
        in += len;
        left -= len;
    }
    return out;
}

std::optional<std::string> PageCodec::encodeStrict(const QString& text) const {
    const QByteArray utf8 = text.toUtf8();
    Iconv cv(encoding_.c_str(), "UTF-8");
    const char* in = utf8.constData();
    std::size_t left = static_cast<std::size_t>(utf8.size());
    std::string out;
    if (!cv.convert(in, left, out))
        return std::nullopt;
    return out;
}

std::optional<QString> PageCodec::decode(std::string_view bytes) const {
    Iconv cv("UTF-8", encoding_.c_str());
    const char* in = bytes.data();
    std::size_t left = bytes.size();
    std::string out;
    if (!cv.convert(in, left, out))
        return std::nullopt;
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
}

QString PageCodec::decodeForDisplay(std::string_view bytes) const {
    Iconv cv("UTF-8", encoding_.c_str());
    const char* in = bytes.data();
    std::size_t left = bytes.size();
    std::string out;
    while (!cv.convert(in, left, out)) {
        out += "\xEF\xBF\xBD";
        ++in;
        --left;
    }
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
}

const PageCodec& cp932() {
    static const PageCodec codec("CP932");
    return codec;
}

} // namespace quillet::platform
