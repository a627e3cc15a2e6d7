#include "document/page_rewrite.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <stdio.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "document/markers.h"
#include "document/paths.h"

namespace quillet::doc {

namespace {
constexpr std::size_t kSiblingSuffix = 10; // ".%08x~"

std::string uniqueSibling(const std::string& path) {
    static std::mt19937_64 rng{std::random_device{}()};
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08llx~", static_cast<unsigned long long>(rng() & 0xFFFFFFFFu));
    return path + suffix;
}

bool isSiblingOf(std::string_view name, std::string_view base) {
    if (name.size() != base.size() + kSiblingSuffix || !name.starts_with(base) || name.back() != '~' ||
        name[base.size()] != '.')
        return false;
    for (char c : name.substr(base.size() + 1, 8))
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// A process killed between linking the backup's temporary name and renaming it leaves that name
// behind, and every such kill would add one more old copy of the page to the author's folder.
void removeStaleSiblings(const std::string& path) {
    const std::string folder = folderOf(path), base = fileNameOf(path);
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir))
        if (isSiblingOf(entry->d_name, base))
            removeFileQuietly(folder + entry->d_name);
    ::closedir(dir);
}

void copyFileSynced(const std::string& from, const std::string& to) {
    InputFile in(from);
    OutputFile out(to);
    out.chmodLike(in.fd());
    std::vector<char> buf(LineReader::kBufferSize);
    while (std::size_t n = in.read(buf.data(), buf.size()))
        out.write(buf.data(), n);
    out.sync();
    out.close();
    in.close();
}

bool linkUnsupported(int err) {
    return err == EPERM || err == EXDEV || err == ENOTSUP || err == EOPNOTSUPP || err == EMLINK ||
           err == ENOSYS;
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

PageRewrite::PageRewrite(std::string pagePath)
    : page_(resolvePage(pagePath)), tmp_(tmpFileOf(page_)), bak_(bakFileOf(page_)), pageFile_(page_),
      tmpFile_(tmp_), source_(pageFile_), sink_(tmpFile_), reader_(source_), writer_(sink_) {
    tmpFile_.chmodLike(pageFile_.fd());
}

PageRewrite::~PageRewrite() {
    if (!committed_) {
        tmpFile_.closeQuietly();
        removeFileQuietly(tmp_);
    }
}

bool PageRewrite::CopyThroughMarker() {
    // The head's lines pass through without being held: any of them may be as long as the page.
    const bool found = reader_.readThrough(marker::Insertion, &writer_);
    line_ = found ? kInsMarker : std::string_view();
    return found;
}

void PageRewrite::CopyRest() { reader_.copyRestTo(writer_); }

void PageRewrite::commit() {
    writer_.flush();
    tmpFile_.sync();
    tmpFile_.close();
    pageFile_.close();
    backUpPage(page_, bak_);
    renameFile(tmp_, page_);
    committed_ = true;
    syncFolder(folderOf(page_));
}

void installPage(const std::string& pagePath, const std::string& replacement) {
    const std::string page = resolvePage(pagePath);
    syncFile(replacement);
    struct stat st {};
    if (::stat(page.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        (void)::chmod(replacement.c_str(), st.st_mode & 07777); // the page keeps its permissions
        backUpPage(page, bakFileOf(page));
    }
    renameFile(replacement, page);
    syncFolder(folderOf(page));
}

void backUpPage(const std::string& page, const std::string& backup) {
    std::string temp = uniqueSibling(backup);
    int err = injectedFault(FileError::Step::Link, page);
    if (err == 0 && ::link(page.c_str(), temp.c_str()) != 0)
        err = errno;
    if (err != 0) {
        if (!linkUnsupported(err))
            throw FileError(FileError::Step::Link, err, page);
        try {
            copyFileSynced(page, temp);
        } catch (...) {
            removeFileQuietly(temp);
            throw;
        }
    }
    try {
        renameFile(temp, backup);
    } catch (...) {
        removeFileQuietly(temp);
        throw;
    }
    removeStaleSiblings(backup);
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
    std::string temp = uniqueSibling(a);
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
