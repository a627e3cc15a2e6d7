#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

#include "document/entry_writer.h"
#include "document/file_io.h"
#include "document/line_io.h"
#include "document/page_rewrite.h"
#include "temp_dir.h"

using namespace quillet::doc;
using namespace quillet::testing;

namespace {
const std::string kTemplate =
    "<HTML>\r<HEAD>\r<META http-equiv=\"Content-Type\" content=\"text/html; charset=x-sjis\">\r\n"
    "<TITLE></TITLE>\r</HEAD>\r\n"
    "<BODY BGCOLOR=\"#008080\" TEXT=\"#080000\" LINK=\"#080000\" VLINK=\"#080000\" ALINK=\"#080000\">\r\n"
    "<BR>\r<DIV ALIGN=\"center\">\r</DIV>\r<HR><BR>\r<!-INS-!>\r</BODY>\r</HTML>\r\n";
// The template once rewritten: every head line has its own CR LF.
const std::string kHead =
    "<HTML>\r\n<HEAD>\r\n<META http-equiv=\"Content-Type\" content=\"text/html; charset=x-sjis\">\r\n"
    "<TITLE></TITLE>\r\n</HEAD>\r\n"
    "<BODY BGCOLOR=\"#008080\" TEXT=\"#080000\" LINK=\"#080000\" VLINK=\"#080000\" ALINK=\"#080000\">\r\n"
    "<BR>\r\n<DIV ALIGN=\"center\">\r\n</DIV>\r\n<HR><BR>\r\n<!-INS-!>\r\n";
const std::string kTail = "</BODY>\r\n</HTML>\r\n";

Entry plainEntry(std::vector<std::string> body, std::string title = "") {
    Entry e;
    e.title = std::move(title);
    e.body = std::move(body);
    return e;
}

class EntryWriterTest : public ::testing::Test {
protected:
    void TearDown() override { setFaultHook(nullptr); }
    TempDir dir;
    std::string page = dir.file("index.html");
    std::string tmp = dir.file("index.TMP");
    std::string bak = dir.file("index.BAK");
};
} // namespace

TEST_F(EntryWriterTest, SaveIntoTemplatePageIsByteExact) {
    writeFile(page, kTemplate);
    Entry e = plainEntry({"本文"}, "EditTitle");
    ASSERT_EQ(writeEntry(page, e, SaveMode::Insert), WriteOutcome::Written);
    const std::string first = kHead +
                              "<!-TTL-A-!>\r\r\rEditTitle\r<BR>\r<!-TTL-B-!>\r\n"
                              "<!-BDY-A-!>\r\n本文\r\n<!-BDY-B-!><HR>\r<!-END-!>\r\n" +
                              kTail;
    EXPECT_EQ(readFile(page), first);
    EXPECT_EQ(readFile(bak), kTemplate);
    EXPECT_FALSE(exists(tmp));

    // The second entry goes in front; the first one's bare CRs become CR LF as it is copied.
    Entry second = plainEntry({"a", "b"});
    second.indent = true;
    ASSERT_EQ(writeEntry(page, second, SaveMode::Insert), WriteOutcome::Written);
    EXPECT_EQ(readFile(page), kHead +
                                  "<!-BDY-A-!><DL><DD>\r\na\r\nb\r\n<!-BDY-B-!></DL><HR>\r<!-END-!>\r\n"
                                  "<!-TTL-A-!>\r\n\r\n\r\nEditTitle\r\n<BR>\r\n<!-TTL-B-!>\r\n"
                                  "<!-BDY-A-!>\r\n本文\r\n<!-BDY-B-!><HR>\r\n<!-END-!>\r\n" +
                                  kTail);
    // The backup is the page after the first save, not before both.
    EXPECT_EQ(readFile(bak), first);
}

TEST_F(EntryWriterTest, EmptyEntryStillWritesItsMarkers) {
    writeFile(page, kTemplate);
    ASSERT_EQ(writeEntry(page, plainEntry({}), SaveMode::Insert), WriteOutcome::Written);
    EXPECT_EQ(readFile(page), kHead + "<!-BDY-A-!>\r\n<!-BDY-B-!><HR>\r<!-END-!>\r\n" + kTail);
}

TEST_F(EntryWriterTest, ReplaceAllDropsEverythingAfterTheMarker) {
    writeFile(page, kHead + "<!-BDY-A-!>\r\nold\r\n<!-BDY-B-!><HR>\r\n<!-END-!>\r\n" + kTail);
    const std::string before = readFile(page);
    ASSERT_EQ(writeEntry(page, plainEntry({"new", "</BODY>", "</HTML>"}), SaveMode::ReplaceAll),
              WriteOutcome::Written);
    EXPECT_EQ(readFile(page),
              kHead + "<!-BDY-A-!>\r\nnew\r\n</BODY>\r\n</HTML>\r\n<!-BDY-B-!><HR>\r<!-END-!>\r\n");
    EXPECT_EQ(readFile(bak), before);
}

TEST_F(EntryWriterTest, MarkerOnTheLastLineIsCopiedAndTheEntryFollows) {
    writeFile(page, "<HTML>\r\n<!-INS-!>");
    ASSERT_EQ(writeEntry(page, plainEntry({"x"}), SaveMode::Insert), WriteOutcome::Written);
    EXPECT_EQ(readFile(page), "<HTML>\r\n<!-INS-!>\r\n<!-BDY-A-!>\r\nx\r\n<!-BDY-B-!><HR>\r<!-END-!>\r\n");
}

// Pages without a line that is the marker alone: nothing may be written after </HTML>.
TEST_F(EntryWriterTest, PageWithoutMarkerLineIsLeftAlone) {
    const std::vector<std::string> pages = {
        "<HTML>\n<BODY>\n<!-INS-!>\n</BODY>\n</HTML>\n", // LF-only lines read as one line
        "<HTML>\r\n<P><!-INS-!>\r\n</BODY>\r\n</HTML>\r\n",
        "<HTML>\r\n<!-INS-!> \r\n</HTML>\r\n",
    };
    for (const auto& text : pages) {
        writeFile(page, text);
        writeFile(bak, "old backup");
        for (auto mode : {SaveMode::Insert, SaveMode::ReplaceAll})
            EXPECT_EQ(writeEntry(page, plainEntry({"x", "</BODY></HTML>"}), mode), WriteOutcome::NoMarker);
        EXPECT_EQ(readFile(page), text);
        EXPECT_EQ(readFile(bak), "old backup");
        EXPECT_FALSE(exists(tmp));
    }
}

TEST_F(EntryWriterTest, MissingPageTouchesNothing) {
    EXPECT_EQ(writeEntry(page, plainEntry({"x"}), SaveMode::Insert), WriteOutcome::PageMissing);
    EXPECT_EQ(writeEntry("", plainEntry({"x"}), SaveMode::Insert), WriteOutcome::PageMissing);
    EXPECT_FALSE(exists(page));
    EXPECT_FALSE(exists(tmp));
    EXPECT_FALSE(exists(bak));
}

TEST_F(EntryWriterTest, LeftoverTmpIsReplacedAndModeKept) {
    writeFile(page, kTemplate);
    ::chmod(page.c_str(), 0640);
    writeFile(tmp, std::string(5000, 'z'));
    ASSERT_EQ(writeEntry(page, plainEntry({"x"}), SaveMode::Insert), WriteOutcome::Written);
    EXPECT_EQ(readFile(page), kHead + "<!-BDY-A-!>\r\nx\r\n<!-BDY-B-!><HR>\r<!-END-!>\r\n" + kTail);
    EXPECT_FALSE(exists(tmp));
    struct stat st {};
    ASSERT_EQ(::stat(page.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// A failure at any step leaves the page as it was, and reports the step's errno.
TEST_F(EntryWriterTest, FailureAtAnyStepLeavesThePageWhole) {
    using Step = FileError::Step;
    const std::vector<std::pair<Step, int>> faults = {
        {Step::Open, EACCES}, {Step::Create, ENOSPC}, {Step::Read, EIO},     {Step::Write, ENOSPC},
        {Step::Sync, EIO},    {Step::Link, EACCES},   {Step::Rename, EXDEV},
    };
    for (const auto& [step, err] : faults) {
        writeFile(page, kTemplate);
        writeFile(bak, "old backup");
        setFaultHook([step = step, err = err](Step s, const std::string&) { return s == step ? err : 0; });
        try {
            writeEntry(page, plainEntry({"x"}), SaveMode::Insert);
            ADD_FAILURE() << "no error for step " << static_cast<int>(step);
        } catch (const FileError& e) {
            EXPECT_EQ(e.errnum(), err);
        }
        setFaultHook(nullptr);
        EXPECT_EQ(readFile(page), kTemplate) << static_cast<int>(step);
        EXPECT_FALSE(exists(tmp)) << static_cast<int>(step);
        // Until the page is replaced the backup is the previous one or a copy of the page.
        const std::string b = readFile(bak);
        EXPECT_TRUE(b == "old backup" || b == kTemplate);
    }
}

TEST_F(EntryWriterTest, RealCreateFailureIsReported) {
    writeFile(page, kTemplate);
    std::filesystem::create_directory(tmp); // T cannot be created where a folder stands
    try {
        writeEntry(page, plainEntry({"x"}), SaveMode::Insert);
        FAIL();
    } catch (const FileError& e) {
        EXPECT_EQ(e.errnum(), EISDIR);
        EXPECT_EQ(e.step(), FileError::Step::Create);
    }
    EXPECT_EQ(readFile(page), kTemplate);
}

TEST_F(EntryWriterTest, BackupIsCopiedWhereHardLinksAreRefused) {
    writeFile(page, kTemplate);
    setFaultHook(
        [](FileError::Step s, const std::string&) { return s == FileError::Step::Link ? EPERM : 0; });
    ASSERT_EQ(writeEntry(page, plainEntry({"x"}), SaveMode::Insert), WriteOutcome::Written);
    EXPECT_EQ(readFile(bak), kTemplate);
    EXPECT_EQ(readFile(page), kHead + "<!-BDY-A-!>\r\nx\r\n<!-BDY-B-!><HR>\r<!-END-!>\r\n" + kTail);
    // No temporary names are left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(ReplaceAllCheck, BodyMustCloseThePage) {
    using C = ReplaceAllCheck;
    EXPECT_EQ(checkReplaceAllBody({}), C::MissingBody);
    EXPECT_EQ(checkReplaceAllBody({"</body>", "</html>"}), C::MissingBody);
    EXPECT_EQ(checkReplaceAllBody({"</HTML>", "</BODY>"}), C::MissingHtml);
    EXPECT_EQ(checkReplaceAllBody({"</BODY>"}), C::MissingHtml);
    EXPECT_EQ(checkReplaceAllBody({"</BODY></HTML>"}), C::Passed);
    EXPECT_EQ(checkReplaceAllBody({"x", "</BODY>", "y", "</HTML>"}), C::Passed);
    EXPECT_EQ(checkReplaceAllBody({"</BODY>", "</HTML>", "</BODY>"}), C::MissingHtml);
}

TEST(PageExchange, SwapsTwoFilesBothWays) {
    TempDir dir;
    const std::string a = dir.file("a.html"), b = dir.file("a.BAK");
    writeFile(a, "page");
    writeFile(b, "backup");
    exchangeFiles(a, b);
    EXPECT_EQ(readFile(a), "backup");
    EXPECT_EQ(readFile(b), "page");
    exchangeFiles(a, b);
    EXPECT_EQ(readFile(a), "page");
    EXPECT_EQ(readFile(b), "backup");
}
