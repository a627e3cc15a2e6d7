#pragma once
// Choosing a page: the marker check, a new page from the template, and the line list of the
// insertion-point dialog, which keeps every line's bytes and only changes the line ends.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "document/page_format.h"

namespace quillet::doc {

// Some line of the page (read by the page's line model) is the insertion marker itself, as every
// rewrite needs it. A marker that shares its line with other text, or sits in a page whose LF-only
// line ends make it one long line, does not count: such a page still needs the dialog. No line
// is held, so memory stays flat whatever the page's lines.
bool pageHasInsertionLine(const std::string& pagePath);

// Creates the page from the template with these colours, in that encoding. Never replaces anything: a name
// that is taken, even by a folder or a dangling link, fails with EEXIST (EISDIR for a folder). A page that
// cannot be written completely is removed again, since this call made it. A name that is one of its own work
// files is refused (PageNameError).
void createNewPage(const std::string& pagePath, const PageColors& colors,
                   NewPageCharset charset = NewPageCharset::ShiftJis);

// The dialog holds the whole page, one item per line: larger pages are refused before loading.
// Measured (./bench/run list): 31 MB of 78-byte lines (406 k lines) load in 1.1 s with 267 MB
// peak; 943 k lines of 8 bytes in 1.4 s with 298 MB. Each item costs about 300 bytes.
inline constexpr std::uint64_t kMaxListBytes = 32u << 20;
inline constexpr std::size_t kMaxListLines = 1u << 20;

class ListTooLargeError : public std::runtime_error {
public:
    explicit ListTooLargeError(const std::string& page)
        : std::runtime_error(page + ": too large for the insertion-point list") {}
};

// The page as the insertion-point dialog shows it: one item per line, where CR, LF and CR LF
// each end a line and a final line end adds no item. Items keep their bytes as they were;
// saving writes each followed by CR LF.
class InsertionList {
public:
    // Throws ListTooLargeError beyond kMaxListLines.
    static InsertionList fromBytes(std::string bytes);

    const std::vector<std::string>& items() const { return items_; }
    std::size_t size() const { return items_.size(); }
    const std::string& original() const { return original_; }

    // A double-click on item `index`: a line that begins with the marker goes, any other line
    // gets a marker line after it. Returns true when an item was removed.
    bool toggle(std::size_t index);
    // Some item begins with the marker: closing the dialog then keeps the list.
    bool hasMarker() const;
    // The page as the list writes it: every item followed by CR LF.
    std::string bytes() const;

private:
    std::string original_;
    std::vector<std::string> items_;
};

// Reads the whole page into the list; throws ListTooLargeError beyond kMaxListBytes before
// reading anything.
InsertionList loadInsertionList(const std::string& pagePath);

enum class SaveListOutcome { Saved, Unchanged, PageChanged };
// Writes the list over the page the way every rewrite does: the new page is written and synced
// beside it, the page as it was becomes the backup, and the new page is renamed over it. A page
// that no longer holds the bytes the list was loaded from is left alone (PageChanged).
SaveListOutcome saveInsertionList(const std::string& pagePath, const InsertionList& list);

} // namespace quillet::doc
