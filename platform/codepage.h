#pragma once
// The one place where window text (Unicode) meets page text (bytes in the page's code page).
// Encoding is lossless or refused: a character the code page cannot hold is written as an HTML
// numeric character reference, which a browser shows as the same character; decoding refuses
// bytes that are not valid in the code page instead of replacing them.

#include <optional>
#include <string>
#include <string_view>

#include <QString>

namespace quillet::platform {

class PageCodec {
public:
    explicit PageCodec(std::string encoding = "CP932");
    // Unicode to page bytes; unmappable characters become "&#N;".
    std::string encode(const QString& text) const;
    // Unicode to bytes without any fallback: nullopt when a character cannot be held.
    std::optional<std::string> encodeStrict(const QString& text) const;
    // Page bytes to Unicode; nullopt when the bytes are not valid in the code page.
    std::optional<QString> decode(std::string_view bytes) const;
    // Page bytes to Unicode for showing only: every byte that does not start a valid character
    // is shown as U+FFFD. Never use the result to write the page.
    QString decodeForDisplay(std::string_view bytes) const;
    const std::string& encoding() const { return encoding_; }

private:
    std::string encoding_;
};

// The program's code page, CP932.
const PageCodec& cp932();

} // namespace quillet::platform
