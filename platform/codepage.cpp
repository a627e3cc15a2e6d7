#include "platform/codepage.h"

#include <QList>
#include <cerrno>
#include <cstdint>
#include <iconv.h>
#include <stdexcept>
#include <unordered_map>
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
                iconv(cd_, nullptr, nullptr, nullptr, nullptr); // ready for the input after it
                return false;                                   // EILSEQ or EINVAL (truncated input)
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
} // namespace

PageCodec::PageCodec(std::string encoding) : encoding_(std::move(encoding)) {}

std::string PageCodec::encode(const QString& text) const {
    // Nearly all text converts whole and reads back as itself.
    if (auto bytes = encodeStrict(text); bytes && decode(*bytes) == text)
        return *std::move(bytes);

    // Otherwise character by character: one that cannot be held, or whose bytes read back as
    // another character ("¥" U+00A5 becomes 0x5C, which is "\"), goes in as a reference to its
    // code point, which a browser shows as that very character. A double-byte character that
    // reads back under another code point is the same JIS character as named by another
    // mapping table ("〜" U+301C and "～" U+FF5E are both 81 60): it keeps its bytes, as a
    // Windows author's page has them.
    Iconv toPage(encoding_.c_str(), "UTF-8");
    Iconv fromPage("UTF-8", encoding_.c_str());
    std::unordered_map<char32_t, std::string> known; // a long text repeats its characters
    std::string out;
    for (char32_t code : text.toUcs4()) {
        if (code < 0x80) { // ASCII stands for itself in every served encoding
            out += static_cast<char>(code);
            continue;
        }
        auto [at, isNew] = known.try_emplace(code);
        if (isNew) {
            const QByteArray utf8 = QString::fromUcs4(&code, 1).toUtf8();
            const char* in = utf8.constData();
            std::size_t left = static_cast<std::size_t>(utf8.size());
            std::string bytes;
            bool held = toPage.convert(in, left, bytes);
            if (held && bytes.size() == 1) {
                const char* b = bytes.data();
                std::size_t bLeft = 1;
                std::string back;
                held = fromPage.convert(b, bLeft, back) && back == utf8.toStdString();
            }
            at->second = held ? bytes : "&#" + std::to_string(static_cast<std::uint32_t>(code)) + ";";
        }
        out += at->second;
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
