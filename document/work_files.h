#pragma once
// Work files beside a page: the new page of a rewrite (name.TMP), a download being received, and
// the temporary name under which the backup is made. Each is created new and exclusively, mode
// 0600 until it becomes the page: whatever stood at its name (a leftover of a crash, a link,
// another user's file) is removed as a name and never opened or followed. Names other than
// name.TMP and name.BAK are a few characters long, so every page name the file system accepts
// can be rewritten.

#include <optional>
#include <stdexcept>
#include <string>

#include "document/file_io.h"

namespace quillet::doc {

class PageLock;

// A page whose own name is one of its work files (".TMP", ".BAK"): rewriting it would destroy it.
class PageNameError : public std::runtime_error {
public:
    explicit PageNameError(const std::string& page)
        : std::runtime_error(page + ": the page's name is one of its work files") {}
};

// The page a command works on. A symbolic link is followed, so the file it names is rewritten
// (the link stays a link) and the work files lie beside that file.
std::string resolvePage(const std::string& page);

// The short work names, ".quillet-" with a letter for their use and eight hexadecimal digits.
enum class WorkName : char { Backup = 'b', Received = 'r', Exchange = 'x' };
std::string uniqueWorkName(const std::string& folder, WorkName kind);

// Removes what killed runs left in a folder whose lock the caller holds: backup names, and
// received files that no running download holds any more. Names that may hold the only copy of
// a page (an exchange that was cut short) stay.
void removeLeftovers(const std::string& folder);

enum class Backup { Keep, None };

class WorkFile {
public:
    // At a fixed name (the page's name.TMP): whatever stands there is removed first.
    explicit WorkFile(std::string path);
    // Under a new short name in the folder.
    WorkFile(const std::string& folder, WorkName kind);
    ~WorkFile(); // unless installed: closed and removed, quietly
    WorkFile(const WorkFile&) = delete;
    WorkFile& operator=(const WorkFile&) = delete;

    OutputFile& out() { return file_; }
    const std::string& path() const { return file_.path(); }

    // Makes this complete file `page`, whose lock the caller holds: it gets the page's mode, is
    // synced and closed; with Backup::Keep the page as it is becomes name.BAK; then it is renamed
    // over the page in one step and the folder is synced. The one way any page is replaced.
    void install(PageLock& lock, const std::string& page, Backup backup);

private:
    OutputFile file_;
    bool installed_ = false;
};

// A download being received beside the real file of `target` (a link is followed). It is
// created under the target's lock, with the leftovers of killed downloads removed, and is held
// (flock) while it is received, so that no other download takes it for a leftover.
class ReceivedFile {
public:
    // Backup::Keep is for a page: names that are its own work files are refused.
    ReceivedFile(const std::string& target, Backup backup);
    OutputFile& out() { return file_->out(); }
    const std::string& path() const { return file_->path(); }
    const std::string& target() const { return target_; }
    // The target has a line that is the insertion marker and the received copy has none.
    bool losesInsertionLine() const;
    // Installs the complete download under the target's lock; only now is the backup touched.
    void install();

private:
    std::string shownAs_, target_;
    Backup backup_;
    std::optional<WorkFile> file_;
};

} // namespace quillet::doc
