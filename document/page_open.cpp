#include "document/page_open.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <sys/stat.h>

#include "document/file_io.h"
#include "document/line_io.h"
#include "document/markers.h"
#include "document/page_lock.h"
#include "document/paths.h"
#include "document/work_files.h"

namespace quillet::doc {

namespace {
constexpr std::string_view kCrLf = "\r\n";

// The file's bytes, or at most `limit` + 1 of them: a file that grows while it is read is
// still read within bounds, and the caller sees that it went beyond.
std::string readUpTo(InputFile& in, std::uint64_t limit) {
    std::string bytes;
    std::vector<char> buf(LineReader::kBufferSize);
    while (bytes.size() <= limit) {
        const std::size_t n = in.read(buf.data(), buf.size());
        if (n == 0)
            break;
        bytes.append(buf.data(), n);
    }
    return bytes;
}

// Removes a file this command made, when what follows its creation fails.
struct RemoveUnlessKept {
    const std::string& path;
    bool keep = false;
    ~RemoveUnlessKept() {
        if (!keep)
            removeFileQuietly(path);
    }
};
} // namespace

bool pageHasInsertionLine(const std::string& pagePath) {
    InputFile file(pagePath);
    FileSource source(file);
    LineReader reader(source);
    const bool found = reader.readThrough(marker::Insertion); // holds no line, however long
    file.close();
    return found;
}

void createNewPage(const std::string& pagePath, const PageColors& colors, NewPageCharset charset) {
    resolvePage(pagePath); // a page named like its work file could never be written to
    std::optional<OutputFile> out;
    try {
        out.emplace(OutputFile::createNew(pagePath));
    } catch (const FileError& e) {
        struct stat st {};
        if (e.errnum() == EEXIST && ::stat(pagePath.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            throw FileError(FileError::Step::Create, EISDIR, pagePath);
        throw;
    }
    RemoveUnlessKept cleanup{pagePath};
    std::string bytes;
    for (const auto& line : newPageTemplate(colors, charset))
        bytes.append(line).append(kCrLf);
    out->write(bytes.data(), bytes.size());
    out->sync();
    out->close();
    cleanup.keep = true;
    syncFolder(folderOf(pagePath));
}

InsertionList InsertionList::fromBytes(std::string bytes) {
    InsertionList list;
    list.original_ = std::move(bytes);
    const std::string& b = list.original_;
    std::size_t start = 0;
    while (start < b.size()) {
        if (list.items_.size() == kMaxListLines)
            throw ListTooLargeError("");
        const std::size_t stop = std::min(b.find_first_of("\r\n", start), b.size());
        list.items_.push_back(b.substr(start, stop - start));
        const bool crLf = stop + 1 < b.size() && b[stop] == '\r' && b[stop + 1] == '\n';
        start = stop + (crLf ? 2 : 1);
    }
    return list;
}

bool InsertionList::toggle(std::size_t index) {
    if (index >= items_.size())
        return false;
    const auto at = items_.begin() + static_cast<std::ptrdiff_t>(index);
    if (marker::InsertionPoint(*at)) {
        items_.erase(at);
        return true;
    }
    items_.insert(at + 1, std::string(kInsMarker));
    return false;
}

bool InsertionList::hasMarker() const {
    return std::any_of(items_.begin(), items_.end(), marker::InsertionPoint);
}

std::string InsertionList::bytes() const {
    std::string out;
    out.reserve(original_.size() + items_.size() + 64);
    for (const auto& item : items_)
        out.append(item).append(kCrLf);
    return out;
}

InsertionList loadInsertionList(const std::string& pagePath) {
    InputFile in(resolvePage(pagePath)); // a page named like its work file is refused here
    if (fileSize(in) > kMaxListBytes)
        throw ListTooLargeError(pagePath);
    std::string bytes = readUpTo(in, kMaxListBytes);
    in.close();
    if (bytes.size() > kMaxListBytes)
        throw ListTooLargeError(pagePath);
    try {
        return InsertionList::fromBytes(std::move(bytes));
    } catch (const ListTooLargeError&) {
        throw ListTooLargeError(pagePath);
    }
}

SaveListOutcome saveInsertionList(const std::string& path, const InsertionList& list) {
    // The work file lies beside the file a link names, and never is the page itself.
    const std::string pagePath = resolvePage(path);
    PageLock lock(pagePath, path);
    InputFile page(pagePath);
    if (readUpTo(page, list.original().size()) != list.original()) {
        page.close();
        return SaveListOutcome::PageChanged;
    }
    const std::string bytes = list.bytes();
    if (bytes == list.original()) {
        page.close();
        return SaveListOutcome::Unchanged;
    }
    WorkFile tmp(tmpFileOf(pagePath));
    page.close();
    tmp.out().write(bytes.data(), bytes.size());
    tmp.install(lock, pagePath, Backup::Keep);
    return SaveListOutcome::Saved;
}

} // namespace quillet::doc
