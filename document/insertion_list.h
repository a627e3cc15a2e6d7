#pragma once
// The insertion-point dialog's list: the page's lines, where CR, LF and CR LF each end a line and
// a final line end adds no line, with marker lines put in or taken out by the author. The list
// holds where each line starts, about a byte and a quarter per line, and never the lines
// themselves: a row's bytes are read from the page when it is shown, and saving streams the page
// again, writing every row's own bytes followed by CR LF.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillet::doc {

// The list numbers its rows as the window's list does, in a 32-bit signed int.
inline constexpr std::size_t kMaxListRows = std::numeric_limits<std::int32_t>::max();

class ListTooLargeError : public std::runtime_error {
public:
    explicit ListTooLargeError(const std::string& page)
        : std::runtime_error(page + ": too many lines for the insertion-point list") {}
};

// Where each line starts, appended in order: a byte offset every kBlock lines and, between them,
// the distances from line to line as variable-length numbers (one byte below 128).
class LineStarts {
public:
    void push(std::uint64_t start);
    std::size_t size() const { return count_; }
    std::uint64_t at(std::size_t line) const;

    // Reads the starts in order at a constant cost per line.
    class Cursor {
    public:
        explicit Cursor(const LineStarts& starts) : starts_(starts) {}
        bool atEnd() const { return line_ == starts_.count_; }
        std::uint64_t next();

    private:
        const LineStarts& starts_;
        std::size_t line_ = 0;
        std::size_t pos_ = 0;
        std::uint64_t start_ = 0;
    };

private:
    static constexpr std::size_t kBlock = 64;
    struct Block {
        std::uint64_t start; // of the block's first line
        std::size_t pos;     // where the distances to its further lines begin
    };
    std::uint64_t distanceAt(std::size_t& pos) const;
    std::deque<Block> blocks_; // a deque grows without copying what it holds
    std::deque<std::uint8_t> distances_;
    std::size_t count_ = 0;
    std::uint64_t last_ = 0;
};

enum class Toggled { Removed, Inserted, Nothing };
enum class SaveListOutcome { Saved, Unchanged, PageChanged };

class InsertionList {
public:
    // An empty list of no page.
    InsertionList() = default;

    // Rows as shown: the page's lines without the ones taken out, and the marker lines put in.
    std::size_t size() const { return rows_; }

    // A row's bytes without its line end, at most `limit` of them; `cut` tells that the row goes
    // on. Read from the page, so a page changed meanwhile shows its new bytes (saving then leaves
    // it alone).
    struct RowBytes {
        std::string bytes;
        bool cut = false;
    };
    RowBytes row(std::size_t index, std::size_t limit) const;
    bool beginsWithMarker(std::size_t index) const;

    // What a double-click on row `index` does: a row that begins with the marker goes, any other
    // row gets a marker row after it (unless the list is full); nothing beyond the last row.
    Toggled effectOfToggle(std::size_t index) const;
    Toggled toggle(std::size_t index);
    // Some row begins with the marker: closing the dialog then keeps the list.
    bool hasMarker() const { return inserted_ > 0 || markerLines_.size() > removed_; }

    const std::string& page() const { return page_; }

private:
    friend InsertionList loadInsertionList(const std::string& pagePath, std::size_t maxRows);
    friend SaveListOutcome saveInsertionList(const std::string& pagePath, const InsertionList& list);
    class Loader;
    class Writer;

    struct Edit {
        std::uint32_t markersAfter = 0;
        bool removed = false; // a line of the page that began with the marker
    };
    struct Place {
        std::size_t line;
        bool markerRow; // one of the markers put in after the line
    };
    Place placeOf(std::size_t index) const;
    bool lineBeginsWithMarker(std::size_t line) const;
    // Writing the list gives the page's own bytes.
    bool unchanged() const { return edits_.empty() && allCrLf_; }

    std::string page_;
    std::uint64_t pageSize_ = 0;
    std::uint64_t fingerprint_ = 0;
    LineStarts starts_;
    std::vector<std::size_t> markerLines_; // lines of the page that begin with the marker
    bool allCrLf_ = true;                  // every line of the page ends in CR LF
    std::map<std::size_t, Edit> edits_;    // by line of the page
    std::size_t rows_ = 0, inserted_ = 0, removed_ = 0, maxRows_ = kMaxListRows;
};

// Streams the page once and lists its lines; throws ListTooLargeError beyond `maxRows` lines.
InsertionList loadInsertionList(const std::string& pagePath, std::size_t maxRows = kMaxListRows);

// Writes the list over the page the way every rewrite does: the new page is written and synced
// beside it, the page as it was becomes the backup, and the new page is renamed over it. The page
// is streamed again for it; one whose bytes are no longer those the list was loaded from is left
// alone (PageChanged), and so is one the list would write as it is (Unchanged).
SaveListOutcome saveInsertionList(const std::string& pagePath, const InsertionList& list);

} // namespace quillet::doc
