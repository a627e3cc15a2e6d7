#pragma once
// Choosing a page: the marker check, a new page from the template, and the line list of the
// insertion-point dialog with the page's bytes kept exactly around the marker lines it adds or
// removes.

#include <cstddef>
#include <string>
#include <vector>

#include "document/page_format.h"

namespace quillet::doc {

// Some line of the page (read by the page's line model) contains the insertion marker.
bool pageHasInsertionMarker(const std::string& pagePath);

// Creates the page from the template with these colours. Never replaces anything: a name that
// is taken, even by a folder or a dangling link, fails with EEXIST (EISDIR for a folder). A page
// that cannot be written completely is removed again, since this call made it. A name that is
// one of its own work files is refused (PageNameError).
void createNewPage(const std::string& pagePath, const PageColors& colors);

// The page as the insertion-point dialog shows it: one item per line, where CR, LF and CR LF
// each end a line. Items keep their own line ends, so the page's bytes survive unchanged.
class InsertionList {
public:
    struct Item {
        std::string text;
        std::string end;    // the line end as it was in the page; empty for the last line
        bool added = false; // a marker placed in this dialog
    };

    static InsertionList fromBytes(std::string bytes);

    const std::vector<Item>& items() const { return items_; }
    std::size_t size() const { return items_.size(); }
    const std::string& original() const { return original_; }

    // A double-click on item `index`: a line that begins with the marker goes, any other line
    // gets a marker line after it. Returns true when an item was removed.
    bool toggle(std::size_t index);
    // Some item begins with the marker: closing the dialog then keeps the list.
    bool hasMarker() const;
    // The page with the list's changes. An added marker is a line of its own ending in CR LF,
    // and the line before it gets CR LF when its own end holds no CR, so that every rewrite
    // finds the marker alone on its line.
    std::string bytes() const;

private:
    std::string original_;
    std::vector<Item> items_;
};

// Reads the whole page into the list.
InsertionList loadInsertionList(const std::string& pagePath);

enum class SaveListOutcome { Saved, Unchanged, PageChanged };
// Writes the list over the page the way every rewrite does: the new page is written and synced
// beside it, the page as it was becomes the backup, and the new page is renamed over it. A page
// that no longer holds the bytes the list was loaded from is left alone (PageChanged).
SaveListOutcome saveInsertionList(const std::string& pagePath, const InsertionList& list);

} // namespace quillet::doc
