#pragma once
// One rewrite of a page at a time, across processes. The lock is an flock on the page's real
// folder, which no rename of the page replaces; it is taken before the page is opened and held
// until the folder is synced. Every page in a folder shares it: rewrites are short.

#include <chrono>
#include <stdexcept>
#include <string>

#include "document/file_io.h"

namespace quillet::doc {

// Another process held the page's lock for longer than a writer waits.
class PageBusyError : public std::runtime_error {
public:
    explicit PageBusyError(std::string page)
        : std::runtime_error(page + ": another process is rewriting this page; nothing was changed"),
          page_(std::move(page)) {}
    const std::string& page() const { return page_; }

private:
    std::string page_;
};

// How long a writer waits for a page another process is rewriting (5 s unless set).
void setPageLockWait(std::chrono::milliseconds wait);

class PageLock {
public:
    // Locks the folder of `page` (a resolved path); `shownAs` names the page in a PageBusyError.
    PageLock(const std::string& page, const std::string& shownAs);
    PageLock(const PageLock&) = delete;
    PageLock& operator=(const PageLock&) = delete;
    // Flushes the folder's entries to disk through the locked folder.
    void syncFolder();
    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
    Fd fd_;
};

} // namespace quillet::doc
