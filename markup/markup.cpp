#include "markup/markup.h"

#include <array>
#include <limits>
#include <stdexcept>

#include "document/page_format.h"

namespace quillet::markup {

namespace {
constexpr std::string_view kCRLF = "\r\n";

struct ListType {
    std::string_view open; // without its closing ">"
    std::string_view close;
};
constexpr std::array<ListType, kListTypeCount> kListTypes{{
    {"<UL TYPE=\"DISC\"", "</UL>"},
    {"<UL TYPE=\"CIRCLE\"", "</UL>"},
    {"<UL TYPE=\"SQUARE\"", "</UL>"},
    {"<OL TYPE=\"1\"", "</OL>"},
    {"<OL TYPE=\"A\"", "</OL>"},
    {"<OL TYPE=\"a\"", "</OL>"},
    {"<OL TYPE=\"I\"", "</OL>"},
    {"<OL TYPE=\"i\"", "</OL>"},
}};

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
} // namespace

Wrap styleWrap(Style style) {
    switch (style) {
    case Style::Bold:
        return {"<B>", "</B>"};
    case Style::Italic:
        return {"<I>", "</I>"};
    case Style::Under:
        return {"<U>", "</U>"};
    case Style::Line:
        return {"", "<HR>\r\n"};
    case Style::Phrase:
        return {"<P>", "</P>\r\n"};
    case Style::Pre:
        return {"<PRE>", "</PRE>"};
    case Style::TT:
        return {"<TT>", "</TT>"};
    case Style::BR:
        return {"", "<BR>\r\n"};
    case Style::Big:
        return {"<BIG>", "</BIG>"};
    case Style::Small:
        return {"<SMALL>", "</SMALL>"};
    }
    throw std::invalid_argument("unknown markup style");
}

bool listTakesStartNumber(int typeIndex) { return typeIndex >= 3; }

std::string listSkeleton(int typeIndex, std::optional<std::int32_t> start) {
    const ListType& type = kListTypes.at(static_cast<std::size_t>(typeIndex));
    std::string out(type.open);
    // A start number belongs to numbered lists only; a UL never gets one.
    if (start && listTakesStartNumber(typeIndex))
        out += " START=" + std::to_string(*start);
    out += '>';
    out += kCRLF;
    for (int i = 0; i < 3; ++i) {
        out += "<LI>";
        out += kCRLF;
    }
    out += type.close;
    out += kCRLF;
    return out;
}

std::optional<std::int32_t> parseStartNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (text.substr(i, 2) == "0x" || text.substr(i, 2) == "0X") {
        base = 16;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;
    // The magnitude may reach 2^31 only for a negative number.
    const std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + negative;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = hexDigit(text[i]);
        if (digit < 0 || digit >= base)
            return std::nullopt;
        value = value * base + digit;
        if (value > limit)
            return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

std::string normalizeStartNumber(std::string_view text) {
    const auto number = parseStartNumber(text);
    return number ? std::to_string(*number) : std::string();
}

bool isSizeToken(std::string_view text) {
    static constexpr std::array<std::string_view, 17> kTokens{
        "1", "2", "3", "4", "5", "6", "7", "-5", "-4", "-3", "-2", "-1", "+1", "+2", "+3", "+4", "+5"};
    for (std::string_view token : kTokens)
        if (text == token)
            return true;
    return false;
}

Wrap fontWrap(const FontChoice& choice) {
    Wrap wrap;
    if (choice.bold) {
        wrap.before += "<B>";
        wrap.after = "</B>" + wrap.after;
    }
    if (choice.italic) {
        wrap.before += "<I>";
        wrap.after = "</I>" + wrap.after;
    }
    // Only a checked token reaches the page; anything else would be raw text inside the tag.
    const std::string size = isSizeToken(choice.size) ? " SIZE=\"" + choice.size + "\"" : std::string();
    std::string fontOpen;
    if (choice.chooserColor != 0)
        fontOpen =
            "<FONT COLOR=\"" + doc::htmlColor(doc::ColorToHtml(choice.chooserColor)) + "\"" + size + ">";
    else if (!size.empty())
        fontOpen = "<FONT " + size + ">"; // two blanks before SIZE, as pages have always had
    if (!fontOpen.empty()) {
        wrap.before += fontOpen;
        wrap.after = "</FONT>" + wrap.after;
    }
    return wrap;
}

std::string titleMarkTag(std::string_view pathBytes) {
    std::string tag = "<IMG SRC=\"";
    for (char c : pathBytes) {
        switch (c) {
        case '"':
            tag += "&quot;";
            break;
        case '<':
            tag += "&lt;";
            break;
        case '>':
            tag += "&gt;";
            break;
        case '\r':
        case '\n':
        case '\x1a': // ends the page's text for every later rewrite
            tag += doc::characterReference(static_cast<unsigned char>(c));
            break;
        default:
            tag += c;
        }
    }
    tag += "\">";
    return tag;
}

} // namespace quillet::markup
