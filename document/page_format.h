#pragma once
// What Quillet composes into a page: the new-page template, the entry block with its title
// record, and the colour notation. Strings are the page's bytes in its encoding, never escaped.

#include <cstdint>
#include <string>
#include <vector>

namespace quillet::doc {

class LineWriter;

// Platform colour values hold red in the lowest byte (0x00BBGGRR); HTML wants 0xRRGGBB.
std::uint32_t ColorToHtml(std::uint32_t platformColor);
// "#" and at least six upper-case hexadecimal digits.
std::string htmlColor(std::uint32_t rrggbb);

// "&#N;": how page text carries a character it must not hold as bytes (one its encoding
// cannot hold, one that would end the line or the text); a browser shows the character itself.
std::string characterReference(char32_t code);

struct PageColors {
    // Platform colour values as the colour dialog gives them.
    std::uint32_t background = 0x00808000; // teal
    std::uint32_t text = 0x80000008;       // the window-text colour reference
    std::uint32_t link = 0x80000008;
    std::uint32_t visitedLink = 0x80000008;
    std::uint32_t activeLink = 0x80000008;
};

// The plain text's colour on a surface until it is given one of its own: the surface's inverse.
constexpr std::uint32_t textOnSurface(std::uint32_t background) { return ~background; }

// The encodings a new page can be made in. Shift-JIS pages declare "x-sjis" as they always have.
enum class NewPageCharset { ShiftJis, Utf8 };

// The four written lines of a new page, without their CR LF.
std::vector<std::string> newPageTemplate(const PageColors& colors,
                                         NewPageCharset charset = NewPageCharset::ShiftJis);

struct TitleStyle {
    bool bold = false;
    bool italic = false;
    std::int32_t color = 0; // 0xRRGGBB; 0 or less means no colour
    std::string size;       // a FONT SIZE token, empty for none
    std::string markTag;    // the title-mark image tag
};

struct Entry {
    std::string title; // empty: no title record
    std::vector<std::string> body;
    bool indent = false;
    bool titleMark = false; // put style.markTag before the title
    TitleStyle style;
};

std::string titleRecordLine(const Entry& entry);
std::string bodyStartLine(bool indent);
std::string bodyEndLine(bool indent);
// Title record (when titled), body start, body lines, body end.
void writeEntryBlock(LineWriter& out, const Entry& entry);

} // namespace quillet::doc
