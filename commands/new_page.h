#pragma once
// A new page from the template, never over anything that exists.

#include <QString>
#include <string>

#include "document/page_format.h"

namespace quillet::commands {

// Fails with the page's name and why: the name is taken, or the file error.
void createPage(const std::string& pagePath, const QString& shownPath, const doc::PageColors& colors,
                doc::NewPageCharset charset);

} // namespace quillet::commands
