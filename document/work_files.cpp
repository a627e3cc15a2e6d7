#include "document/work_files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "document/line_io.h"
#include "document/page_lock.h"
#include "document/page_open.h"
#include "document/paths.h"

namespace quillet::doc {

namespace {
constexpr std::string_view kWorkPrefix = ".quillet-";
constexpr std::size_t kWorkNameSize = kWorkPrefix.size() + 1 + 8;
constexpr int kCreateTries = 8;

bool isHex(std::string_view digits) {
    for (char c : digits)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

bool isWorkName(std::string_view name, WorkName kind) {
    return name.size() == kWorkNameSize && name.starts_with(kWorkPrefix) &&
           name[kWorkPrefix.size()] == static_cast<char>(kind) && isHex(name.substr(kWorkPrefix.size() + 1));
}

// The backup's temporary name as earlier versions made it: "name.BAK." with eight hexadecimal
// digits and "~".
bool isOldBackupName(std::string_view name) {
    constexpr std::string_view bak = ".BAK.";
    return name.size() > bak.size() + 9 && name.back() == '~' &&
           name.substr(name.size() - 14, bak.size()) == bak && isHex(name.substr(name.size() - 9, 8));
}

// The mode a file created by the program gets: 0666 less the umask.
unsigned defaultFileMode() {
    unsigned umask = 022;
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[128];
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "Umask: %o", &umask) == 1)
                break;
        std::fclose(status);
    }
    return 0666 & ~umask;
}

// The work file cannot be made: a folder that stands at its name is reported as such.
[[noreturn]] void failCreate(const std::string& path, int err) {
    struct stat st {};
    if (err == EEXIST && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        err = EISDIR;
    throw FileError(FileError::Step::Create, err, path);
}

OutputFile createReplacing(const std::string& path) {
    for (int tries = 1;; ++tries) {
        // Whatever stands at the name goes as a name; a folder there cannot be removed.
        if (::unlink(path.c_str()) != 0 && errno != ENOENT)
            failCreate(path, errno);
        try {
            return OutputFile::createNew(path, 0600);
        } catch (const FileError& e) {
            if (e.errnum() != EEXIST || tries == kCreateTries)
                failCreate(path, e.errnum());
        }
    }
}

OutputFile createUnique(const std::string& folder, WorkName kind) {
    for (int tries = 1;; ++tries) {
        try {
            return OutputFile::createNew(uniqueWorkName(folder, kind), 0600);
        } catch (const FileError& e) {
            if (e.errnum() != EEXIST || tries == kCreateTries)
                throw;
        }
    }
}

// A received file a killed download left: one that a running download holds is no leftover.
void removeUnheldReceived(int dirFd, const char* name) {
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (S_ISREG(st.st_mode)) {
        const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return;
        Fd guard(fd);
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || opened.st_ino != st.st_ino || opened.st_dev != st.st_dev ||
            ::flock(fd, LOCK_EX | LOCK_NB) != 0)
            return;
    }
    (void)::unlinkat(dirFd, name, 0);
}

bool linkUnsupported(int err) {
    return err == EPERM || err == EXDEV || err == ENOTSUP || err == EOPNOTSUPP || err == EMLINK ||
           err == ENOSYS;
}

// Where the file system has no hard links, the backup is a synced copy made under a new name.
std::string copyForBackup(const std::string& page, const std::string& folder) {
    InputFile in(page);
    OutputFile copy = createUnique(folder, WorkName::Backup);
    try {
        copy.chmodLike(in.fd());
        std::vector<char> buf(LineReader::kBufferSize);
        while (std::size_t n = in.read(buf.data(), buf.size()))
            copy.write(buf.data(), n);
        in.close();
        copy.sync();
        copy.close();
    } catch (...) {
        copy.closeQuietly();
        removeFileQuietly(copy.path());
        throw;
    }
    return copy.path();
}

// Makes `backup` a copy of `page` as it is now, atomically: a hard link under a new short name
// renamed over `backup`, or a synced copy where the file system has no hard links.
void backUpPage(const std::string& page, const std::string& backup) {
    const std::string folder = folderOf(backup);
    std::string temp;
    int err = injectedFault(FileError::Step::Link, page);
    for (int tries = 1; err == 0; ++tries) {
        temp = uniqueWorkName(folder, WorkName::Backup);
        if (::link(page.c_str(), temp.c_str()) == 0)
            break;
        err = errno;
        if (err == EEXIST && tries < kCreateTries)
            err = 0;
    }
    if (err != 0) {
        if (!linkUnsupported(err))
            throw FileError(FileError::Step::Link, err, page);
        temp = copyForBackup(page, folder);
    }
    try {
        renameFile(temp, backup);
    } catch (...) {
        removeFileQuietly(temp);
        throw;
    }
}
} // namespace

std::string resolvePage(const std::string& page) {
    std::string resolved = page;
    struct stat st {};
    if (::lstat(page.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(page.c_str(), nullptr)) {
            resolved = real;
            std::free(real);
        }
    }
    if (tmpFileOf(resolved) == resolved || bakFileOf(resolved) == resolved)
        throw PageNameError(page);
    return resolved;
}

std::string uniqueWorkName(const std::string& folder, WorkName kind) {
    char name[32];
    std::snprintf(name, sizeof name, "%.*s%c%08x", static_cast<int>(kWorkPrefix.size()), kWorkPrefix.data(),
                  static_cast<char>(kind), static_cast<unsigned>(std::random_device{}()));
    return folder + name;
}

void removeLeftovers(const std::string& folder) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (isWorkName(name, WorkName::Backup) || isOldBackupName(name))
            (void)::unlinkat(dirFd, entry->d_name, 0);
        else if (isWorkName(name, WorkName::Received))
            removeUnheldReceived(dirFd, entry->d_name);
    }
    ::closedir(dir);
}

WorkFile::WorkFile(std::string path) : file_(createReplacing(path)) {}

WorkFile::WorkFile(const std::string& folder, WorkName kind) : file_(createUnique(folder, kind)) {}

WorkFile::~WorkFile() {
    if (!installed_) {
        file_.closeQuietly();
        removeFileQuietly(file_.path());
    }
}

void WorkFile::install(PageLock& lock, const std::string& page, Backup backup) {
    struct stat st {};
    const bool pageThere = ::stat(page.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    file_.chmod(pageThere ? st.st_mode & 07777 : defaultFileMode());
    file_.sync();
    file_.close();
    if (pageThere && backup == Backup::Keep)
        backUpPage(page, bakFileOf(page));
    renameFile(file_.path(), page);
    installed_ = true;
    removeLeftovers(folderOf(page));
    lock.syncFolder();
}

namespace {
std::string realTarget(const std::string& target, Backup backup) {
    if (backup == Backup::Keep)
        return resolvePage(target);
    char* real = ::realpath(target.c_str(), nullptr);
    if (!real)
        return target;
    std::string resolved = real;
    std::free(real);
    return resolved;
}
} // namespace

ReceivedFile::ReceivedFile(const std::string& target, Backup backup)
    : shownAs_(target), target_(realTarget(target, backup)), backup_(backup) {
    PageLock lock(target_, shownAs_);
    removeLeftovers(folderOf(target_));
    file_.emplace(folderOf(target_), WorkName::Received);
    (void)::flock(file_->out().fd(), LOCK_EX | LOCK_NB); // new: nobody else holds it
}

bool ReceivedFile::losesInsertionLine() const {
    return fileExists(target_) && pageHasInsertionLine(target_) && !pageHasInsertionLine(path());
}

void ReceivedFile::install() {
    PageLock lock(target_, shownAs_);
    file_->install(lock, target_, backup_);
}

} // namespace quillet::doc
