// The page commands through the real program: the bytes the window writes for the same input,
// and every refusal leaving the page and its backup as they were.
#include <gtest/gtest.h>

#include <regex>

#include "../document/temp_dir.h"
#include "commands/texts.h"
#include "run_quillet.h"

using namespace quillet::testing;

namespace {
const std::string kPage = "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n</BODY>\r\n</HTML>\r\n";

class PageCommands : public ::testing::Test {
protected:
    Ran quillet(QStringList arguments, const std::string& input = {}) {
        return runQuillet(arguments, input, QString::fromStdString(dir.path().string()));
    }
    std::string page() const { return readFile(dir.file("index.html")); }
    std::string backup() const { return readFile(dir.file("index.BAK")); }

    TempDir dir;
};

std::string utf8(const QString& text) { return text.toStdString(); }
} // namespace

// What the window's Save and Replace all write for the same title, settings and body.
TEST_F(PageCommands, PostAndReplaceWriteWhatTheWindowWrites) {
    writeFile(dir.file("index.html"), kPage);
    writeFile(dir.file("body.txt"), "a\r\nb\r"); // CR LF or a CR alone ends a line, as in the page
    Ran ran = quillet({"post", "index.html", "--title", "EditTitle", "--bold", "--color", "#0000FF", "--size",
                       "+2", "--indent", "--body-file", "body.txt"});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.err, "");
    EXPECT_EQ(
        page(),
        "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n"
        "<!-TTL-A-!>\r\r<B><FONT COLOR=\"#0000FF\" SIZE=\"+2\">\rEditTitle\r</FONT></B><BR>\r<!-TTL-B-!>\r\n"
        "<!-BDY-A-!><DL><DD>\r\na\r\nb\r\n<!-BDY-B-!></DL><HR>\r<!-END-!>\r\n</BODY>\r\n</HTML>\r\n");
    EXPECT_EQ(backup(), kPage);

    writeFile(dir.file("index.html"), kPage);
    ran = quillet({"replace", "index.html", "--title", "EditTitle", "--body-file", "-"},
                  "new\n</BODY></HTML>\n");
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(page(), "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n<!-TTL-A-!>\r\r\rEditTitle\r<BR>\r<!-TTL-B-!>\r\n"
                      "<!-BDY-A-!>\r\nnew\r\n</BODY></HTML>\r\n<!-BDY-B-!><HR>\r<!-END-!>\r\n");
}

// Arguments and bodies are UTF-8; the page gets them in its own encoding, with a character
// reference for what that encoding cannot hold.
TEST_F(PageCommands, TextGoesInInThePagesOwnEncoding) {
    writeFile(dir.file("index.html"), kPage);
    const std::string body = "絵文字\xF0\x9F\x98\x80です\n";
    ASSERT_EQ(quillet({"post", "index.html", "--title", "日記〜", "--body-file", "-"}, body).status, 0);
    EXPECT_NE(page().find("\r\x93\xfa\x8b\x4c\x81\x60\r"), std::string::npos);
    EXPECT_NE(page().find("\x8a\x47\x95\xb6\x8e\x9a&#128512;\x82\xc5\x82\xb7\r\n"), std::string::npos);

    const std::string utf8Page =
        "<HTML><HEAD><META charset=\"utf-8\"></HEAD>\r\n<BODY>\r\n<!-INS-!>\r\n</HTML>\r\n";
    writeFile(dir.file("index.html"), utf8Page);
    ASSERT_EQ(quillet({"post", "index.html", "--title", "日記〜", "--body-file", "-"}, body).status, 0);
    EXPECT_NE(page().find("\r日記〜\r"), std::string::npos);
    EXPECT_NE(page().find("\r\n" + body.substr(0, body.size() - 1) + "\r\n"), std::string::npos);
    // And back out as the author wrote it.
    const Ran last = quillet({"last", "index.html", "--json"});
    EXPECT_EQ(last.status, 0);
    EXPECT_NE(last.out.find("\"title\":\"日記〜\""), std::string::npos) << last.out;
    EXPECT_NE(last.out.find("\"body\":\"絵文字\xF0\x9F\x98\x80です\""), std::string::npos) << last.out;
}

// Each refusal: its status, one line naming the page (or the argument), nothing written.
TEST_F(PageCommands, RefusalsSayWhyAndTouchNothing) {
    const std::string lfPage = "<HTML>\n<!-INS-!>\n</HTML>\n";
    writeFile(dir.file("body.txt"), "x\n");
    writeFile(dir.file("latin1.txt"), "caf\xe9\n");
    writeFile(dir.file("cut.txt"), "\xe6\x97"); // a character cut off at the end
    struct Case {
        std::string page;
        QStringList arguments;
        int status;
        std::string said;
    };
    const std::vector<Case> cases = {
        {kPage,
         {"post", "missing.html", "--body-file", "body.txt"},
         1,
         "quillet: missing.html: 文書が見つかりません"},
        {lfPage, {"post", "index.html"}, 1, utf8(quillet::commands::texts::noInsertionMarker("index.html"))},
        {kPage,
         {"post", "index.html", "--body-file", "latin1.txt"},
         1,
         "quillet: index.html: 本文が UTF-8 ではない"},
        {kPage, {"post", "index.html", "--body-file", "cut.txt"}, 1, "本文が UTF-8 ではない"},
        {kPage,
         {"post", "index.html", "--body-file", "nothere.txt"},
         1,
         "quillet: index.html: nothere.txt を読めません (ファイルが見つかりません)"},
        {kPage, {"replace", "index.html", "--body-file", "body.txt"}, 1, "『</BODY>』と『</HTML>』"},
        {kPage, {"delete-last", "index.html"}, 1, utf8(quillet::commands::texts::NoEntryEnd)},
        {kPage,
         {"post", "index.html", "--colour", "#000000"},
         2,
         "quillet: 知らないオプションです: --colour"},
        {kPage, {"post", "index.html", "--color", "blue"}, 2, "#RRGGBB"},
        {kPage, {"post", "index.html", "--size", "9"}, 2, "FONT SIZE"},
        {kPage, {"post", "index.html", "--title", "two\r\nlines"}, 2, "タイトルに改行は使えません"},
        {kPage, {"undo", "index.html", "--bold"}, 2, "--bold は undo には使えません"},
        {kPage, {"publish", "index.html"}, 2, "--site"},
        {kPage, {"post"}, 2, "文書名がありません"},
        {kPage, {"post", "index.html", "other.html"}, 2, "余分な引数があります: other.html"},
        {kPage, {"frob", "index.html"}, 2, "知らないコマンドです: frob"},
    };
    for (const Case& c : cases) {
        writeFile(dir.file("index.html"), c.page);
        writeFile(dir.file("index.BAK"), "backup");
        const Ran ran = quillet(c.arguments);
        const std::string what = c.arguments.join(' ').toStdString();
        EXPECT_EQ(ran.status, c.status) << what;
        EXPECT_TRUE(ran.oneLine()) << what << ": " << ran.err;
        // A message made for a box comes on one line, its line breaks as blanks.
        std::string said = c.said;
        std::replace(said.begin(), said.end(), '\r', ' ');
        EXPECT_NE(ran.err.find(said), std::string::npos) << what << ": " << ran.err;
        EXPECT_EQ(page(), c.page) << what;
        EXPECT_EQ(backup(), "backup") << what;
        EXPECT_FALSE(exists(dir.file("missing.html")));
    }
}

// An argument that is not UTF-8 is refused before anything is read.
TEST_F(PageCommands, ArgumentThatIsNotUtf8IsAUsageError) {
    writeFile(dir.file("index.html"), kPage);
    QProcess shell;
    shell.setWorkingDirectory(QString::fromStdString(dir.path().string()));
    shell.start("/bin/sh",
                {"-c", "exec \"$0\" post index.html --title \"$(printf 'caf\\351')\"", QUILLET_BINARY});
    shell.waitForFinished(-1);
    EXPECT_EQ(shell.exitCode(), 2);
    EXPECT_NE(shell.readAllStandardError().toStdString().find("UTF-8"), std::string::npos);
    EXPECT_EQ(page(), kPage);
}

// last shows the newest entry and never removes it; delete-last removes it; undo brings the page
// before the last rewrite back.
TEST_F(PageCommands, LastDeleteLastAndUndoWorkOnTheNewestEntry) {
    writeFile(dir.file("index.html"), kPage);
    Ran ran = quillet({"undo", "index.html"});
    EXPECT_EQ(ran.status, 1);
    EXPECT_NE(ran.err.find("quillet: index.html: バックアップがない"), std::string::npos) << ran.err;
    EXPECT_EQ(page(), kPage);
    ASSERT_EQ(quillet({"post", "index.html", "--title", "first", "--body-file", "-"}, "one\n").status, 0);
    // A rewrite writes every line it copies with CR LF, a CR alone inside the title record too.
    const std::string afterFirst = std::regex_replace(page(), std::regex("\r(?!\n)"), "\r\n");
    ASSERT_EQ(quillet({"post", "index.html", "--title", "second", "--italic", "--mark", "pen.gif", "--color",
                       "#FF0000", "--body-file", "-"},
                      "two\nlines\n")
                  .status,
              0);
    const std::string afterSecond = page();

    ran = quillet({"last", "index.html"});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.out,
              "タイトル: second\nスタイル: 斜体 色 #FF0000 マーク <IMG SRC=\"pen.gif\">\n\ntwo\nlines\n");
    ran = quillet({"last", "index.html", "--json"});
    EXPECT_EQ(ran.out,
              "{\"body\":\"two\\nlines\",\"bold\":false,\"color\":\"#FF0000\",\"encoding\":\"Shift-JIS\","
              "\"indent\":false,\"italic\":true,\"mark\":\"<IMG SRC=\\\"pen.gif\\\">\",\"size\":null,"
              "\"title\":\"second\"}\n");
    EXPECT_EQ(page(), afterSecond);

    ASSERT_EQ(quillet({"delete-last", "index.html"}).status, 0);
    EXPECT_EQ(page(), afterFirst);
    EXPECT_EQ(backup(), afterSecond);
    ASSERT_EQ(quillet({"undo", "index.html"}).status, 0);
    EXPECT_EQ(page(), afterSecond);
}

// The template the window makes, never over an existing file.
TEST_F(PageCommands, NewMakesTheWindowsTemplateOnlyUnderAFreeName) {
    Ran ran = quillet({"new", "index.html"});
    EXPECT_EQ(ran.status, 0) << ran.err;
    const std::string made = page();
    EXPECT_EQ(made,
              "<HTML>\r<HEAD>\r<META http-equiv=\"Content-Type\" content=\"text/html; charset=x-sjis\">\r\n"
              "<TITLE></TITLE>\r</HEAD>\r\n<BODY BGCOLOR=\"#008080\" TEXT=\"#080000\" LINK=\"#080000\" "
              "VLINK=\"#080000\" ALINK=\"#080000\">\r\n"
              "<BR>\r<DIV ALIGN=\"center\">\r</DIV>\r<HR><BR>\r<!-INS-!>\r</BODY>\r</HTML>\r\n");
    ran = quillet({"new", "index.html", "--encoding", "utf-8"});
    EXPECT_EQ(ran.status, 1);
    EXPECT_NE(ran.err.find("上書きしませんでした"), std::string::npos) << ran.err;
    EXPECT_EQ(page(), made);

    // The plain text follows the surface, as in the colour dialog, unless it is given.
    ASSERT_EQ(
        quillet({"new", "u.html", "--encoding", "UTF-8", "--background", "#FFFFFF", "--link", "#ff0000"})
            .status,
        0);
    const std::string u = readFile(dir.file("u.html"));
    EXPECT_NE(u.find("charset=utf-8"), std::string::npos);
    EXPECT_NE(u.find("BGCOLOR=\"#FFFFFF\" TEXT=\"#000000\" LINK=\"#FF0000\""), std::string::npos) << u;
    EXPECT_EQ(quillet({"new", "v.html", "--encoding", "latin1"}).status, 2);
    EXPECT_FALSE(exists(dir.file("v.html")));
}

TEST(CommandLine, HelpAndVersionGoToStandardOutput) {
    Ran ran = runQuillet({"--help"});
    EXPECT_EQ(ran.status, 0);
    EXPECT_NE(ran.out.find("使い方: quillet"), std::string::npos);
    EXPECT_EQ(ran.err, "");
    ran = runQuillet({"--version"});
    EXPECT_EQ(ran.status, 0);
    EXPECT_TRUE(ran.out.starts_with("quillet ")) << ran.out;
}
