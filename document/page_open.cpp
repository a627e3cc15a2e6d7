#include "document/page_open.h"

#include <cerrno>
#include <optional>
#include <sys/stat.h>

#include "document/file_io.h"
#include "document/line_io.h"
#include "document/markers.h"
#include "document/paths.h"
#include "document/work_files.h"

namespace quillet::doc {

namespace {
constexpr std::string_view kCrLf = "\r\n";

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

} // namespace quillet::doc
