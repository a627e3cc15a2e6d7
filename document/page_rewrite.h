#pragma once
// One rewrite of the page: the old page P is read line by line, the new page is written into the
// work file T beside it, and commit() puts T in place while P's previous text becomes the backup
// B. The page never goes missing: T is written and synced first, B becomes a second name of the
// current P, and then T is renamed over P in one atomic step.

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "document/file_io.h"
#include "document/line_io.h"

namespace quillet::doc {

// A page whose own name is one of its work files (".TMP", ".BAK"): rewriting it would destroy it.
class PageNameError : public std::runtime_error {
public:
    explicit PageNameError(const std::string& page)
        : std::runtime_error(page + ": the page's name is one of its work files") {}
};

// The page a command works on. A symbolic link is followed, so the file it names is rewritten
// (the link stays a link) and the work files lie beside that file.
std::string resolvePage(const std::string& page);

class PageRewrite {
public:
    // Opens P for reading and creates T (replacing a T left from before).
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

    const std::string& pagePath() const { return page_; }
    const std::string& tmpPath() const { return tmp_; }
    const std::string& bakPath() const { return bak_; }

private:
    std::string page_, tmp_, bak_;
    InputFile pageFile_;
    OutputFile tmpFile_;
    FileSource source_;
    FileSink sink_;
    LineReader reader_;
    LineWriter writer_;
    std::string line_;
    bool committed_ = false;
};

// Makes `backup` a copy of `page` as it is now, atomically: a hard link under a temporary name
// renamed over `backup`, or a synced copy where the file system has no hard links.
void backUpPage(const std::string& page, const std::string& backup);

// Makes a complete file the page the way a rewrite does: the page as it was (if there is one)
// becomes the backup, and the file is renamed over the page in one step.
void installPage(const std::string& page, const std::string& replacement);

// Exchanges two files' names in one step where the file system can; otherwise with three
// renames through a temporary name. Returns true when the exchange was atomic.
bool exchangeFiles(const std::string& a, const std::string& b);

} // namespace quillet::doc
