#include "document/file_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quillet::doc {

namespace {
FaultHook& faultHook() {
    static FaultHook hook;
    return hook;
}

[[noreturn]] void fail(FileError::Step step, const std::string& path, int err = errno) {
    throw FileError(step, err, path);
}
} // namespace

FileError::FileError(Step step, int errnum, std::string path)
    : std::runtime_error(path + ": " + std::strerror(errnum)), step_(step), errnum_(errnum),
      path_(std::move(path)) {}

void setFaultHook(FaultHook hook) { faultHook() = std::move(hook); }

int injectedFault(FileError::Step step, const std::string& path) {
    const auto& hook = faultHook();
    return hook ? hook(step, path) : 0;
}

void checkFault(FileError::Step step, const std::string& path) {
    if (int err = injectedFault(step, path))
        fail(step, path, err);
}

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        closeQuietly();
        fd_ = other.release();
    }
    return *this;
}

Fd::~Fd() { closeQuietly(); }

int Fd::release() { return std::exchange(fd_, -1); }

void Fd::close(const std::string& path) {
    if (fd_ < 0)
        return;
    int fd = release();
    checkFault(FileError::Step::Close, path);
    // Linux releases the descriptor even when close() reports an error: never retry.
    if (::close(fd) != 0 && errno != EINTR)
        fail(FileError::Step::Close, path);
}

void Fd::closeQuietly() noexcept {
    if (fd_ >= 0)
        ::close(release());
}

InputFile::InputFile(std::string path) : path_(std::move(path)) {
    checkFault(FileError::Step::Open, path_);
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail(FileError::Step::Open, path_);
    fd_ = Fd(fd);
}

std::size_t InputFile::read(char* buf, std::size_t n) {
    checkFault(FileError::Step::Read, path_);
    for (;;) {
        ssize_t got = ::read(fd_.get(), buf, n);
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR)
            fail(FileError::Step::Read, path_);
    }
}

std::size_t InputFile::readAt(char* buf, std::size_t n, std::uint64_t offset) {
    checkFault(FileError::Step::Read, path_);
    std::size_t done = 0;
    while (done < n) {
        ssize_t got = ::pread(fd_.get(), buf + done, n - done, static_cast<off_t>(offset + done));
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            fail(FileError::Step::Read, path_);
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

OutputFile::OutputFile(std::string path, unsigned mode) : OutputFile(std::move(path), mode, O_TRUNC) {}

OutputFile OutputFile::createNew(std::string path, unsigned mode) {
    return OutputFile(std::move(path), mode, O_EXCL | O_NOFOLLOW);
}

OutputFile::OutputFile(std::string path, unsigned mode, int flags) : path_(std::move(path)) {
    checkFault(FileError::Step::Create, path_);
    int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | flags | O_CLOEXEC, mode);
    if (fd < 0)
        fail(FileError::Step::Create, path_);
    fd_ = Fd(fd);
}

void OutputFile::write(const char* data, std::size_t n) {
    checkFault(FileError::Step::Write, path_);
    while (n > 0) {
        ssize_t put = ::write(fd_.get(), data, n);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            fail(FileError::Step::Write, path_);
        }
        data += put;
        n -= static_cast<std::size_t>(put);
    }
}

void OutputFile::sync() {
    checkFault(FileError::Step::Sync, path_);
    if (::fsync(fd_.get()) != 0)
        fail(FileError::Step::Sync, path_);
}

void OutputFile::chmodLike(int fromFd) {
    struct stat st {};
    if (::fstat(fromFd, &st) == 0)
        chmod(st.st_mode & 07777);
}

void OutputFile::chmod(unsigned mode) {
    (void)::fchmod(fd_.get(), mode); // best effort: keep the page's permissions
}

std::uint64_t fileSize(const InputFile& file) {
    struct stat st {};
    if (::fstat(file.fd(), &st) != 0)
        fail(FileError::Step::Stat, file.path());
    return static_cast<std::uint64_t>(st.st_size);
}

bool fileExists(const std::string& path) {
    if (path.empty())
        return false;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void removeFile(const std::string& path) {
    checkFault(FileError::Step::Delete, path);
    if (::unlink(path.c_str()) != 0)
        fail(FileError::Step::Delete, path);
}

bool removeFileQuietly(const std::string& path) noexcept { return ::unlink(path.c_str()) == 0; }

void renameFile(const std::string& from, const std::string& to) {
    checkFault(FileError::Step::Rename, from);
    if (::rename(from.c_str(), to.c_str()) != 0)
        fail(FileError::Step::Rename, from);
}

void syncFolder(const std::string& folder) {
    const std::string& dir = folder.empty() ? std::string(".") : folder;
    checkFault(FileError::Step::Sync, dir);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        fail(FileError::Step::Open, dir);
    Fd guard(fd);
    // Some file systems cannot sync a folder; the rename itself has happened.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        fail(FileError::Step::Sync, dir);
}

} // namespace quillet::doc
