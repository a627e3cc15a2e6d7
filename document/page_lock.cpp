#include "document/page_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

#include "document/paths.h"

namespace quillet::doc {

namespace {
std::chrono::milliseconds& lockWait() {
    static std::chrono::milliseconds wait{5000};
    return wait;
}

// A file system that cannot lock a folder still lets its pages be written (NFS, which takes an
// flock for a byte-range lock, refuses one on a folder with EBADF).
bool lockingUnsupported(int err) {
    return err == ENOLCK || err == EOPNOTSUPP || err == ENOSYS || err == EINVAL || err == EBADF;
}
} // namespace

void setPageLockWait(std::chrono::milliseconds wait) { lockWait() = wait; }

PageLock::PageLock(const std::string& page, const std::string& shownAs) {
    const std::string folder = folderOf(page);
    folder_ = folder.empty() ? std::string(".") : folder;
    checkFault(FileError::Step::Open, folder_);
    const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw FileError(FileError::Step::Open, errno, folder_);
    fd_ = Fd(fd);
    const auto deadline = std::chrono::steady_clock::now() + lockWait();
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 || lockingUnsupported(errno))
            return;
        if (errno != EWOULDBLOCK && errno != EINTR)
            throw FileError(FileError::Step::Open, errno, folder_);
        if (std::chrono::steady_clock::now() >= deadline)
            throw PageBusyError(shownAs);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void PageLock::syncFolder() {
    checkFault(FileError::Step::Sync, folder_);
    // Some file systems cannot sync a folder; the rename itself has happened.
    if (::fsync(fd_.get()) != 0 && errno != EINVAL && errno != EROFS)
        throw FileError(FileError::Step::Sync, errno, folder_);
}

} // namespace quillet::doc
