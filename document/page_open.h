#pragma once
// Choosing a page: the marker check and a new page from the template. A page without a marker
// line then goes through the insertion-point dialog's list (insertion_list.h).

#include <string>

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

} // namespace quillet::doc
