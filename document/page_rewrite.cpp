#include "document/page_rewrite.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>

#include "document/markers.h"
#include "document/paths.h"

namespace quillet::doc {

PageRewrite::PageRewrite(std::string pagePath)
    : page_(resolvePage(pagePath)), tmp_(tmpFileOf(page_)), bak_(bakFileOf(page_)), lock_(page_, pagePath),
      pageFile_(page_), encoding_(pageEncoding(pageFile_, pagePath)), tmpFile_(tmp_), source_(pageFile_),
      sink_(tmpFile_.out()), reader_(source_), writer_(sink_) {}

PageRewrite::~PageRewrite() = default;

bool PageRewrite::CopyThroughMarker() {
    // The head's lines pass through without being held: any of them may be as long as the page.
    const bool found = reader_.readThrough(marker::Insertion, &writer_);
    line_ = found ? kInsMarker : std::string_view();
    return found;
}

void PageRewrite::CopyRest() { reader_.copyRestTo(writer_); }

void PageRewrite::commit() {
    writer_.flush();
    pageFile_.close();
    tmpFile_.install(lock_, page_, Backup::Keep);
}

bool exchangeFiles(const std::string& a, const std::string& b) {
    int err = injectedFault(FileError::Step::Exchange, a);
    if (err == 0 && ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) {
        syncFolder(folderOf(a));
        return true;
    }
    if (err == 0)
        err = errno;
    if (err != EINVAL && err != ENOSYS && err != ENOTSUP && err != EOPNOTSUPP)
        throw FileError(FileError::Step::Rename, err, a);
    // Three renames; whatever fails, each name is put back so that neither file goes missing.
    const std::string temp = uniqueWorkName(folderOf(a), WorkName::Exchange);
    renameFile(a, temp);
    try {
        renameFile(b, a);
    } catch (...) {
        (void)::rename(temp.c_str(), a.c_str());
        throw;
    }
    try {
        renameFile(temp, b);
    } catch (...) {
        (void)::rename(a.c_str(), b.c_str());
        (void)::rename(temp.c_str(), a.c_str());
        throw;
    }
    syncFolder(folderOf(a));
    return false;
}

} // namespace quillet::doc
