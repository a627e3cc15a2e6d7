#include "document/entry_writer.h"

#include "document/file_io.h"
#include "document/page_rewrite.h"

namespace quillet::doc {

ReplaceAllCheck checkReplaceAllBody(const std::vector<std::string>& body) {
    int state = 0;
    for (const auto& line : body) {
        if (line.find("</BODY>") != std::string::npos)
            state = 1;
        if (state == 1 && line.find("</HTML>") != std::string::npos)
            state = 2;
    }
    switch (state) {
    case 0:
        return ReplaceAllCheck::MissingBody;
    case 1:
        return ReplaceAllCheck::MissingHtml;
    default:
        return ReplaceAllCheck::Passed;
    }
}

WriteOutcome writeEntry(const std::string& pagePath, const EntryComposer& compose, SaveMode mode) {
    if (!fileExists(pagePath))
        return WriteOutcome::PageMissing;
    PageRewrite rewrite(pagePath);
    // Without a line that is the marker alone the entry would land after </HTML>.
    if (!rewrite.CopyThroughMarker())
        return WriteOutcome::NoMarker;
    writeEntryBlock(rewrite.out(), compose(rewrite.encoding()));
    if (mode == SaveMode::Insert)
        rewrite.CopyRest();
    rewrite.commit();
    return WriteOutcome::Written;
}

WriteOutcome writeEntry(const std::string& pagePath, const Entry& entry, SaveMode mode) {
    return writeEntry(
        pagePath, [&](const PageEncoding&) { return entry; }, mode);
}

} // namespace quillet::doc
