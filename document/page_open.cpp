#include "document/page_open.h"

#include <cerrno>
#include <optional>
#include <sys/stat.h>

#include "document/file_io.h"
#include "document/line_io.h"
#include "document/markers.h"
#include "document/page_rewrite.h"
#include "document/paths.h"

namespace quillet::doc {

namespace {
constexpr std::string_view kCrLf = "\r\n";

std::string readWhole(InputFile& in) {
    std::string bytes;
    std::vector<char> buf(LineReader::kBufferSize);
    while (std::size_t n = in.read(buf.data(), buf.size()))
        bytes.append(buf.data(), n);
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

bool pageHasInsertionMarker(const std::string& pagePath) {
    InputFile file(pagePath);
    FileSource source(file);
    LineReader reader(source);
    std::string line;
    bool found = false;
    while (!found && reader.readLine(line))
        found = marker::OpenPage(line);
    file.close();
    return found;
}

void createNewPage(const std::string& pagePath, const PageColors& colors) {
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
    for (const auto& line : newPageTemplate(colors))
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
        const std::size_t stop = b.find_first_of("\r\n", start);
        if (stop == std::string::npos) {
            list.items_.push_back({b.substr(start), {}, false});
            break;
        }
        const std::size_t endLength =
            (b[stop] == '\r' && stop + 1 < b.size() && b[stop + 1] == '\n') ? 2 : 1;
        list.items_.push_back({b.substr(start, stop - start), b.substr(stop, endLength), false});
        start = stop + endLength;
    }
    return list;
}

bool InsertionList::toggle(std::size_t index) {
    if (index >= items_.size())
        return false;
    if (marker::InsertionPoint(items_[index].text)) {
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
        return true;
    }
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index) + 1,
                  Item{std::string(kInsMarker), std::string(kCrLf), true});
    return false;
}

bool InsertionList::hasMarker() const {
    for (const auto& item : items_)
        if (marker::InsertionPoint(item.text))
            return true;
    return false;
}

std::string InsertionList::bytes() const {
    std::string out;
    out.reserve(original_.size() + 64);
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const Item& item = items_[i];
        out += item.text;
        const bool beforeAdded = i + 1 < items_.size() && items_[i + 1].added;
        // A LF alone does not end a line for the rewrites: the marker would not stand alone.
        if (beforeAdded && item.end.find('\r') == std::string::npos)
            out += kCrLf;
        else
            out += item.end;
    }
    return out;
}

InsertionList loadInsertionList(const std::string& pagePath) {
    InputFile in(resolvePage(pagePath)); // a page named like its work file is refused here
    std::string bytes = readWhole(in);
    in.close();
    return InsertionList::fromBytes(std::move(bytes));
}

SaveListOutcome saveInsertionList(const std::string& path, const InsertionList& list) {
    // The work file lies beside the file a link names, and never is the page itself.
    const std::string pagePath = resolvePage(path);
    InputFile page(pagePath);
    if (readWhole(page) != list.original())
        return SaveListOutcome::PageChanged;
    const std::string bytes = list.bytes();
    if (bytes == list.original())
        return SaveListOutcome::Unchanged;
    const std::string tmp = tmpFileOf(pagePath);
    RemoveUnlessKept cleanup{tmp};
    OutputFile out(tmp);
    out.chmodLike(page.fd());
    page.close();
    out.write(bytes.data(), bytes.size());
    out.close();
    installPage(pagePath, tmp);
    cleanup.keep = true;
    return SaveListOutcome::Saved;
}

} // namespace quillet::doc
