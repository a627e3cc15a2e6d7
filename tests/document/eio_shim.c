/* Preloaded into the I/O-error driver: counts the file calls on paths inside QUILLET_EIO_DIR (and
 * on descriptors opened there) and makes call number QUILLET_EIO_AT fail with EIO, or, with
 * QUILLET_EIO_STICKY set, that call and every one after it. Reports on standard error
 * "eio: injected N <call> <path>" for each injection and "eio: calls=C" at exit. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

enum { kMaxFd = 4096 };
static long calls, failAt;
static int sticky;
static const char* dir;
static size_t dirLength;
static char* watchedFd[kMaxFd]; /* the path each watched descriptor was opened with */

__attribute__((constructor)) static void setUp(void) {
    const char* at = getenv("QUILLET_EIO_AT");
    failAt = at ? atol(at) : 0;
    sticky = getenv("QUILLET_EIO_STICKY") != NULL;
    dir = getenv("QUILLET_EIO_DIR");
    dirLength = dir ? strlen(dir) : 0;
}

__attribute__((destructor)) static void report(void) { dprintf(2, "eio: calls=%ld\n", calls); }

static int watchedPath(const char* path) {
    return dir && path && strncmp(path, dir, dirLength) == 0 &&
           (path[dirLength] == '\0' || path[dirLength] == '/');
}

static const char* watchedFdOf(int fd) { return fd >= 0 && fd < kMaxFd ? watchedFd[fd] : NULL; }

/* Counts one watched call; true when it is to fail. */
static int inject(const char* call, const char* path) {
    ++calls;
    if (failAt <= 0 || (sticky ? calls < failAt : calls != failAt))
        return 0;
    dprintf(2, "eio: injected %ld %s %s\n", calls, call, path ? path : "");
    errno = EIO;
    return 1;
}

static void* next(const char* name) { return dlsym(RTLD_NEXT, name); }

static int openedAt(int dirfd, const char* path, int flags, mode_t mode, const char* name) {
    int (*real)(int, const char*, int, ...) = next(name);
    if (!watchedPath(path))
        return real(dirfd, path, flags, mode);
    if (inject(name, path))
        return -1;
    int fd = real(dirfd, path, flags, mode);
    if (fd >= 0 && fd < kMaxFd) {
        free(watchedFd[fd]);
        watchedFd[fd] = strdup(path);
    }
    return fd;
}

static mode_t modeArgument(int flags, va_list ap) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(ap, int) : 0;
}

#define OPEN_WRAPPER(name)                                                                                   \
    int name(const char* path, int flags, ...) {                                                             \
        va_list ap;                                                                                          \
        va_start(ap, flags);                                                                                 \
        mode_t mode = modeArgument(flags, ap);                                                               \
        va_end(ap);                                                                                          \
        return openedAt(AT_FDCWD, path, flags, mode, "openat");                                              \
    }
#define OPENAT_WRAPPER(name)                                                                                 \
    int name(int dirfd, const char* path, int flags, ...) {                                                  \
        va_list ap;                                                                                          \
        va_start(ap, flags);                                                                                 \
        mode_t mode = modeArgument(flags, ap);                                                               \
        va_end(ap);                                                                                          \
        return openedAt(dirfd, path, flags, mode, #name);                                                    \
    }
OPEN_WRAPPER(open)
OPEN_WRAPPER(open64)
OPENAT_WRAPPER(openat)
OPENAT_WRAPPER(openat64)

ssize_t read(int fd, void* buf, size_t n) {
    ssize_t (*real)(int, void*, size_t) = next("read");
    return watchedFdOf(fd) && inject("read", watchedFdOf(fd)) ? -1 : real(fd, buf, n);
}

ssize_t write(int fd, const void* buf, size_t n) {
    ssize_t (*real)(int, const void*, size_t) = next("write");
    return watchedFdOf(fd) && inject("write", watchedFdOf(fd)) ? -1 : real(fd, buf, n);
}

int fsync(int fd) {
    int (*real)(int) = next("fsync");
    return watchedFdOf(fd) && inject("fsync", watchedFdOf(fd)) ? -1 : real(fd);
}

int fdatasync(int fd) {
    int (*real)(int) = next("fdatasync");
    return watchedFdOf(fd) && inject("fdatasync", watchedFdOf(fd)) ? -1 : real(fd);
}

int close(int fd) {
    int (*real)(int) = next("close");
    char* path = (char*)watchedFdOf(fd);
    if (!path)
        return real(fd);
    watchedFd[fd] = NULL;
    /* Linux frees the descriptor even when close fails: so does the shim. */
    int failed = inject("close", path);
    free(path);
    int rc = real(fd);
    if (failed) {
        errno = EIO;
        return -1;
    }
    return rc;
}

#define TWO_PATH_CALL(call, ...)                                                                             \
    (watchedPath(from) || watchedPath(to)) && inject(#call, watchedPath(from) ? from : to)                   \
        ? -1                                                                                                 \
        : ((int (*)())next(#call))(__VA_ARGS__)

int rename(const char* from, const char* to) { return TWO_PATH_CALL(rename, from, to); }
int renameat(int fromDir, const char* from, int toDir, const char* to) {
    return TWO_PATH_CALL(renameat, fromDir, from, toDir, to);
}
int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    return TWO_PATH_CALL(renameat2, fromDir, from, toDir, to, flags);
}
int link(const char* from, const char* to) { return TWO_PATH_CALL(link, from, to); }
int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    return TWO_PATH_CALL(linkat, fromDir, from, toDir, to, flags);
}

int unlink(const char* path) {
    int (*real)(const char*) = next("unlink");
    return watchedPath(path) && inject("unlink", path) ? -1 : real(path);
}
int unlinkat(int dirfd, const char* path, int flags) {
    int (*real)(int, const char*, int) = next("unlinkat");
    return watchedPath(path) && inject("unlinkat", path) ? -1 : real(dirfd, path, flags);
}
