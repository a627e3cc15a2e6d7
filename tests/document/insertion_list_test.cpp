#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "document/file_io.h"
#include "document/insertion_list.h"
#include "document/line_io.h"
#include "document/markers.h"
#include "document/work_files.h"
#include "file_faults.h"
#include "temp_dir.h"

using namespace quillet::doc;
using namespace quillet::testing;

namespace {
// The list as it was when it held every line's bytes: what the offsets must show and write.
struct HeldList {
    std::vector<std::string> items;

    explicit HeldList(const std::string& b) {
        std::size_t start = 0;
        while (start < b.size()) {
            const std::size_t stop = std::min(b.find_first_of("\r\n", start), b.size());
            items.push_back(b.substr(start, stop - start));
            const bool crLf = stop + 1 < b.size() && b[stop] == '\r' && b[stop + 1] == '\n';
            start = stop + (crLf ? 2 : 1);
        }
    }
    void toggle(std::size_t index) {
        const auto at = items.begin() + static_cast<std::ptrdiff_t>(index);
        if (marker::InsertionPoint(*at))
            items.erase(at);
        else
            items.insert(at + 1, std::string(kInsMarker));
    }
    bool hasMarker() const { return std::any_of(items.begin(), items.end(), marker::InsertionPoint); }
    std::string bytes() const {
        std::string out;
        for (const auto& item : items)
            out.append(item).append("\r\n");
        return out;
    }
};

std::vector<std::string> rowsOf(const InsertionList& list) {
    std::vector<std::string> rows;
    for (std::size_t i = 0; i < list.size(); ++i)
        rows.push_back(list.row(i, std::string::npos - 1).bytes);
    return rows;
}

class InsertionListTest : public FileFaultTest {
protected:
    InsertionList listOf(const std::string& bytes) {
        writeFile(page, bytes);
        return loadInsertionList(page);
    }
    // Many saves: in memory where the machine has it.
    TempDir dir{::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path()};
    std::string page = dir.file("page.html");
};
} // namespace

TEST(LineStarts, GiveBackEveryStartInAnyOrderAndInSequence) {
    LineStarts starts;
    std::vector<std::uint64_t> pushed;
    std::mt19937_64 rng(7);
    std::uint64_t at = 0;
    for (int i = 0; i < 1000; ++i) { // distances of one to eight bytes as numbers, and none
        pushed.push_back(at);
        starts.push(at);
        const int kind = i % 5;
        at += kind == 0   ? 1
              : kind == 1 ? 127
              : kind == 2 ? 128 + rng() % 20000
                          : rng() % (1ull << (20 + i % 44));
    }
    ASSERT_EQ(starts.size(), pushed.size());
    for (std::size_t i :
         {std::size_t{0}, std::size_t{63}, std::size_t{64}, std::size_t{65}, pushed.size() - 1})
        EXPECT_EQ(starts.at(i), pushed[i]) << i;
    LineStarts::Cursor cursor(starts);
    for (std::size_t i = 0; i < pushed.size(); ++i) {
        ASSERT_FALSE(cursor.atEnd());
        ASSERT_EQ(cursor.next(), pushed[i]) << i;
        ASSERT_EQ(starts.at(i), pushed[i]) << i;
    }
    EXPECT_TRUE(cursor.atEnd());
}

TEST_F(InsertionListTest, RowsAreThePageLinesByEveryLineEndAndEachIsWrittenWithCrLf) {
    struct Case {
        std::string bytes;
        std::vector<std::string> rows;
        std::string written;
    };
    const Case cases[] = {
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}, "a\r\nb\r\nc\r\nd\r\n"},
        {"a\r\nb\r\n", {"a", "b"}, "a\r\nb\r\n"}, // a final line end adds no row
        {"a\n\rb\r\r\n", {"a", "", "b", ""}, "a\r\n\r\nb\r\n\r\n"},
        {"\n", {""}, "\r\n"},
        {"\r\r\n\n\r", {"", "", "", ""}, "\r\n\r\n\r\n\r\n"},
        {"\x82\xa0\r\n\x1a tail\xff", {"\x82\xa0", "\x1a tail\xff"}, "\x82\xa0\r\n\x1a tail\xff\r\n"},
        {std::string("x\0y\r", 4), {std::string("x\0y", 3)}, std::string("x\0y\r\n", 5)},
        {"", {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        const InsertionList list = listOf(c.bytes);
        EXPECT_EQ(rowsOf(list), c.rows);
        EXPECT_FALSE(list.hasMarker());
        EXPECT_EQ(saveInsertionList(page, list),
                  c.written == c.bytes ? SaveListOutcome::Unchanged : SaveListOutcome::Saved);
        EXPECT_EQ(readFile(page), c.written);
    }
}

TEST_F(InsertionListTest, OffsetsShowAndWriteWhatTheHeldLinesDid) {
    // Pieces that make every mix of line ends, markers at a line's start and inside it, bytes
    // that end no line, and lines long enough for every width of the stored distances.
    const std::string pieces[] = {"a",
                                  "\r",
                                  "\n",
                                  "\r\n",
                                  "\n\r",
                                  "\r\r\n",
                                  "<!-INS-!>",
                                  "<!-INS-!>x",
                                  "<!-INS-",
                                  std::string(1, '\0'),
                                  "\x1a",
                                  "\x82\xa0",
                                  "\xff",
                                  "<BODY>",
                                  std::string(300, 'w'),
                                  std::string(20000, 'v')};
    std::mt19937 rng(1);
    for (int round = 0; round < 150; ++round) {
        std::string bytes;
        const int count = static_cast<int>(rng() % (round % 10 == 0 ? 600 : 40));
        for (int i = 0; i < count; ++i) {
            const std::size_t piece = rng() % std::size(pieces);
            if (piece < std::size(pieces) - 1 || rng() % 20 == 0)
                bytes += pieces[piece];
        }
        SCOPED_TRACE("round " + std::to_string(round));
        HeldList held(bytes);
        InsertionList list = listOf(bytes);
        ASSERT_EQ(rowsOf(list), held.items);
        for (int click = 0; click < 8 && !held.items.empty(); ++click) {
            const std::size_t n = held.items.size();
            const std::size_t row = click == 0 ? 0 : click == 1 ? n - 1 : rng() % n;
            const bool marker = marker::InsertionPoint(held.items[row]);
            EXPECT_EQ(list.beginsWithMarker(row), marker);
            EXPECT_EQ(list.toggle(row), marker ? Toggled::Removed : Toggled::Inserted);
            held.toggle(row);
            ASSERT_EQ(rowsOf(list), held.items) << "after row " << row;
            EXPECT_EQ(list.hasMarker(), held.hasMarker());
        }
        const SaveListOutcome outcome = saveInsertionList(page, list);
        EXPECT_EQ(readFile(page), held.bytes());
        if (held.bytes() != bytes) { // clicks that cancel out may still write the same bytes
            EXPECT_EQ(outcome, SaveListOutcome::Saved);
        }
    }
}

TEST_F(InsertionListTest, LinesAcrossTheReadingBufferAreSplitAsAnyOther) {
    // A CR LF, a marker and a line's start each cut by the reader's buffer.
    const std::size_t cut = LineReader::kBufferSize;
    std::string bytes(cut - 1, 'x');
    bytes += "\r\n<!-INS-!> at the cut\r";
    bytes.resize(2 * cut - 4, 'y');
    bytes += "\r\n<!-INS-!>";
    bytes.resize(3 * cut, 'z');
    bytes += "\n";
    HeldList held(bytes);
    InsertionList list = listOf(bytes);
    ASSERT_EQ(rowsOf(list), held.items);
    for (std::size_t row = 0; row < held.items.size(); ++row)
        EXPECT_EQ(list.beginsWithMarker(row), marker::InsertionPoint(held.items[row])) << row;
    list.toggle(0);
    held.toggle(0);
    EXPECT_EQ(saveInsertionList(page, list), SaveListOutcome::Saved);
    EXPECT_EQ(readFile(page), held.bytes());
}

TEST_F(InsertionListTest, MarkerRowsComeAndGoAtTheFirstAndLastRows) {
    InsertionList list = listOf("<BODY>\n</BODY>\n</HTML>");
    EXPECT_EQ(list.toggle(1), Toggled::Inserted); // after "</BODY>"
    EXPECT_TRUE(list.hasMarker());
    EXPECT_EQ(list.toggle(2), Toggled::Removed); // the marker row itself goes again
    EXPECT_FALSE(list.hasMarker());
    EXPECT_EQ(list.toggle(9), Toggled::Nothing); // no such row
    EXPECT_EQ(list.size(), 3u);

    EXPECT_EQ(list.toggle(2), Toggled::Inserted); // after the last row: the marker ends the page
    EXPECT_EQ(list.toggle(0), Toggled::Inserted);
    EXPECT_EQ(list.toggle(0), Toggled::Inserted); // two after the first row
    EXPECT_EQ(rowsOf(list), (std::vector<std::string>{"<BODY>", "<!-INS-!>", "<!-INS-!>", "</BODY>",
                                                      "</HTML>", "<!-INS-!>"}));
    EXPECT_EQ(list.toggle(2), Toggled::Removed);
    EXPECT_EQ(list.toggle(4), Toggled::Removed); // the last row
    EXPECT_EQ(list.toggle(4), Toggled::Nothing);
    EXPECT_EQ(list.row(1, 4).bytes, "<!-I");
    EXPECT_TRUE(list.row(1, 4).cut);
    EXPECT_EQ(saveInsertionList(page, list), SaveListOutcome::Saved);
    EXPECT_EQ(readFile(page), "<BODY>\r\n<!-INS-!>\r\n</BODY>\r\n</HTML>\r\n");

    // A line of the page that begins with the marker goes, text and all; so does the first row.
    InsertionList withText = listOf("<!-INS-!>\r\na\r\n<!-INS-!> old\r\nb");
    EXPECT_TRUE(withText.hasMarker());
    EXPECT_EQ(withText.toggle(2), Toggled::Removed);
    EXPECT_EQ(withText.toggle(0), Toggled::Removed);
    EXPECT_FALSE(withText.hasMarker());
    EXPECT_EQ(rowsOf(withText), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(withText.toggle(1), Toggled::Inserted);
    EXPECT_EQ(saveInsertionList(page, withText), SaveListOutcome::Saved);
    EXPECT_EQ(readFile(page), "a\r\nb\r\n<!-INS-!>\r\n");
}

TEST_F(InsertionListTest, RowsAreReadFromThePageAndCutWhereAsked) {
    InsertionList list = listOf("short\r\n" + std::string(10000, 'L') + "\r\nlast");
    EXPECT_EQ(list.row(1, 4096).bytes, std::string(4096, 'L'));
    EXPECT_TRUE(list.row(1, 4096).cut);
    EXPECT_FALSE(list.row(1, 10000).cut);
    EXPECT_FALSE(list.row(0, 5).cut);
    EXPECT_EQ(list.row(2, 4096).bytes, "last");
    EXPECT_EQ(list.row(3, 4096).bytes, ""); // beyond the rows
    removeFile(page);
    EXPECT_EQ(errnoOf([&] { list.row(0, 10); }), ENOENT);
}

TEST_F(InsertionListTest, PagesBeyondTheOldLimitsAreListedUpToTheRowsAListCanNumber) {
    const std::size_t lines = (1u << 20) + 5; // the list held 1,048,576 lines at most
    InsertionList list = listOf(std::string(lines, '\n'));
    EXPECT_EQ(list.size(), lines);
    EXPECT_EQ(list.toggle(lines - 1), Toggled::Inserted);
    EXPECT_EQ(saveInsertionList(page, list), SaveListOutcome::Saved);
    std::string expected;
    for (std::size_t i = 0; i < lines; ++i)
        expected += "\r\n";
    EXPECT_EQ(readFile(page), expected + "<!-INS-!>\r\n");

    writeFile(page, "a\nb\nc\nd");
    EXPECT_THROW(loadInsertionList(page, 3), ListTooLargeError);
    writeFile(page, "a\nb\nc\n");
    InsertionList full = loadInsertionList(page, 3);
    EXPECT_EQ(full.toggle(0), Toggled::Nothing); // no room for a marker row
    EXPECT_EQ(full.size(), 3u);
}

TEST_F(InsertionListTest, SavingReplacesThePageLikeARewriteOrLeavesItAlone) {
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

TEST_F(InsertionListTest, PageChangedMeanwhileIsLeftAloneHoweverLittleChanged) {
    std::string original;
    for (int i = 0; i < 5000; ++i)
        original += "<P>line " + std::to_string(i % 10) + "</P>\r\n";
    const auto changed = [&](std::size_t at, std::string_view with) {
        std::string b = original;
        b.replace(at, with.size(), with);
        return b;
    };
    const std::string sameSize[] = {
        changed(0, "X"),                                   // the first byte
        changed(original.size() - 3, "x"),                 // the last line's text
        changed(27, "\r\n>"),                              // a line end moved, the size kept
        changed(15, "<P>line 2</P>\r\n<P>line 1</P>\r\n"), // the same lines, two swapped
    };
    const std::string otherSize[] = {original + "\r\n", original.substr(0, original.size() - 2),
                                     original.substr(1)};
    std::vector<std::string> changes(std::begin(sameSize), std::end(sameSize));
    changes.insert(changes.end(), std::begin(otherSize), std::end(otherSize));
    for (bool edited : {true, false}) { // a list to write, and one the page already is
        for (const std::string& now : changes) {
            writeFile(page, original);
            InsertionList list = loadInsertionList(page);
            if (edited)
                list.toggle(3);
            struct stat before {};
            ASSERT_EQ(::stat(page.c_str(), &before), 0);
            writeFile(page, now);
            const timespec times[2] = {before.st_atim, before.st_mtim}; // its time put back
            ASSERT_EQ(::utimensat(AT_FDCWD, page.c_str(), times, 0), 0);
            EXPECT_EQ(saveInsertionList(page, list), SaveListOutcome::PageChanged);
            EXPECT_EQ(readFile(page), now);
            EXPECT_FALSE(exists(dir.file("page.TMP")));
            EXPECT_FALSE(exists(dir.file("page.BAK")));
        }
    }

    // The same bytes again, even as another file: nothing the author would lose.
    writeFile(page, original);
    InsertionList list = loadInsertionList(page);
    list.toggle(0);
    writeFile(dir.file("copy.html"), original);
    renameFile(dir.file("copy.html"), page);
    EXPECT_EQ(saveInsertionList(page, list), SaveListOutcome::Saved);
    EXPECT_EQ(readFile(page), "<P>line 0</P>\r\n<!-INS-!>\r\n" + original.substr(15));
}
