#pragma once
// What the markup buttons and dialogs put into the entry body, and the checks of the dialogs'
// fields. Every tag is plain ASCII; the text it goes around is the caller's and never passes
// through here, so it may hold anything.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillet::markup {

// Tags around a text: the result is before + text + after.
struct Wrap {
    std::string before;
    std::string after;
    bool operator==(const Wrap&) const = default;
};

// The ten fixed-markup buttons of the markup bar.
enum class Style { Bold, Italic, Under, Line, Phrase, Pre, TT, BR, Big, Small };
Wrap styleWrap(Style style);

// List types in the order of the list dialog's choices: 0-2 bulleted (UL), 3-7 numbered (OL).
constexpr int kListTypeCount = 8;
bool listTakesStartNumber(int typeIndex);
// Opening tag (with START= for a numbered list given a start), three empty items, closing tag;
// every line ends in CR LF. Throws std::out_of_range for an unknown type.
std::string listSkeleton(int typeIndex, std::optional<std::int32_t> start);

// The start-number field: a signed 32-bit integer after optional leading blanks and one sign,
// decimal or hexadecimal after "$" or "0x". Anything else, trailing blanks included, is no number.
std::optional<std::int32_t> parseStartNumber(std::string_view text);
// What the field holds after it is left: the number in plain decimal, or nothing.
std::string normalizeStartNumber(std::string_view text);

// The FONT SIZE values: 1 to 7 and -5 to +5 without 0, each a whole token.
bool isSizeToken(std::string_view text);

struct FontChoice {
    bool bold = false;
    bool italic = false;
    std::uint32_t chooserColor = 0; // the colour chooser's order, red in the low byte; 0 = none
    std::string size;               // a size token, empty for none
};
// Bold outermost, then italic, then FONT; black (0) gives no COLOR attribute.
Wrap fontWrap(const FontChoice& choice);

// The title-mark image tag for a path in page bytes. Characters that would end the attribute,
// the tag, the title record's line or the page's text (0x1A) are written as character
// references.
std::string titleMarkTag(std::string_view pathBytes);

} // namespace quillet::markup
