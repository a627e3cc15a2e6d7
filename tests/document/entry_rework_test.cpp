#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

#include "document/entry_rework.h"
#include "document/entry_writer.h"
#include "document/file_io.h"
#include "document/line_io.h"
#include "document/page_encoding.h"
#include "document/page_rewrite.h"
#include "temp_dir.h"

using namespace quillet::doc;
using namespace quillet::testing;

TEST(HexValue, DigitsOtherBytesAndOverflow) {
    EXPECT_EQ(HexValue("FF0000"), 0xFF0000u);
    EXPECT_EQ(HexValue("ff00zz"), 0xFF0000u);
    EXPECT_EQ(HexValue("123456789"), 0x23456789u);
    EXPECT_EQ(HexValue(""), 0u);
    EXPECT_EQ(HexValue("0"), 0u);
    EXPECT_EQ(HexValue("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(HexValue(std::string(100000, 'f')), 0xFFFFFFFFu);
    EXPECT_EQ(HexValue("\xff\x80#"), 0u);
}

TEST(AttributeValue, QuotedUnquotedAndHostileTags) {
    const std::string font = "<FONT COLOR=\"#FF0000\" SIZE=\"+1\">";
    EXPECT_EQ(AttributeValue(font, "COLOR"), "#FF0000");
    EXPECT_EQ(AttributeValue(font, "SIZE"), "+1");
    EXPECT_EQ(AttributeValue("<FONT COLOR=red>", "COLOR"), "");
    EXPECT_EQ(AttributeValue("<FONT color=\"red\">", "COLOR"), ""); // the name is case-sensitive
    EXPECT_EQ(AttributeValue("<FONT COLOR=\"#12", "COLOR"), "");    // unterminated
    EXPECT_EQ(AttributeValue("<FONT COLOR", "COLOR"), "");
    EXPECT_EQ(AttributeValue("<FONT COLOR \"x\">", "COLOR"), "x"); // no "=": the quote still counts
    EXPECT_EQ(AttributeValue("<FONT SIZE=\"\">", "SIZE"), "");
    const std::string longValue(1 << 20, 'a');
    EXPECT_EQ(AttributeValue("<FONT SIZE=\"" + longValue + "\">", "SIZE"), longValue);
}

// Whatever title style the writer composes, decoding its record gives the style back.
TEST(TitleDecoding, RoundTripsEveryStyleTheWriterProduces) {
    const std::string mark = "<IMG SRC=\"/home/a/mark.gif\">";
    for (int bold = 0; bold < 2; ++bold)
        for (int italic = 0; italic < 2; ++italic)
            for (int markOn = 0; markOn < 2; ++markOn)
                for (std::int32_t color : {0, 0xFF0000, 0x0000FF, 0x000001})
                    for (const char* size : {"", "+1", "-5", "7"}) {
                        Entry e;
                        e.title = "日記 <A HREF=\"x\">link</A>";
                        e.titleMark = markOn;
                        e.style = {bool(bold), bool(italic), color, size, mark};
                        const auto lines = splitLines(titleRecordLine(e) + "\r\n");
                        std::string x;
                        for (std::size_t i = 1; i + 1 < lines.size(); ++i)
                            x += lines[i];
                        const DecodedTitle d = decodeTitle(x);
                        SCOPED_TRACE(x);
                        EXPECT_EQ(d.title, e.title);
                        EXPECT_EQ(d.bold, bool(bold));
                        EXPECT_EQ(d.italic, bool(italic));
                        EXPECT_EQ(d.markOn, bool(markOn));
                        EXPECT_EQ(d.markTag, markOn ? std::optional(mark) : std::nullopt);
                        const bool font = color > 0 || *size;
                        EXPECT_EQ(d.color, color > 0 ? std::optional(color) : std::nullopt);
                        EXPECT_EQ(d.size, font && *size ? std::optional<std::string>(size) : std::nullopt);
                    }
}

TEST(TitleDecoding, HandEditedRecords) {
    // Black is no colour; a mark tag holding another "<" is dropped but still turns the box on.
    DecodedTitle d = decodeTitle("<FONT COLOR=\"#000000\">T</FONT><BR>");
    EXPECT_EQ(d.color, 0);
    EXPECT_EQ(d.title, "T");
    d = decodeTitle("<IMG SRC=\"a<b\">T<BR>");
    EXPECT_TRUE(d.markOn);
    EXPECT_FALSE(d.markTag);
    EXPECT_EQ(d.title, "T");
    // A FONT tag without ">" is its "<" alone; an unquoted size gives an empty token.
    d = decodeTitle("<FONT SIZE=3 T");
    EXPECT_EQ(d.title, "FONT SIZE=3 T");
    EXPECT_FALSE(d.size);
    d = decodeTitle("<FONT SIZE=3>T");
    EXPECT_EQ(d.size, "");
    // Only a "<BR>" at the very end goes; "</B>" is looked for only after a "<B>".
    EXPECT_EQ(decodeTitle("a<BR>b<BR>").title, "a<BR>b<BR>");
    EXPECT_EQ(decodeTitle("a</B><BR>").title, "a</B>");
    EXPECT_EQ(decodeTitle("").title, "");
}

namespace {
const std::string kHead = "<HTML>\r\n<!-INS-!>\r\n";
const std::string kTail = "</BODY>\r\n</HTML>\r\n";
const std::string kTitled =
    "<!-TTL-A-!>\r\n\r\n<B>\r\nNew\r\n</B><BR>\r\n<!-TTL-B-!>\r\n"
    "<!-BDY-A-!><DL><DD>\r\nline 1\r\nline 2\r\n<!-BDY-B-!></DL><HR>\r\n<!-END-!>\r\n";
const std::string kOlder = "<!-BDY-A-!>\r\nolder\r\n<!-BDY-B-!><HR>\r\n<!-END-!>\r\n";

class ReworkTest : public ::testing::Test {
protected:
    void TearDown() override { setFaultHook(nullptr); }
    TempDir dir;
    std::string page = dir.file("diary.htm");
    std::string bak = dir.file("diary.BAK");
    std::string tmp = dir.file("diary.TMP");
};
} // namespace

TEST_F(ReworkTest, DeleteLastRemovesTheNewestEntryOnly) {
    writeFile(page, kHead + kTitled + kOlder + kTail);
    ASSERT_EQ(deleteNewestEntry(page), ReworkOutcome::Done);
    EXPECT_EQ(readFile(page), kHead + kOlder + kTail);
    EXPECT_EQ(readFile(bak), kHead + kTitled + kOlder + kTail);
    ASSERT_EQ(deleteNewestEntry(page), ReworkOutcome::Done);
    EXPECT_EQ(readFile(page), kHead + kTail);
    // The backup holds the page between the two presses: Undo brings back only the second.
    EXPECT_EQ(readFile(bak), kHead + kOlder + kTail);
    ASSERT_EQ(undoLastRewrite(page), ReworkOutcome::Done);
    EXPECT_EQ(readFile(page), kHead + kOlder + kTail);
}

TEST_F(ReworkTest, DeleteLastWithoutEntryEndKeepsThePageAndBackup) {
    const std::vector<std::string> pages = {
        kHead + kTail,                                           // no entries
        kHead + "<!-BDY-A-!>\r\nx\r\n<!-END-!> old\r\n" + kTail, // only a "begins with" end
        "<HTML>\n<!-INS-!>\n<!-END-!>\n</HTML>\n",               // LF-only: one line
    };
    for (const auto& text : pages) {
        writeFile(page, text);
        writeFile(bak, "backup");
        EXPECT_EQ(deleteNewestEntry(page), ReworkOutcome::NoEntryEnd);
        EXPECT_EQ(readFile(page), text);
        EXPECT_EQ(readFile(bak), "backup");
        EXPECT_FALSE(exists(tmp));
    }
    EXPECT_EQ(deleteNewestEntry(dir.file("none.htm")), ReworkOutcome::PageMissing);
}

TEST_F(ReworkTest, ReadNewestEntryStopsAtAnEndThatBeginsTheLine) {
    writeFile(page, kHead +
                        "<!-TTL-A-!>\r\n<IMG SRC=\"m.gif\">\r\n\r\nT\r\n<BR>\r\n<!-TTL-B-!>\r\n"
                        "<!-BDY-A-!>\r\nbody\r\n<!-BDY-B-!><HR>\r\n<!-END-!>trailing\r\n" +
                        kOlder + kTail);
    PageRewrite rewrite(page);
    ASSERT_TRUE(rewrite.CopyThroughMarker());
    const RecalledEntry e = readNewestEntry(rewrite);
    EXPECT_TRUE(e.endFound);
    EXPECT_FALSE(e.indent);
    EXPECT_EQ(e.titleRecord, "<IMG SRC=\"m.gif\">T<BR>");
    EXPECT_EQ(e.body, std::vector<std::string>{"body"});
    rewrite.CopyRest();
    rewrite.commit();
    EXPECT_EQ(readFile(page), kHead + kOlder + kTail);
}

// Edit-last's rewrite: the page loses the entry only when the caller took it and its end was
// there; a refusal or a missing end leaves page, backup and work files as they were.
TEST_F(ReworkTest, TakeNewestEntryRewritesOnlyWhatWasAccepted) {
    const std::string whole = kHead + kTitled + kOlder + kTail;
    writeFile(page, whole);
    writeFile(bak, "backup");
    int asked = 0;
    TakenEntry taken = takeNewestEntry(page, [&](const RecalledEntry& e, const PageEncoding&) {
        ++asked;
        // Asked while the page is still whole.
        EXPECT_EQ(readFile(page), whole);
        return e.body.empty();
    });
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(taken.outcome, ReworkOutcome::Refused);
    EXPECT_EQ(taken.entry.body, (std::vector<std::string>{"line 1", "line 2"}));
    EXPECT_EQ(readFile(page), whole);
    EXPECT_EQ(readFile(bak), "backup");
    EXPECT_FALSE(exists(tmp));

    writeFile(page, kHead + kTail);
    taken = takeNewestEntry(page, [](const RecalledEntry&, const PageEncoding&) { return true; });
    EXPECT_EQ(taken.outcome, ReworkOutcome::NoEntryEnd);
    EXPECT_EQ(taken.entry.body, (std::vector<std::string>{"</BODY>", "</HTML>"}));
    EXPECT_EQ(readFile(page), kHead + kTail);
    EXPECT_EQ(readFile(bak), "backup");
    EXPECT_FALSE(exists(tmp));

    writeFile(page, whole);
    taken = takeNewestEntry(page, [](const RecalledEntry&, const PageEncoding&) { return true; });
    EXPECT_EQ(taken.outcome, ReworkOutcome::Done);
    EXPECT_TRUE(taken.entry.indent);
    EXPECT_EQ(taken.entry.titleRecord, "<B>New</B><BR>");
    EXPECT_EQ(readFile(page), kHead + kOlder + kTail);
    EXPECT_EQ(readFile(bak), whole);

    asked = 0;
    taken = takeNewestEntry(dir.file("none.htm"),
                            [&](const RecalledEntry&, const PageEncoding&) { return bool(++asked); });
    EXPECT_EQ(taken.outcome, ReworkOutcome::PageMissing);
    EXPECT_EQ(asked, 0);
}

// What the command line shows of the newest entry: what Edit-last would take, with the page, its
// backup and the work files left alone.
TEST_F(ReworkTest, PeekReadsWhatEditLastWouldTakeAndWritesNothing) {
    const std::string whole = kHead + kTitled + kOlder + kTail;
    writeFile(page, whole);
    writeFile(bak, "backup");
    TakenEntry peeked = peekNewestEntry(page);
    EXPECT_EQ(peeked.outcome, ReworkOutcome::Done);
    EXPECT_EQ(peeked.encoding.name, "Shift-JIS");
    EXPECT_EQ(readFile(page), whole);
    EXPECT_EQ(readFile(bak), "backup");
    EXPECT_FALSE(exists(tmp));
    const TakenEntry taken =
        takeNewestEntry(page, [](const RecalledEntry&, const PageEncoding&) { return true; });
    EXPECT_EQ(peeked.entry.titleRecord, taken.entry.titleRecord);
    EXPECT_EQ(peeked.entry.body, taken.entry.body);
    EXPECT_EQ(peeked.entry.indent, taken.entry.indent);

    for (const std::string& text : {kHead + kTail, std::string("<HTML>\n<!-INS-!>\n<!-END-!>\n</HTML>\n")}) {
        writeFile(page, text);
        EXPECT_EQ(peekNewestEntry(page).outcome, ReworkOutcome::NoEntryEnd);
        EXPECT_EQ(readFile(page), text);
    }
    EXPECT_EQ(peekNewestEntry(dir.file("none.htm")).outcome, ReworkOutcome::PageMissing);
    writeFile(page, "\xff\xfe<\0!\0");
    EXPECT_THROW(peekNewestEntry(page), EncodingRefusedError);
}

// A page whose markers would not be what they seem is refused by every command before a byte is
// written: the page, its backup and a leftover work file stay as they were.
TEST_F(ReworkTest, RefusedEncodingStopsEveryCommandBeforeItWrites) {
    const std::string utf16 = std::string("\xFF\xFE<\0H\0>\0\r\0\n\0", 12) + kHead + kOlder + kTail;
    const std::string jis = "<HTML><HEAD><META charset=\"ISO-2022-JP\"></HEAD>\r\n" + kHead.substr(8) +
                            "<!-BDY-A-!>\r\n\x1b$BF|5-\x1b(B\r\n<!-BDY-B-!><HR>\r\n<!-END-!>\r\n" + kTail;
    for (const std::string& text : {utf16, jis}) {
        writeFile(page, text);
        writeFile(bak, "backup");
        writeFile(tmp, "left over");
        Entry e;
        e.body = {"x"};
        EXPECT_THROW(writeEntry(page, e, SaveMode::Insert), EncodingRefusedError);
        EXPECT_THROW(writeEntry(page, e, SaveMode::ReplaceAll), EncodingRefusedError);
        EXPECT_THROW(deleteNewestEntry(page), EncodingRefusedError);
        bool asked = false;
        EXPECT_THROW(
            takeNewestEntry(page, [&](const RecalledEntry&, const PageEncoding&) { return asked = true; }),
            EncodingRefusedError);
        EXPECT_FALSE(asked);
        EXPECT_THROW(undoLastRewrite(page), EncodingRefusedError);
        EXPECT_EQ(readFile(page), text);
        EXPECT_EQ(readFile(bak), "backup");
        EXPECT_EQ(readFile(tmp), "left over");
    }
    // What the page declares is what the acceptor is told.
    writeFile(page, "\xEF\xBB\xBF<meta charset=utf-8>\r\n" + kHead + kOlder + kTail);
    const TakenEntry taken = takeNewestEntry(
        page, [](const RecalledEntry&, const PageEncoding& enc) { return enc.conversion == "UTF-8"; });
    EXPECT_EQ(taken.outcome, ReworkOutcome::Done);
    EXPECT_EQ(taken.encoding.declaration.bom, ByteOrderMark::Utf8);
    EXPECT_EQ(readFile(page), "\xEF\xBB\xBF<meta charset=utf-8>\r\n" + kHead + kTail);
}

TEST_F(ReworkTest, UndoExchangesPageAndBackupBothWays) {
    writeFile(page, "page");
    EXPECT_EQ(undoLastRewrite(page), ReworkOutcome::NoBackup);
    EXPECT_EQ(readFile(page), "page");
    writeFile(bak, "backup");
    writeFile(tmp, "left over"); // a leftover work file is no obstacle
    ASSERT_EQ(undoLastRewrite(page), ReworkOutcome::Done);
    EXPECT_EQ(readFile(page), "backup");
    EXPECT_EQ(readFile(bak), "page");
    ASSERT_EQ(undoLastRewrite(page), ReworkOutcome::Done);
    EXPECT_EQ(readFile(page), "page");
    EXPECT_EQ(readFile(bak), "backup");
    EXPECT_EQ(readFile(tmp), "left over");
    EXPECT_EQ(undoLastRewrite(dir.file("none.htm")), ReworkOutcome::PageMissing);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

// A page named like one of its own work files would be emptied or left without a backup.
TEST_F(ReworkTest, PageNamedLikeAWorkFileIsRefusedUntouched) {
    for (const char* name : {"diary.TMP", "diary.BAK"}) {
        const std::string odd = dir.file(name);
        writeFile(odd, kHead + kTitled + kTail);
        Entry e;
        e.body = {"x"};
        EXPECT_THROW(writeEntry(odd, e, SaveMode::Insert), PageNameError) << name;
        EXPECT_THROW(deleteNewestEntry(odd), PageNameError) << name;
        EXPECT_THROW(undoLastRewrite(odd), PageNameError) << name;
        EXPECT_EQ(readFile(odd), kHead + kTitled + kTail) << name;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST_F(ReworkTest, UndoWithoutAtomicExchangeNeverLosesAName) {
    writeFile(page, "page");
    writeFile(bak, "backup");
    // The file system cannot exchange: three renames, the second of which fails.
    setFaultHook([this](FileError::Step s, const std::string& path) {
        if (s == FileError::Step::Exchange)
            return EINVAL;
        return s == FileError::Step::Rename && path == bak ? EIO : 0;
    });
    EXPECT_THROW(undoLastRewrite(page), FileError);
    EXPECT_EQ(readFile(page), "page");
    EXPECT_EQ(readFile(bak), "backup");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
    // Without the failure the three renames exchange the two files.
    setFaultHook(
        [](FileError::Step s, const std::string&) { return s == FileError::Step::Exchange ? EINVAL : 0; });
    EXPECT_EQ(undoLastRewrite(page), ReworkOutcome::Done);
    setFaultHook(nullptr);
    EXPECT_EQ(readFile(page), "backup");
    EXPECT_EQ(readFile(bak), "page");
}

// A page that is a symbolic link stays one: the file it names is rewritten, and the backup is
// a real file beside that file.
TEST_F(ReworkTest, SymlinkedPageIsRewrittenThroughTheLink) {
    TempDir real;
    const std::string target = real.file("diary.htm");
    writeFile(target, kHead + kOlder + kTail);
    std::filesystem::create_symlink(target, page);
    ASSERT_EQ(deleteNewestEntry(page), ReworkOutcome::Done);
    EXPECT_TRUE(std::filesystem::is_symlink(page));
    EXPECT_EQ(readFile(page), kHead + kTail);
    EXPECT_EQ(readFile(real.file("diary.BAK")), kHead + kOlder + kTail);
    EXPECT_FALSE(exists(bak));
    ASSERT_EQ(undoLastRewrite(page), ReworkOutcome::Done);
    EXPECT_TRUE(std::filesystem::is_symlink(page));
    EXPECT_EQ(readFile(target), kHead + kOlder + kTail);
}

TEST_F(ReworkTest, InstalledPageKeepsPermissionsAndBacksUpTheOldOne) {
    writeFile(page, "old");
    ::chmod(page.c_str(), 0600);
    std::string received;
    {
        ReceivedFile file(page, Backup::Keep);
        received = file.path();
        file.out().write("new", 3);
        file.install();
    }
    EXPECT_EQ(readFile(page), "new");
    EXPECT_EQ(readFile(bak), "old");
    EXPECT_FALSE(exists(received));
    struct stat st {};
    ASSERT_EQ(::stat(page.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}
