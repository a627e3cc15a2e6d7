#pragma once
// Small RAII wrappers over POSIX file calls. Every failing call raises FileError with its errno,
// so the window can show the runtime's file-error text for it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillet::doc {

class FileError : public std::runtime_error {
public:
    enum class Step { Open, Create, Read, Write, Sync, Close, Delete, Rename, Link, Stat, Exchange };
    FileError(Step step, int errnum, std::string path);
    Step step() const { return step_; }
    int errnum() const { return errnum_; }
    const std::string& path() const { return path_; }

private:
    Step step_;
    int errnum_;
    std::string path_;
};

// Test seam: consulted before each file call; a non-zero answer is taken as that call's errno.
using FaultHook = std::function<int(FileError::Step, const std::string& path)>;
void setFaultHook(FaultHook hook);

// The errno the hook injects for this step, or 0.
int injectedFault(FileError::Step step, const std::string& path);
// Throws FileError when the hook injects a fault for this step.
void checkFault(FileError::Step step, const std::string& path);

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd();

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    // Closes and reports a failure of close() itself (which can carry a delayed write error).
    void close(const std::string& path);
    void closeQuietly() noexcept;

private:
    int fd_ = -1;
};

class InputFile {
public:
    explicit InputFile(std::string path);
    // Reads up to n bytes; 0 at the end of the file. Retries on EINTR.
    std::size_t read(char* buf, std::size_t n);
    // Reads up to n bytes from `offset` on, fewer only at the end of the file; the position
    // that read() goes on from stays where it was.
    std::size_t readAt(char* buf, std::size_t n, std::uint64_t offset);
    const std::string& path() const { return path_; }
    int fd() const { return fd_.get(); }
    void close() { fd_.close(path_); }

private:
    std::string path_;
    Fd fd_;
};

class OutputFile {
public:
    // Creates or truncates the file. mode is given to open() (the umask applies).
    explicit OutputFile(std::string path, unsigned mode = 0666);
    // Creates the file only when nothing of that name exists, not even a dangling link (O_EXCL,
    // O_NOFOLLOW); never replaces anything, never writes through anything.
    static OutputFile createNew(std::string path, unsigned mode = 0666);
    void write(const char* data, std::size_t n);
    void sync();
    void close() { fd_.close(path_); }
    void closeQuietly() noexcept { fd_.closeQuietly(); }
    void chmodLike(int fromFd);
    void chmod(unsigned mode); // best effort, like chmodLike
    const std::string& path() const { return path_; }
    bool isOpen() const { return fd_.valid(); }
    int fd() const { return fd_.get(); }

private:
    OutputFile(std::string path, unsigned mode, int flags);
    std::string path_;
    Fd fd_;
};

// The size of an open file.
std::uint64_t fileSize(const InputFile& file);

// A regular file exists at path (a folder or nothing gives false).
bool fileExists(const std::string& path);
void removeFile(const std::string& path);
bool removeFileQuietly(const std::string& path) noexcept;
void renameFile(const std::string& from, const std::string& to);
// Flushes a folder's entries to disk, so a rename in it survives a power loss.
void syncFolder(const std::string& folder);

} // namespace quillet::doc
