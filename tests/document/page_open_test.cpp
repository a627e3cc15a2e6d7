#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "document/file_io.h"
#include "document/page_open.h"
#include "document/work_files.h"
#include "file_faults.h"
#include "temp_dir.h"

using namespace quillet::doc;
using namespace quillet::testing;

namespace {
class PageOpenTest : public FileFaultTest {
protected:
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
