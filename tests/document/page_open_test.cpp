#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

#include "document/file_io.h"
#include "document/line_io.h"
#include "document/markers.h"
#include "document/page_open.h"
#include "temp_dir.h"

using namespace quillet::doc;
using namespace quillet::testing;

namespace {
const std::string kDefaultPage =
    "<HTML>\r<HEAD>\r<META http-equiv=\"Content-Type\" content=\"text/html; charset=x-sjis\">\r\n"
    "<TITLE></TITLE>\r</HEAD>\r\n"
    "<BODY BGCOLOR=\"#008080\" TEXT=\"#080000\" LINK=\"#080000\" VLINK=\"#080000\" ALINK=\"#080000\">\r\n"
    "<BR>\r<DIV ALIGN=\"center\">\r</DIV>\r<HR><BR>\r<!-INS-!>\r</BODY>\r</HTML>\r\n";

class PageOpenTest : public ::testing::Test {
protected:
    void TearDown() override { setFaultHook(nullptr); }
    int errnoOf(auto&& call) {
        try {
            call();
        } catch (const FileError& e) {
            return e.errnum();
        }
        return 0;
    }
    TempDir dir;
    std::string page = dir.file("page.html");
};

std::vector<std::string> texts(const InsertionList& list) {
    std::vector<std::string> t;
    for (const auto& item : list.items())
        t.push_back(item.text);
    return t;
}
} // namespace

TEST_F(PageOpenTest, MarkerCheckFindsTheMarkerAnywhereInALineBeforeTheEndOfText) {
    const struct {
        std::string bytes;
        bool found;
    } cases[] = {
        {"<HTML>\r\n<P><!-INS-!> text\r\n</HTML>\r\n", true},
        {"<HTML>\n<!-INS-!>\n</HTML>\n", true}, // one long line that holds it
        {"<HTML>\r\n</HTML>\r\n", false},
        {"<HTML>\r\n\x1a<!-INS-!>\r\n", false}, // after the end of text
        {"", false},
    };
    for (const auto& c : cases) {
        writeFile(page, c.bytes);
        EXPECT_EQ(pageHasInsertionMarker(page), c.found) << c.bytes;
    }
    EXPECT_EQ(errnoOf([&] { pageHasInsertionMarker(dir.file("missing.html")); }), ENOENT);
}

TEST_F(PageOpenTest, NewPageIsTheTemplateWithTheChosenColours) {
    createNewPage(page, PageColors{});
    EXPECT_EQ(readFile(page), kDefaultPage);

    PageColors white;
    white.background = 0x00FFFFFF;
    white.text = ~white.background;
    white.link = 0x000000FF; // red, held red-lowest
    const std::string other = dir.file("other.html");
    createNewPage(other, white);
    const std::vector<std::string> lines = splitLines(readFile(other));
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[5], "<BODY BGCOLOR=\"#FFFFFF\" TEXT=\"#000000\" LINK=\"#FF0000\" "
                        "VLINK=\"#080000\" ALINK=\"#080000\">");
    EXPECT_EQ(lines[10], "<!-INS-!>");
}

TEST_F(PageOpenTest, NewPageNeverReplacesWhatIsThere) {
    writeFile(page, "mine");
    EXPECT_EQ(errnoOf([&] { createNewPage(page, {}); }), EEXIST);
    EXPECT_EQ(readFile(page), "mine");

    EXPECT_EQ(errnoOf([&] { createNewPage(dir.path().string(), {}); }), EISDIR);

    // A dangling link is not followed: its target stays uncreated.
    const std::string link = dir.file("link.html");
    std::filesystem::create_symlink(dir.file("target.html"), link);
    EXPECT_EQ(errnoOf([&] { createNewPage(link, {}); }), EEXIST);
    EXPECT_FALSE(exists(dir.file("target.html")));
}

TEST_F(PageOpenTest, NewPageThatCannotBeWrittenIsRemovedAgain) {
    for (auto step : {FileError::Step::Write, FileError::Step::Sync}) {
        setFaultHook([step](FileError::Step s, const std::string&) { return s == step ? ENOSPC : 0; });
        EXPECT_EQ(errnoOf([&] { createNewPage(page, {}); }), ENOSPC);
        EXPECT_FALSE(exists(page));
    }
}

TEST_F(PageOpenTest, ListSplitsAtEveryLineEndAndGivesTheBytesBackUnchanged) {
    const struct {
        std::string bytes;
        std::vector<std::string> items;
    } cases[] = {
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"a\r\nb\r\n", {"a", "b"}},   // a final line end adds no item
        {"a\n\rb\r\r\n", {"a", "", "b", ""}},
        {"\x82\xa0\r\n\x1a tail", {"\x82\xa0", "\x1a tail"}},
        {"", {}},
    };
    for (const auto& c : cases) {
        const InsertionList list = InsertionList::fromBytes(c.bytes);
        EXPECT_EQ(texts(list), c.items);
        EXPECT_EQ(list.bytes(), c.bytes);
        EXPECT_FALSE(list.hasMarker());
    }
}

TEST_F(PageOpenTest, DoubleClickAddsAMarkerAfterALineAndRemovesMarkerLines) {
    const std::string bytes = "<HTML>\r\n<BODY>\r\n</BODY>\r\n</HTML>\r\n";
    InsertionList list = InsertionList::fromBytes(bytes);
    EXPECT_FALSE(list.toggle(2)); // "</BODY>"
    EXPECT_EQ(texts(list), (std::vector<std::string>{"<HTML>", "<BODY>", "</BODY>", "<!-INS-!>", "</HTML>"}));
    EXPECT_TRUE(list.hasMarker());
    EXPECT_EQ(list.bytes(), "<HTML>\r\n<BODY>\r\n</BODY>\r\n<!-INS-!>\r\n</HTML>\r\n");
    EXPECT_TRUE(list.toggle(3));
    EXPECT_FALSE(list.hasMarker());
    EXPECT_EQ(list.bytes(), bytes);

    // Two markers after one line; a line that begins with the marker goes with its text.
    list.toggle(1);
    list.toggle(1);
    EXPECT_EQ(list.size(), 6u);
    InsertionList withText = InsertionList::fromBytes("a\r\n<!-INS-!> old\r\nb\r\n");
    EXPECT_TRUE(withText.hasMarker());
    EXPECT_TRUE(withText.toggle(1));
    EXPECT_EQ(withText.bytes(), "a\r\nb\r\n");
    EXPECT_FALSE(withText.toggle(7)); // no such item: nothing changes
    EXPECT_EQ(withText.size(), 2u);
}

TEST_F(PageOpenTest, AddedMarkerStandsAloneForTheRewritesWhateverTheLineEnds) {
    // LF-only lines stay as they are; only the line before the marker gets a CR.
    InsertionList lf = InsertionList::fromBytes("<HTML>\n<BODY>\n</BODY>\n</HTML>\n");
    lf.toggle(1);
    EXPECT_EQ(lf.bytes(), "<HTML>\n<BODY>\r\n<!-INS-!>\r\n</BODY>\n</HTML>\n");
    const auto lines = splitLines(lf.bytes());
    EXPECT_NE(std::find_if(lines.begin(), lines.end(), marker::Insertion), lines.end());

    // After a last line without an end, the marker ends the page.
    InsertionList last = InsertionList::fromBytes("a\r\n</HTML>");
    last.toggle(1);
    EXPECT_EQ(last.bytes(), "a\r\n</HTML>\r\n<!-INS-!>\r\n");
    last.toggle(2);
    EXPECT_EQ(last.bytes(), "a\r\n</HTML>");
}

TEST_F(PageOpenTest, SavingTheListReplacesThePageKeepingTheOldOneAsBackup) {
    const std::string bytes = "<HTML>\n<BODY>\n</HTML>";
    writeFile(page, bytes);
    ::chmod(page.c_str(), 0640);
    InsertionList list = loadInsertionList(page);
    EXPECT_EQ(saveInsertionList(page, list), SaveListOutcome::Unchanged);
    EXPECT_FALSE(exists(dir.file("page.BAK")));

    list.toggle(1);
    EXPECT_EQ(saveInsertionList(page, list), SaveListOutcome::Saved);
    EXPECT_EQ(readFile(page), "<HTML>\n<BODY>\r\n<!-INS-!>\r\n</HTML>");
    EXPECT_EQ(readFile(dir.file("page.BAK")), bytes);
    EXPECT_FALSE(exists(dir.file("page.TMP")));
    struct stat st {};
    ASSERT_EQ(::stat(page.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(PageOpenTest, SavingLeavesThePageAloneWhenItChangedOrTheWriteFails) {
    writeFile(page, "a\r\nb\r\n");
    InsertionList list = loadInsertionList(page);
    list.toggle(0);
    writeFile(page, "a\r\nb\r\nadded elsewhere\r\n");
    EXPECT_EQ(saveInsertionList(page, list), SaveListOutcome::PageChanged);
    EXPECT_EQ(readFile(page), "a\r\nb\r\nadded elsewhere\r\n");

    writeFile(page, "a\r\nb\r\n");
    for (auto step : {FileError::Step::Write, FileError::Step::Sync, FileError::Step::Rename}) {
        setFaultHook([step](FileError::Step s, const std::string&) { return s == step ? ENOSPC : 0; });
        EXPECT_EQ(errnoOf([&] { saveInsertionList(page, list); }), ENOSPC);
        setFaultHook(nullptr);
        EXPECT_EQ(readFile(page), "a\r\nb\r\n");
        EXPECT_FALSE(exists(dir.file("page.TMP")));
    }
    EXPECT_EQ(errnoOf([&] { loadInsertionList(dir.file("missing.html")); }), ENOENT);
}
