#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

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
        setFaultHook(
            [step](FileError::Step s, const std::string&) { return s == step ? ENOSPC : 0; });
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
    const std::pair<std::string, bool> cases[] = {
        {"<HTML>\r\n<P><!-INS-!> text\r\n</HTML>\r\n", true},
        {"<HTML>\n<!-INS-!>\n</HTML>\n", true}, // one long line that holds it
        {"<HTML>\r\n</HTML>\r\n", false},
        {"<HTML>\r\n\x1a<!-INS-!>\r\n", false}, // after the end of text
    };
    for (const auto& [bytes, found] : cases) {
        writeFile(page, bytes);
        EXPECT_EQ(pageHasInsertionMarker(page), found) << bytes;
    }
    EXPECT_EQ(errnoOf([&] { pageHasInsertionMarker(dir.file("missing.html")); }), ENOENT);
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

TEST_F(PageOpenTest, ListSplitsAtEveryLineEndAndKeepsTheBytes) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"a\r\nb\r\n", {"a", "b"}}, // a final line end adds no item
        {"a\n\rb\r\r\n", {"a", "", "b", ""}},
        {"\x82\xa0\r\n\x1a tail", {"\x82\xa0", "\x1a tail"}},
        {"", {}},
    };
    for (const auto& [bytes, items] : cases) {
        const InsertionList list = InsertionList::fromBytes(bytes);
        EXPECT_EQ(texts(list), items);
        EXPECT_EQ(list.bytes(), bytes);
        EXPECT_FALSE(list.hasMarker());
    }
}

TEST_F(PageOpenTest, MarkersComeAndGoWithOnlyTheirOwnLines) {
    const std::string bytes = "<BODY>\r\n</BODY>\r\n</HTML>\r\n";
    InsertionList list = InsertionList::fromBytes(bytes);
    EXPECT_FALSE(list.toggle(1));
    EXPECT_TRUE(list.hasMarker());
    EXPECT_EQ(list.bytes(), "<BODY>\r\n</BODY>\r\n<!-INS-!>\r\n</HTML>\r\n");
    EXPECT_TRUE(list.toggle(2));
    EXPECT_EQ(list.bytes(), bytes);
    EXPECT_FALSE(list.toggle(9)); // no such line
    EXPECT_EQ(list.size(), 3u);

    InsertionList withText = InsertionList::fromBytes("a\r\n<!-INS-!> old\r\nb");
    EXPECT_TRUE(withText.toggle(1)); // the whole line goes
    EXPECT_EQ(withText.bytes(), "a\r\nb");
    // After a last line without an end, the marker ends the page; taking it out restores it.
    withText.toggle(1);
    EXPECT_EQ(withText.bytes(), "a\r\nb\r\n<!-INS-!>\r\n");
    withText.toggle(2);
    EXPECT_EQ(withText.bytes(), "a\r\nb");

    // LF-only lines stay; the line before the marker gets a CR, so a rewrite finds it alone.
    InsertionList lf = InsertionList::fromBytes("<HTML>\n<BODY>\n</HTML>\n");
    lf.toggle(1);
    EXPECT_EQ(lf.bytes(), "<HTML>\n<BODY>\r\n<!-INS-!>\r\n</HTML>\n");
    const auto lines = splitLines(lf.bytes());
    EXPECT_NE(std::find_if(lines.begin(), lines.end(), marker::Insertion), lines.end());
}

TEST_F(PageOpenTest, SavingReplacesThePageLikeARewriteOrLeavesItAlone) {
    const std::string bytes = "<HTML>\n<BODY>\n</HTML>";
    writeFile(page, bytes);
    ::chmod(page.c_str(), 0640);
    InsertionList list = loadInsertionList(page);
    EXPECT_EQ(saveInsertionList(page, list), SaveListOutcome::Unchanged);
    EXPECT_FALSE(exists(dir.file("page.BAK")));
    list.toggle(1);
    for (auto step : {FileError::Step::Write, FileError::Step::Sync, FileError::Step::Rename}) {
        failAt(step);
        EXPECT_EQ(errnoOf([&] { saveInsertionList(page, list); }), ENOSPC);
        setFaultHook(nullptr);
        EXPECT_EQ(readFile(page), bytes);
        EXPECT_FALSE(exists(dir.file("page.TMP")));
    }

    EXPECT_EQ(saveInsertionList(page, list), SaveListOutcome::Saved);
    EXPECT_EQ(readFile(page), "<HTML>\n<BODY>\r\n<!-INS-!>\r\n</HTML>");
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
