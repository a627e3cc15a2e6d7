#include <gtest/gtest.h>

#include <stdexcept>

#include "markup/markup.h"

using namespace quillet::markup;

TEST(MarkupTest, StyleWrapsPutTagsAroundOrAfterTheText) {
    const struct {
        Style style;
        Wrap wrap;
    } cases[] = {
        {Style::Bold, {"<B>", "</B>"}},
        {Style::Italic, {"<I>", "</I>"}},
        {Style::Under, {"<U>", "</U>"}},
        {Style::Line, {"", "<HR>\r\n"}},
        {Style::Phrase, {"<P>", "</P>\r\n"}},
        {Style::Pre, {"<PRE>", "</PRE>"}},
        {Style::TT, {"<TT>", "</TT>"}},
        {Style::BR, {"", "<BR>\r\n"}},
        {Style::Big, {"<BIG>", "</BIG>"}},
        {Style::Small, {"<SMALL>", "</SMALL>"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(styleWrap(c.style), c.wrap) << c.wrap.before << c.wrap.after;
}

TEST(MarkupTest, ListSkeletonHasFiveLinesAndStartOnlyForNumberedLists) {
    const struct {
        int type;
        std::optional<std::int32_t> start;
        const char* expected;
    } cases[] = {
        {0, std::nullopt, "<UL TYPE=\"DISC\">\r\n<LI>\r\n<LI>\r\n<LI>\r\n</UL>\r\n"},
        {1, std::nullopt, "<UL TYPE=\"CIRCLE\">\r\n<LI>\r\n<LI>\r\n<LI>\r\n</UL>\r\n"},
        {2, 5, "<UL TYPE=\"SQUARE\">\r\n<LI>\r\n<LI>\r\n<LI>\r\n</UL>\r\n"},
        {3, 5, "<OL TYPE=\"1\" START=5>\r\n<LI>\r\n<LI>\r\n<LI>\r\n</OL>\r\n"},
        {3, std::nullopt, "<OL TYPE=\"1\">\r\n<LI>\r\n<LI>\r\n<LI>\r\n</OL>\r\n"},
        {4, 0, "<OL TYPE=\"A\" START=0>\r\n<LI>\r\n<LI>\r\n<LI>\r\n</OL>\r\n"},
        {5, -2, "<OL TYPE=\"a\" START=-2>\r\n<LI>\r\n<LI>\r\n<LI>\r\n</OL>\r\n"},
        {6, std::nullopt, "<OL TYPE=\"I\">\r\n<LI>\r\n<LI>\r\n<LI>\r\n</OL>\r\n"},
        {7, -2147483647 - 1,
         "<OL TYPE=\"i\" START=-2147483648>\r\n<LI>\r\n<LI>\r\n<LI>\r\n</OL>\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(listSkeleton(c.type, c.start), c.expected) << c.type;
    EXPECT_THROW(listSkeleton(8, std::nullopt), std::out_of_range);
    EXPECT_THROW(listSkeleton(-1, std::nullopt), std::out_of_range);
}

TEST(MarkupTest, StartNumberIsNormalisedOrEmptied) {
    const struct {
        const char* text;
        const char* field;
    } cases[] = {
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
        {"000000000000000000042", "42"},
        // Not a 32-bit integer: the field is emptied.
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
        {"-", ""},
        {"$", ""},
        {"0x", ""},
        {"+-5", ""},
        {"1.5", ""},
        {"1e3", ""},
        {"$G", ""},
        {"12a", ""},
        {"\t5", ""},
        {"\xEF\xBC\x95", ""}, // a full-width digit
    };
    for (const auto& c : cases)
        EXPECT_EQ(normalizeStartNumber(c.text), c.field) << '"' << c.text << '"';
}

TEST(MarkupTest, SizeTokenIsOneOfSeventeenWholeTokens) {
    for (const char* token :
         {"1", "2", "3", "4", "5", "6", "7", "-5", "-4", "-3", "-2", "-1", "+1", "+2", "+3", "+4", "+5"})
        EXPECT_TRUE(isSizeToken(token)) << token;
    // Adjacent tokens joined by colons are no token: they would reach the page as SIZE="1:2".
    for (const char* text : {"0", "8", "+6", "-6", "+0", "-0", "1.5", "", ":", "1:2", ":1", "1:",
                             ":1:", "-5:-4", "7:-5", " 1", "1 ", "01", "+", "-", "11"})
        EXPECT_FALSE(isSizeToken(text)) << '"' << text << '"';
}

TEST(MarkupTest, FontWrapNestsBoldItalicFontAndExchangesColourBytes) {
    const struct {
        FontChoice choice;
        Wrap wrap;
    } cases[] = {
        {{true, true, 0x0000FF, "+1"},
         {"<B><I><FONT COLOR=\"#FF0000\" SIZE=\"+1\">", "</FONT></I></B>"}},
        {{false, false, 0xFF0000, ""}, {"<FONT COLOR=\"#0000FF\">", "</FONT>"}},
        {{false, false, 0x00FF00, "-5"}, {"<FONT COLOR=\"#00FF00\" SIZE=\"-5\">", "</FONT>"}},
        {{false, false, 0x563412, ""}, {"<FONT COLOR=\"#123456\">", "</FONT>"}},
        {{false, false, 0, "5"}, {"<FONT  SIZE=\"5\">", "</FONT>"}},
        {{false, true, 0, ""}, {"<I>", "</I>"}},
        {{true, false, 0, "7"}, {"<B><FONT  SIZE=\"7\">", "</FONT></B>"}},
        {{false, false, 0, ""}, {"", ""}},
        // A size that is no token never reaches the page.
        {{false, false, 0, "1:2"}, {"", ""}},
        {{false, false, 0x0000FF, "\"><X"}, {"<FONT COLOR=\"#FF0000\">", "</FONT>"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fontWrap(c.choice), c.wrap) << c.wrap.before;
}

TEST(MarkupTest, TitleMarkTagKeepsThePathAndGuardsTheRecord) {
    const struct {
        const char* path;
        const char* tag;
    } cases[] = {
        {"/home/a/web/img/mark.gif", "<IMG SRC=\"/home/a/web/img/mark.gif\">"},
        {"D:\\web\\img\\mark.gif", "<IMG SRC=\"D:\\web\\img\\mark.gif\">"},
        {"/p/\x95\x5C.gif", "<IMG SRC=\"/p/\x95\x5C.gif\">"}, // CP932 bytes pass untouched
        {"/p/a&b &#128512;.gif", "<IMG SRC=\"/p/a&b &#128512;.gif\">"},
        {"/p/say \"hi\".gif", "<IMG SRC=\"/p/say &quot;hi&quot;.gif\">"},
        {"/p/<b>.gif", "<IMG SRC=\"/p/&lt;b&gt;.gif\">"},
        {"/p/a\r\nb.gif", "<IMG SRC=\"/p/a&#13;&#10;b.gif\">"},
        {"", "<IMG SRC=\"\">"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(titleMarkTag(c.path), c.tag);
}
