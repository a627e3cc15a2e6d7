#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "document/file_io.h"
#include "document/line_io.h"
#include "document/markers.h"
#include "document/page_open.h"
#include "document/page_rewrite.h"
#include "temp_dir.h"

using namespace quillet::doc;
using namespace quillet::testing;

namespace {
class PageOpenTest : public ::testing::Test {
protected:
    void TearDown() override { setFaultHook(nullptr); }
    template <class F> int errnoOf(F&& call) {
        try {
            call();
        } catch (const FileError& e) {
            return e.errnum();
        }
        return 0;
    }
    void failAt(FileError::Step step) {
        setFaultHook([step](FileError::Step s, const std::string&) { return s == step ? ENOSPC : 0; });
    }
    TempDir dir;
    std::string page = dir.file("page.html");
};

} // namespace

TEST_F(PageOpenTest, PageIsReadyOnlyWithALineThatIsTheMarker) {
    const std::pair<std::string, bool> cases[] = {
        {"<HTML>\r\n<!-INS-!>\r\n</HTML>\r\n", true},
        {"<HTML>\r<!-INS-!>\r</HTML>", true},
        {"<HTML>\r\n<!-INS-!>", true},                         // last line without an end
        {"<HTML>\r\n<P><!-INS-!> text\r\n</HTML>\r\n", false}, // shares its line
        {"<HTML>\n<!-INS-!>\n</HTML>\n", false},               // one long line for the rewrites
        {"<HTML>\r\n</HTML>\r\n", false},
        {"<HTML>\r\n\x1a<!-INS-!>\r\n", false}, // after the end of text
    };
    for (const auto& [bytes, found] : cases) {
        writeFile(page, bytes);
        EXPECT_EQ(pageHasInsertionLine(page), found) << bytes;
    }
    EXPECT_EQ(errnoOf([&] { pageHasInsertionLine(dir.file("missing.html")); }), ENOENT);
}

TEST_F(PageOpenTest, NewPageNeverReplacesAnythingNorStaysHalfWritten) {
    writeFile(page, "mine");
    EXPECT_EQ(errnoOf([&] { createNewPage(page, {}); }), EEXIST);
    EXPECT_EQ(readFile(page), "mine");
    EXPECT_EQ(errnoOf([&] { createNewPage(dir.path().string(), {}); }), EISDIR);
    // A dangling link is not followed.
    const std::string link = dir.file("link.html");
    std::filesystem::create_symlink(dir.file("target.html"), link);
    EXPECT_EQ(errnoOf([&] { createNewPage(link, {}); }), EEXIST);
    EXPECT_FALSE(exists(dir.file("target.html")));
    EXPECT_THROW(createNewPage(dir.file("page.BAK"), {}), PageNameError);
    EXPECT_FALSE(exists(dir.file("page.BAK")));

    const std::string fresh = dir.file("new.html");
    for (auto step : {FileError::Step::Write, FileError::Step::Sync}) {
        failAt(step);
        EXPECT_EQ(errnoOf([&] { createNewPage(fresh, {}); }), ENOSPC);
        EXPECT_FALSE(exists(fresh));
    }
}

TEST_F(PageOpenTest, ListSplitsAtEveryLineEndAndWritesCrLfAfterEveryItem) {
    struct Case {
        std::string bytes;
        std::vector<std::string> items;
        std::string written;
    };
    const Case cases[] = {
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}, "a\r\nb\r\nc\r\nd\r\n"},
        {"a\r\nb\r\n", {"a", "b"}, "a\r\nb\r\n"}, // a final line end adds no item
        {"a\n\rb\r\r\n", {"a", "", "b", ""}, "a\r\n\r\nb\r\n\r\n"},
        {"\n", {""}, "\r\n"},
        {"\x82\xa0\r\n\x1a tail\xff", {"\x82\xa0", "\x1a tail\xff"}, "\x82\xa0\r\n\x1a tail\xff\r\n"},
        {std::string("x\0y\r", 4), {std::string("x\0y", 3)}, std::string("x\0y\r\n", 5)},
        {"", {}, ""},
    };
    for (const auto& c : cases) {
        const InsertionList list = InsertionList::fromBytes(c.bytes);
        EXPECT_EQ(list.items(), c.items);
        EXPECT_EQ(list.bytes(), c.written);
        EXPECT_EQ(list.original(), c.bytes);
        EXPECT_FALSE(list.hasMarker());
    }
}

TEST_F(PageOpenTest, MarkerLinesComeAndGo) {
    InsertionList list = InsertionList::fromBytes("<BODY>\n</BODY>\n</HTML>");
    EXPECT_FALSE(list.toggle(1)); // after "</BODY>"
    EXPECT_TRUE(list.hasMarker());
    EXPECT_EQ(list.bytes(), "<BODY>\r\n</BODY>\r\n<!-INS-!>\r\n</HTML>\r\n");
    const auto lines = splitLines(list.bytes());
    EXPECT_NE(std::find_if(lines.begin(), lines.end(), marker::Insertion), lines.end());
    EXPECT_TRUE(list.toggle(2)); // the marker line itself goes again
    EXPECT_FALSE(list.hasMarker());
    EXPECT_FALSE(list.toggle(9)); // no such line
    EXPECT_EQ(list.size(), 3u);

    list.toggle(2); // after the last line: the marker ends the page
    list.toggle(0);
    EXPECT_EQ(list.bytes(), "<BODY>\r\n<!-INS-!>\r\n</BODY>\r\n</HTML>\r\n<!-INS-!>\r\n");

    InsertionList withText = InsertionList::fromBytes("a\r\n<!-INS-!> old\r\nb");
    EXPECT_TRUE(withText.hasMarker());
    EXPECT_TRUE(withText.toggle(1)); // the whole line goes, text included
    EXPECT_EQ(withText.items(), (std::vector<std::string>{"a", "b"}));
}

TEST_F(PageOpenTest, ListRefusesPagesTooLargeToHold) {
    EXPECT_THROW(InsertionList::fromBytes(std::string(kMaxListLines + 1, '\n')), ListTooLargeError);
    EXPECT_EQ(InsertionList::fromBytes(std::string(kMaxListLines, '\n')).size(), kMaxListLines);
    writeFile(page, "x");
    ASSERT_EQ(::truncate(page.c_str(), static_cast<off_t>(kMaxListBytes + 1)), 0);
    EXPECT_THROW(loadInsertionList(page), ListTooLargeError);
}

TEST_F(PageOpenTest, SavingReplacesThePageLikeARewriteOrLeavesItAlone) {
    const std::string bytes = "<HTML>\n<BODY>\n</HTML>";
    writeFile(page, bytes);
    ::chmod(page.c_str(), 0640);
    const std::string crLf = "<HTML>\r\n<!-INS-!>\r\n";
    writeFile(dir.file("same.html"), crLf);
    EXPECT_EQ(saveInsertionList(dir.file("same.html"), loadInsertionList(dir.file("same.html"))),
              SaveListOutcome::Unchanged);
    EXPECT_FALSE(exists(dir.file("same.BAK")));
    InsertionList list = loadInsertionList(page);
    list.toggle(1);
    for (auto step : {FileError::Step::Write, FileError::Step::Sync, FileError::Step::Rename}) {
        failAt(step);
        EXPECT_EQ(errnoOf([&] { saveInsertionList(page, list); }), ENOSPC);
        setFaultHook(nullptr);
        EXPECT_EQ(readFile(page), bytes);
        EXPECT_FALSE(exists(dir.file("page.TMP")));
    }

    EXPECT_EQ(saveInsertionList(page, list), SaveListOutcome::Saved);
    EXPECT_EQ(readFile(page), "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n</HTML>\r\n");
    EXPECT_EQ(readFile(dir.file("page.BAK")), bytes);
    EXPECT_FALSE(exists(dir.file("page.TMP")));
    struct stat st {};
    ASSERT_EQ(::stat(page.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    const std::string named = dir.file("page.TMP"); // its own work file: refused untouched
    writeFile(named, bytes);
    EXPECT_THROW(loadInsertionList(named), PageNameError);
    EXPECT_THROW(saveInsertionList(named, list), PageNameError);
    EXPECT_EQ(readFile(named), bytes);

    // Written by another program meanwhile: its change is kept.
    writeFile(page, bytes + "\nmore");
    EXPECT_EQ(saveInsertionList(page, list), SaveListOutcome::PageChanged);
    EXPECT_EQ(readFile(page), bytes + "\nmore");
}
