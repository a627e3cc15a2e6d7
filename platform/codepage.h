#pragma once
// The one place where window text (Unicode) meets page text (bytes in the page's encoding).
// Encoding is lossless or refused: a character the encoding cannot hold, or whose bytes a browser
// would read as another character, is written as an HTML numeric character reference, which a
// browser shows as the same character; decoding refuses bytes that are not valid in the encoding
// instead of replacing them. Every encoding served here keeps ASCII as it is (doc::refusalOf).

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <QString>

namespace quillet::platform {

// Text that must go out exactly (a settings field, a name on the server) holds a character the
// encoding cannot: its message is the one text for that refusal.
class TextNotHeldError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class PageCodec {
public:
    // An iconv name as doc::pageEncoding gives it. Throws doc::EncodingRefusedError for an
    // encoding that cannot be served.
    explicit PageCodec(std::string encoding = "CP932");
    // Unicode to page bytes; characters that are not held become "&#N;", and so does U+001A,
    // which would end the page's text.
    std::string encode(const QString& text) const;
    // Unicode to bytes that read back as this very text, or nothing when some character is not
    // held: the one way to ask whether text can go out exactly.
    std::optional<std::string> encodeStrict(const QString& text) const;
    bool canHold(const QString& text) const { return encodeStrict(text).has_value(); }
    // encodeStrict, or TextNotHeldError saying that `what` (a field's name) holds a character
    // this encoding cannot.
    std::string encodeExactly(const QString& text, const QString& what) const;
    // Page bytes to Unicode; nothing when the bytes are not valid in the encoding, or would read
    // as other characters in a browser.
    std::optional<QString> decode(std::string_view bytes) const;
    // Page bytes to Unicode for showing only: every byte that does not start a valid character
    // is shown as U+FFFD. Never use the result to write the page.
    QString decodeForDisplay(std::string_view bytes) const;
    const std::string& encoding() const { return encoding_; }
    // The encoding's name as the author knows it ("Shift-JIS", "UTF-8").
    QString name() const;

private:
    std::optional<std::string> convert(const QString& text, bool references) const;
    std::string encoding_;
};

// The program's code page, CP932.
const PageCodec& cp932();

} // namespace quillet::platform
