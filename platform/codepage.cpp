#include "platform/codepage.h"

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <unordered_map>

#include "document/iconv_converter.h"
#include "document/page_encoding.h"
#include "document/page_format.h"
#include "platform/texts.h"

namespace quillet::platform {

namespace {
std::string_view view(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

QString fromUtf8(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// 0x1A ends a page's text for every later reading: the next rewrite would drop all after it.
constexpr char32_t kEndOfText = 0x1A;
} // namespace

PageCodec::PageCodec(std::string encoding) : encoding_(std::move(encoding)) {
    if (const auto reason = doc::refusalOf(encoding_))
        throw doc::EncodingRefusedError({}, encoding_, *reason);
}

std::optional<std::string> PageCodec::convert(const QString& text, bool references) const {
    const QByteArray utf8 = text.toUtf8();
    doc::IconvConverter toPage(encoding_, "UTF-8");
    // Nearly all text converts whole and reads back as itself.
    const bool endOfText = references && text.contains(QChar(kEndOfText));
    if (std::string bytes; !endOfText && toPage.convertAll(view(utf8), bytes) && decode(bytes) == text)
        return bytes;

    // Otherwise character by character: one that cannot be held, or whose bytes read back as
    // another character ("¥" U+00A5 becomes 0x5C in CP932, which is "\"), goes in as a reference
    // to its code point, which a browser shows as that very character. A multi-byte character
    // that reads back under another code point is the same JIS character as named by another
    // mapping table ("〜" U+301C and "～" U+FF5E are both 81 60): it keeps its bytes, as a
    // Windows author's page has them.
    doc::IconvConverter fromPage("UTF-8", encoding_);
    std::unordered_map<char32_t, std::optional<std::string>> known; // a long text repeats them
    std::string out;
    for (char32_t code : text.toUcs4()) {
        if (code == kEndOfText && references) {
            out += doc::characterReference(code);
            continue;
        }
        if (code < 0x80) { // ASCII stands for itself in every served encoding
            out += static_cast<char>(code);
            continue;
        }
        auto [at, isNew] = known.try_emplace(code);
        if (isNew) {
            const QByteArray ch = QString::fromUcs4(&code, 1).toUtf8();
            std::string bytes;
            bool held = toPage.convertAll(view(ch), bytes) && !doc::firstUnreadByBrowsers(encoding_, bytes);
            if (held && bytes.size() == 1) {
                std::string back;
                held = fromPage.convertAll(bytes, back) && back == view(ch);
            }
            if (held)
                at->second = std::move(bytes);
        }
        if (at->second)
            out += *at->second;
        else if (references)
            out += doc::characterReference(code);
        else
            return std::nullopt;
    }
    return out;
}

std::string PageCodec::encode(const QString& text) const { return *convert(text, true); }

std::optional<std::string> PageCodec::encodeStrict(const QString& text) const { return convert(text, false); }

std::string PageCodec::encodeExactly(const QString& text, const QString& what) const {
    if (auto bytes = encodeStrict(text))
        return *std::move(bytes);
    throw TextNotHeldError(texts::cannotHold(what, name()).toStdString());
}

std::optional<QString> PageCodec::decode(std::string_view bytes) const {
    if (doc::firstUnreadByBrowsers(encoding_, bytes))
        return std::nullopt;
    doc::IconvConverter cv("UTF-8", encoding_);
    std::string out;
    if (!cv.convertAll(bytes, out))
        return std::nullopt;
    return fromUtf8(out);
}

QString PageCodec::decodeForDisplay(std::string_view bytes) const {
    doc::IconvConverter cv("UTF-8", encoding_);
    std::string out;
    const std::string_view replacement = "\xEF\xBF\xBD";
    while (!bytes.empty()) {
        const auto unread = doc::firstUnreadByBrowsers(encoding_, bytes);
        std::string_view run = bytes.substr(0, unread ? unread->offset : bytes.size());
        while (!cv.convert(run, out)) {
            out += replacement;
            run.remove_prefix(1);
        }
        if (!unread)
            break;
        out += replacement;
        bytes.remove_prefix(unread->offset + unread->length);
    }
    return fromUtf8(out);
}

QString PageCodec::name() const { return QString::fromStdString(doc::encodingDisplayName(encoding_)); }

const PageCodec& cp932() {
    static const PageCodec codec("CP932");
    return codec;
}

} // namespace quillet::platform
