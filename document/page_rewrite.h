#pragma once
// One rewrite of the page: the old page P is read line by line, the new page is written into the
// work file T beside it, and commit() puts T in place while P's previous text becomes the backup
// B. The page never goes missing: T is written and synced first, B becomes a second name of the
// current P, and then T is renamed over P in one atomic step. The page's lock is held from before
// P is opened until the folder is synced. A page whose encoding Quillet cannot write into is
// refused before anything is written.

#include <string>

#include "document/file_io.h"
#include "document/line_io.h"
#include "document/page_encoding.h"
#include "document/page_lock.h"
#include "document/work_files.h"

namespace quillet::doc {

class PageRewrite {
public:
    // Locks the page, opens P for reading, reads its encoding and creates T anew (whatever stood
    // at its name goes). Throws PageBusyError when another process is rewriting the page, and
    // EncodingRefusedError, with nothing written, when its encoding cannot be served.
    explicit PageRewrite(std::string pagePath);
    ~PageRewrite(); // an uncommitted rewrite closes its files and removes T, quietly
    PageRewrite(const PageRewrite&) = delete;
    PageRewrite& operator=(const PageRewrite&) = delete;

    LineReader& in() { return reader_; }
    LineWriter& out() { return writer_; }
    std::string& line() { return line_; } // the line buffer shared by the copy steps

    // Reads P's lines into T up to and including the first line equal to the insertion marker.
    bool CopyThroughMarker();
    // Copies every remaining line of P into T.
    void CopyRest();
    // Reads P's lines without writing them until one passes `isEnd`; false if none did.
    bool skipThrough(const MarkerTest& isEnd) { return reader_.readThrough(isEnd); }

    void commit();

    // What the page declares, read under the lock: what goes into the page is in this encoding.
    const PageEncoding& encoding() const { return encoding_; }
    const std::string& pagePath() const { return page_; }
    const std::string& tmpPath() const { return tmp_; }
    const std::string& bakPath() const { return bak_; }

private:
    std::string page_, tmp_, bak_;
    PageLock lock_;
    InputFile pageFile_;
    PageEncoding encoding_;
    WorkFile tmpFile_;
    FileSource source_;
    FileSink sink_;
    LineReader reader_;
    LineWriter writer_;
    std::string line_;
};

// Exchanges two files' names in one step where the file system can; otherwise with three
// renames through a temporary name. Returns true when the exchange was atomic.
bool exchangeFiles(const std::string& a, const std::string& b);

} // namespace quillet::doc
