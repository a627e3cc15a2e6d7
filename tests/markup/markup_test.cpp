#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

#include "markup/markup.h"

using namespace quillet::markup;

TEST(MarkupTest, StyleWrapsPutTagsAroundOrAfterTheText) {
    const std::pair<Style, Wrap> cases[] = {
        {Style::Bold, {"<B>", "</B>"}},       {Style::Italic, {"<I>", "</I>"}},
        {Style::Under, {"<U>", "</U>"}},      {Style::Line, {"", "<HR>\r\n"}},
        {Style::Phrase, {"<P>", "</P>\r\n"}}, {Style::Pre, {"<PRE>", "</PRE>"}},
        {Style::TT, {"<TT>", "</TT>"}},       {Style::BR, {"", "<BR>\r\n"}},
        {Style::Big, {"<BIG>", "</BIG>"}},    {Style::Small, {"<SMALL>", "</SMALL>"}},
    };
    for (const auto& [style, wrap] : cases)
        EXPECT_EQ(styleWrap(style), wrap) << wrap.before << wrap.after;
}

TEST(MarkupTest, ListSkeletonHasFiveLinesAndStartOnlyForNumberedLists) {
    const auto list = [](const char* open, const char* close) {
        return std::string(open) + ">\r\n<LI>\r\n<LI>\r\n<LI>\r\n" + close + "\r\n";
    };
    const struct {
        int type;
        std::optional<std::int32_t> start;
        std::string expected;
    } cases[] = {
        {0, std::nullopt, list("<UL TYPE=\"DISC\"", "</UL>")},
        {1, std::nullopt, list("<UL TYPE=\"CIRCLE\"", "</UL>")},
        {2, 5, list("<UL TYPE=\"SQUARE\"", "</UL>")}, // a UL never takes a start
        {3, 5, list("<OL TYPE=\"1\" START=5", "</OL>")},
        {3, std::nullopt, list("<OL TYPE=\"1\"", "</OL>")},
        {4, 0, list("<OL TYPE=\"A\" START=0", "</OL>")},
        {5, -2, list("<OL TYPE=\"a\" START=-2", "</OL>")},
        {6, std::nullopt, list("<OL TYPE=\"I\"", "</OL>")},
        {7, -2147483647 - 1, list("<OL TYPE=\"i\" START=-2147483648", "</OL>")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(listSkeleton(c.type, c.start), c.expected) << c.type;
    EXPECT_THROW(listSkeleton(8, std::nullopt), std::out_of_range);
    EXPECT_THROW(listSkeleton(-1, std::nullopt), std::out_of_range);
}

TEST(MarkupTest, StartNumberIsNormalisedOrEmptied) {
    const std::pair<const char*, const char*> cases[] = {
        {"007", "7"},
        {"-2", "-2"},
        {"0", "0"},
        {"-0", "0"},
        {"+5", "5"},
        {"  12", "12"},
        {"$10", "16"},
        {"0x1f", "31"},
        {"0XFF", "255"},
        {"-$10", "-16"},
        {"2147483647", "2147483647"},
        {"-2147483648", "-2147483648"},
        {"$7FFFFFFF", "2147483647"},
        {"-$80000000", "-2147483648"},
        {"000000000000042", "42"},
        // Not a signed 32-bit integer: the field is emptied.
        {"2147483648", ""},
        {"-2147483649", ""},
        {"$80000000", ""},
        {"$FFFFFFFF", ""},
        {"99999999999999999999", ""},
        {"abc", ""},
        {"5 ", ""},
        {"", ""},
        {" ", ""},
        {"+", ""},
        {"$", ""},
        {"0x", ""},
        {"+-5", ""},
        {"1.5", ""},
        {"$G", ""},
        {"12a", ""},
        {"\t5", ""},
        {"\xEF\xBC\x95", ""}, // a full-width digit
    };
    for (const auto& [text, field] : cases)
        EXPECT_EQ(normalizeStartNumber(text), field) << '"' << text << '"';
}

TEST(MarkupTest, SizeTokenIsOneOfSeventeenWholeTokens) {
    for (const char* token :
         {"1", "2", "3", "4", "5", "6", "7", "-5", "-4", "-3", "-2", "-1", "+1", "+2", "+3", "+4", "+5"})
        EXPECT_TRUE(isSizeToken(token)) << token;
    // Adjacent tokens joined by colons are no token: they would reach the page as SIZE="1:2".
    for (const char* text : {"0",  "8",  "+6",  "-6",    "+0",   "-0", "1.5", "",   ":", "1:2",
                             ":1", "1:", ":1:", "-5:-4", "7:-5", " 1", "1 ",  "01", "+", "11"})
        EXPECT_FALSE(isSizeToken(text)) << '"' << text << '"';
}

TEST(MarkupTest, FontWrapNestsBoldItalicFontAndExchangesColourBytes) {
    const std::pair<FontChoice, Wrap> cases[] = {
        {{true, true, 0x0000FF, "+1"}, {"<B><I><FONT COLOR=\"#FF0000\" SIZE=\"+1\">", "</FONT></I></B>"}},
        {{false, false, 0xFF0000, ""}, {"<FONT COLOR=\"#0000FF\">", "</FONT>"}},
        {{false, false, 0x563412, "-5"}, {"<FONT COLOR=\"#123456\" SIZE=\"-5\">", "</FONT>"}},
        {{false, false, 0, "5"}, {"<FONT  SIZE=\"5\">", "</FONT>"}},
        {{false, true, 0, ""}, {"<I>", "</I>"}},
        {{true, false, 0, "7"}, {"<B><FONT  SIZE=\"7\">", "</FONT></B>"}},
        {{false, false, 0, ""}, {"", ""}},
        // A size that is no token never reaches the page.
        {{false, false, 0, "1:2"}, {"", ""}},
        {{false, false, 0x0000FF, "\"><X"}, {"<FONT COLOR=\"#FF0000\">", "</FONT>"}},
    };
    for (const auto& [choice, wrap] : cases)
        EXPECT_EQ(fontWrap(choice), wrap) << wrap.before;
}

TEST(MarkupTest, TitleMarkTagKeepsThePathAndGuardsTheRecord) {
    const std::pair<const char*, const char*> cases[] = {
        {"/home/a/img/mark.gif", "<IMG SRC=\"/home/a/img/mark.gif\">"},
        {"D:\\web\\mark.gif", "<IMG SRC=\"D:\\web\\mark.gif\">"},
        {"/p/\x95\x5C&#128512;&.gif", "<IMG SRC=\"/p/\x95\x5C&#128512;&.gif\">"}, // bytes pass as they are
        {"/p/say \"hi\".gif", "<IMG SRC=\"/p/say &quot;hi&quot;.gif\">"},
        {"/p/<b>\r\n.gif", "<IMG SRC=\"/p/&lt;b&gt;&#13;&#10;.gif\">"},
        // 0x1A would end the page there: the next rewrite would drop every older entry.
        {"/p/\x1a.gif", "<IMG SRC=\"/p/&#26;.gif\">"},
    };
    for (const auto& [path, tag] : cases)
        EXPECT_EQ(titleMarkTag(path), tag);
}
