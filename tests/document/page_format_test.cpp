#include <gtest/gtest.h>

#include "document/line_io.h"
#include "document/markers.h"
#include "document/page_format.h"
#include "document/paths.h"

using namespace quillet::doc;

namespace {
std::string written(const std::vector<std::string>& lines) {
    StringSink sink;
    LineWriter writer(sink);
    for (const auto& l : lines)
        writer.writeLine(l);
    writer.flush();
    return sink.data();
}

std::string entryBytes(const Entry& e) {
    StringSink sink;
    LineWriter writer(sink);
    writeEntryBlock(writer, e);
    writer.flush();
    return sink.data();
}
} // namespace

TEST(PageFormat, NewPageWithDefaultColoursIsByteExact) {
    const std::string expected =
        "<HTML>\r<HEAD>\r<META http-equiv=\"Content-Type\" content=\"text/html; charset=x-sjis\">\r\n"
        "<TITLE></TITLE>\r</HEAD>\r\n"
        "<BODY BGCOLOR=\"#008080\" TEXT=\"#080000\" LINK=\"#080000\" VLINK=\"#080000\" "
        "ALINK=\"#080000\">\r\n"
        "<BR>\r<DIV ALIGN=\"center\">\r</DIV>\r<HR><BR>\r<!-INS-!>\r</BODY>\r</HTML>\r\n";
    const std::string page = written(newPageTemplate(PageColors{}));
    EXPECT_EQ(page, expected);

    // Read back it is thirteen lines with the marker alone on its line.
    const auto lines = splitLines(page);
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[10], "<!-INS-!>");
    for (const auto& test : {marker::OpenPage, marker::InsertionPoint, marker::Insertion})
        EXPECT_TRUE(test(lines[10]));
}

TEST(PageFormat, ColoursGoIntoHtmlRedFirstWithUpperCaseDigits) {
    EXPECT_EQ(ColorToHtml(0x00808000), 0x008080u);
    EXPECT_EQ(ColorToHtml(0x80000008), 0x080000u);
    EXPECT_EQ(ColorToHtml(0x000000FF), 0xFF0000u);
    EXPECT_EQ(ColorToHtml(0x00123456), 0x563412u);
    EXPECT_EQ(htmlColor(0x008080), "#008080");
    EXPECT_EQ(htmlColor(0xFF0000), "#FF0000");
    EXPECT_EQ(htmlColor(0xabcdef), "#ABCDEF");
    EXPECT_EQ(htmlColor(0), "#000000");
}

TEST(PageFormat, TitleRecordWithEveryPiece) {
    Entry e;
    e.title = "Title";
    e.body = {"the body line"};
    e.indent = true;
    e.titleMark = true;
    e.style.bold = true;
    e.style.color = 0xFF0000;
    e.style.size = "+1";
    e.style.markTag = "<IMG SRC=\"D:\\web\\mark.gif\">";
    EXPECT_EQ(entryBytes(e),
              "<!-TTL-A-!>\r<IMG SRC=\"D:\\web\\mark.gif\">\r<B><FONT COLOR=\"#FF0000\" SIZE=\"+1\">\r"
              "Title\r</FONT></B><BR>\r<!-TTL-B-!>\r\n"
              "<!-BDY-A-!><DL><DD>\r\n"
              "the body line\r\n"
              "<!-BDY-B-!></DL><HR>\r<!-END-!>\r\n");
    // Read back it is the ten lines of the format.
    EXPECT_EQ(splitLines(entryBytes(e)).size(), 10u);
}

TEST(PageFormat, TitleRecordPiecesAlone) {
    struct Case {
        TitleStyle style;
        bool mark;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{}, false, "<!-TTL-A-!>\r\r\rT\r<BR>\r<!-TTL-B-!>"},
        // A size without colour: the FONT tag keeps two blanks.
        {{false, false, 0, "-1", ""},
         false,
         "<!-TTL-A-!>\r\r<FONT  SIZE=\"-1\">\rT\r</FONT><BR>\r<!-TTL-B-!>"},
        {{false, false, 0x0000FF, "", ""},
         false,
         "<!-TTL-A-!>\r\r<FONT COLOR=\"#0000FF\">\rT\r</FONT><BR>\r<!-TTL-B-!>"},
        // Black is "no colour"; a negative value too.
        {{false, false, 0, "", ""}, false, "<!-TTL-A-!>\r\r\rT\r<BR>\r<!-TTL-B-!>"},
        {{false, false, -5, "", ""}, false, "<!-TTL-A-!>\r\r\rT\r<BR>\r<!-TTL-B-!>"},
        {{false, true, 0, "", ""}, false, "<!-TTL-A-!>\r\r<I>\rT\r</I><BR>\r<!-TTL-B-!>"},
        {{true, true, 0x1, "7", ""},
         false,
         "<!-TTL-A-!>\r\r<B><I><FONT COLOR=\"#000001\" SIZE=\"7\">\rT\r</FONT></I></B><BR>\r<!-TTL-B-!>"},
        // The mark goes in only when the box is on.
        {{false, false, 0, "", "<IMG SRC=\"m.gif\">"}, false, "<!-TTL-A-!>\r\r\rT\r<BR>\r<!-TTL-B-!>"},
        {{false, false, 0, "", "<IMG SRC=\"m.gif\">"},
         true,
         "<!-TTL-A-!>\r<IMG SRC=\"m.gif\">\r\rT\r<BR>\r<!-TTL-B-!>"},
    };
    for (const auto& c : cases) {
        Entry e;
        e.title = "T";
        e.style = c.style;
        e.titleMark = c.mark;
        EXPECT_EQ(titleRecordLine(e), c.expected);
    }
}

TEST(PageFormat, EntryWithoutTitleStartsWithBody) {
    Entry e;
    EXPECT_EQ(entryBytes(e), "<!-BDY-A-!>\r\n<!-BDY-B-!><HR>\r<!-END-!>\r\n");
    e.body = {"a", "", "b"};
    EXPECT_EQ(entryBytes(e), "<!-BDY-A-!>\r\na\r\n\r\nb\r\n<!-BDY-B-!><HR>\r<!-END-!>\r\n");
}

TEST(MarkerTests, EachOperationMatchesItsOwnWay) {
    EXPECT_TRUE(marker::OpenPage("<P><!-INS-!>"));
    EXPECT_FALSE(marker::InsertionPoint("<P><!-INS-!>"));
    EXPECT_FALSE(marker::Insertion("<P><!-INS-!>"));
    EXPECT_TRUE(marker::InsertionPoint("<!-INS-!> trailing"));
    EXPECT_FALSE(marker::Insertion("<!-INS-!> "));
    EXPECT_TRUE(marker::Insertion("<!-INS-!>"));
    EXPECT_FALSE(marker::Insertion("<!-ins-!>"));
    EXPECT_TRUE(marker::EditEnd("<!-END-!>x"));
    EXPECT_FALSE(marker::DeleteEnd("<!-END-!>x"));
    EXPECT_TRUE(marker::BodyStart("<!-BDY-A-!><DL><DD>"));
    EXPECT_TRUE(marker::BodyEnd("<!-BDY-B-!></DL><HR>"));
    EXPECT_FALSE(marker::TitleStart(" <!-TTL-A-!>"));
    EXPECT_TRUE(marker::TitleEnd("<!-TTL-B-!>"));
}

TEST(WorkFiles, NamesSplitAtTheLastSlashHere) {
    EXPECT_EQ(tmpFileOf("/home/a/web/index.html"), "/home/a/web/index.TMP");
    EXPECT_EQ(bakFileOf("/home/a/web/index.html"), "/home/a/web/index.BAK");
    EXPECT_EQ(bakFileOf("index.htm"), "index.BAK");
    EXPECT_EQ(bakFileOf("/web/page"), "/web/page.BAK");
    EXPECT_EQ(bakFileOf("/web.d/page"), "/web.d/page.BAK"); // a dot in a folder is no extension
    EXPECT_EQ(bakFileOf("/web/a.b.html"), "/web/a.b.BAK");
    EXPECT_EQ(bakFileOf("/web/dir\\x.y\\page"), "/web/dir\\x.BAK"); // "\" is an ordinary character
    EXPECT_EQ(bakFileOf("c:page"), "c:page.BAK");
    EXPECT_EQ(folderOf("/home/a/index.html"), "/home/a/");
    EXPECT_EQ(folderOf("index.html"), "");
    EXPECT_EQ(fileNameOf("/home/a/index.html"), "index.html");
    EXPECT_EQ(fileNameOf("dir\\index.html"), "dir\\index.html");
}

// Every name the file system takes has work files that fit beside it: the documented names
// where they fit, else the stem cut at a character and a hash of the whole name.
TEST(WorkFiles, LongNamesGetWorkFilesThatFit) {
    const std::string html = std::string(250, 'x') + ".html"; // 255 bytes
    EXPECT_EQ(tmpFileOf("/w/" + html), "/w/" + std::string(250, 'x') + ".TMP");
    const std::string bare = std::string(253, 'y'), other = std::string(252, 'y') + "z";
    const std::string tmp = fileNameOf(tmpFileOf("/w/" + bare)), bak = fileNameOf(bakFileOf("/w/" + bare));
    EXPECT_EQ(tmp.size(), kNameMax);
    EXPECT_EQ(bak.size(), kNameMax);
    EXPECT_TRUE(bak.starts_with(std::string(242, 'y') + "~") && bak.ends_with(".BAK")) << bak;
    EXPECT_EQ(tmp.substr(0, 251), bak.substr(0, 251)); // the same stem and hash
    EXPECT_NE(bakFileOf("/w/" + other), bakFileOf("/w/" + bare));
    EXPECT_EQ(bakFileOf(bare), bak); // the folder does not count
    // "日" is three bytes in UTF-8: a cut never splits it.
    std::string wide;
    while (wide.size() < 252)
        wide += "日";
    const std::string cut = fileNameOf(bakFileOf("/w/" + wide));
    EXPECT_LE(cut.size(), kNameMax);
    EXPECT_EQ(cut.find('~') % 3, 0u) << cut;
    // A long page named like its own work file still is its own work file.
    EXPECT_EQ(bakFileOf(bak), bak);
}

TEST(WorkFiles, WindowsRuleSkipsCp932TrailBytes) {
    const auto W = PathStyle::Windows;
    EXPECT_EQ(changeExtension("D:\\web\\index.html", ".TMP", W), "D:\\web\\index.TMP");
    EXPECT_EQ(changeExtension("D:\\web.d\\page", ".BAK", W), "D:\\web.d\\page.BAK");
    EXPECT_EQ(changeExtension("D:page.htm", ".BAK", W), "D:page.BAK");
    EXPECT_EQ(changeExtension("D:/a.b/c", ".BAK", W), "D:/a.b/c.BAK");
    // "表" is 0x95 0x5C in CP932: its second byte is no separator.
    const std::string hyo = "\x95\x5C";
    EXPECT_EQ(changeExtension("D:\\x.y\\" + hyo + ".html", ".BAK", W), "D:\\x.y\\" + hyo + ".BAK");
    EXPECT_EQ(changeExtension("D:\\a.b" + hyo + "c", ".BAK", W), "D:\\a.BAK");
    EXPECT_EQ(folderOf("D:\\dir\\" + hyo + "\\p.htm", W), "D:\\dir\\" + hyo + "\\");
    EXPECT_EQ(fileNameOf("D:\\dir\\" + hyo, W), hyo);
}
