#include "commands/new_page.h"

#include <cerrno>
#include <stdexcept>

#include "commands/texts.h"
#include "document/file_io.h"
#include "document/page_open.h"
#include "platform/file_errors.h"

namespace quillet::commands {

void createPage(const std::string& pagePath, const QString& shownPath, const doc::PageColors& colors,
                doc::NewPageCharset charset) {
    try {
        doc::createNewPage(pagePath, colors, charset);
    } catch (const doc::FileError& e) {
        const QString why = e.errnum() == EEXIST ? texts::NameTaken : platform::fileErrorMessage(e);
        throw std::runtime_error((texts::cannotCreate(shownPath) + QLatin1Char('\r') + why).toStdString());
    }
}

} // namespace quillet::commands
