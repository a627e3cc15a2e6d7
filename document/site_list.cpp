#include "document/site_list.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "document/file_io.h"
#include "document/paths.h"

namespace quillet::doc {

namespace {
constexpr std::size_t kFieldCount = 8;
constexpr std::array<std::string SiteEntry::*, kFieldCount> kFields = {
    &SiteEntry::title,    &SiteEntry::host,  &SiteEntry::port,      &SiteEntry::user,
    &SiteEntry::password, &SiteEntry::proxy, &SiteEntry::proxyPort, &SiteEntry::home};

constexpr char kEndOfText = '\x1a';

// The words of the fields after the eight.
constexpr std::string_view kPassive = "passive";
constexpr std::string_view kActive = "active";
constexpr std::string_view kTls = "tls";
constexpr std::string_view kPlain = "plain";

// Bytes 1 to 32. A CP932 trail byte is at least 0x40, so scanning byte by byte never takes the
// second half of a double-byte character for a blank, a comma or a quote.
bool isBlank(char c) { return c >= 1 && c <= ' '; }

void skipBlanks(std::string_view line, std::size_t& i) {
    while (i < line.size() && isBlank(line[i]))
        ++i;
}

// A field as a word to compare: lower case, without the blanks around it.
std::string keyword(std::string_view field) {
    while (!field.empty() && isBlank(field.front()))
        field.remove_prefix(1);
    while (!field.empty() && isBlank(field.back()))
        field.remove_suffix(1);
    std::string word(field);
    for (char& c : word)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return word;
}

std::string quotedField(std::string_view line, std::size_t& i) {
    std::string field;
    ++i; // the opening quote
    while (i < line.size()) {
        const char c = line[i++];
        if (c != '"') {
            field += c;
        } else if (i < line.size() && line[i] == '"') {
            field += '"';
            ++i;
        } else {
            break;
        }
    }
    return field; // an unclosed quote runs to the end of the line
}
} // namespace

std::vector<std::string> splitSiteFields(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t i = 0;
    skipBlanks(line, i);
    while (i < line.size()) {
        if (line[i] == '"') {
            fields.push_back(quotedField(line, i));
        } else {
            const std::size_t start = i;
            while (i < line.size() && line[i] != ',' && !isBlank(line[i]))
                ++i;
            fields.emplace_back(line.substr(start, i - start));
        }
        skipBlanks(line, i);
        if (i < line.size() && line[i] == ',') {
            ++i;
            skipBlanks(line, i);
        }
    }
    return fields;
}

std::vector<SiteEntry> parseSiteList(std::string_view text) {
    text = text.substr(0, text.find(kEndOfText));
    std::vector<SiteEntry> sites;
    std::size_t pos = 0;
    while (pos < text.size()) {
        // A line ends at CR, CR LF or LF.
        const std::size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
        const std::vector<std::string> fields = splitSiteFields(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size() && text[pos++] == '\r' && pos < text.size() && text[pos] == '\n')
            ++pos;
        if (fields.empty())
            continue;
        SiteEntry& site = sites.emplace_back();
        for (std::size_t f = 0; f < kFieldCount && f < fields.size(); ++f)
            site.*kFields[f] = fields[f];
        if (fields.size() <= kFieldCount) {
            site.mode = DataMode::Active;
            site.security = Security::Plain;
            continue;
        }
        if (keyword(fields[kFieldCount]) == kActive)
            site.mode = DataMode::Active;
        if (fields.size() > kFieldCount + 1 && keyword(fields[kFieldCount + 1]) == kPlain)
            site.security = Security::Plain;
        if (fields.size() > kFieldCount + 2)
            site.pin = fields[kFieldCount + 2];
    }
    return sites;
}

std::string formatSiteList(const std::vector<SiteEntry>& sites) {
    std::string text;
    auto field = [&text](std::string_view value) {
        text += '"';
        for (char c : value) {
            if (c == '\r' || c == '\n' || c == kEndOfText)
                continue;
            if (c == '"')
                text += '"';
            text += c;
        }
        text += '"';
    };
    for (const SiteEntry& site : sites) {
        for (std::size_t f = 0; f < kFieldCount; ++f) {
            if (f > 0)
                text += ',';
            field(site.*kFields[f]);
        }
        if (site.mode != DataMode::Active || site.security != Security::Plain || !site.pin.empty()) {
            text += ',';
            field(site.mode == DataMode::Active ? kActive : kPassive);
            text += ',';
            field(site.security == Security::Plain ? kPlain : kTls);
            text += ',';
            field(site.pin);
        }
        text += "\r\n";
    }
    return text;
}

std::vector<SiteEntry> loadSiteList(const std::string& path) {
    if (!fileExists(path))
        return {};
    InputFile file(path);
    std::string text;
    char buf[16 * 1024];
    while (std::size_t got = file.read(buf, sizeof buf))
        text.append(buf, got);
    file.close();
    return parseSiteList(text);
}

std::string followLinks(const std::string& path) {
    std::string at = path;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return at;
        if (hops == 40)
            throw FileError(FileError::Step::Open, ELOOP, path);
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(at.c_str(), target.data(), target.size());
        if (n < 0)
            throw FileError(FileError::Step::Open, errno, at);
        target.resize(static_cast<std::size_t>(n));
        at = target.starts_with('/') ? target : folderOf(at) + target;
    }
}

bool writeProtected(unsigned mode, unsigned owner, unsigned group) {
    const uid_t me = ::geteuid();
    // The kernel lets root write anything; a file that no one may write is still meant to stay.
    if (me == 0)
        return (mode & 0222) == 0;
    if (owner == me)
        return (mode & S_IWUSR) == 0;
    bool member = group == ::getegid();
    if (!member) {
        const int n = ::getgroups(0, nullptr);
        std::vector<gid_t> groups(static_cast<std::size_t>(std::max(n, 0)));
        if (n > 0 && ::getgroups(n, groups.data()) == n)
            member = std::find(groups.begin(), groups.end(), group) != groups.end();
    }
    return (mode & (member ? S_IWGRP : S_IWOTH)) == 0;
}

void saveSiteList(const std::string& path, const std::vector<SiteEntry>& sites) {
    // A link stays a link: the file it names is the settings file.
    const std::string file = followLinks(path);
    // The new list is renamed over the old file, which needs only the folder's permission; a
    // file the user has made read-only would be replaced without a word.
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && writeProtected(st.st_mode, st.st_uid, st.st_gid))
        throw FileError(FileError::Step::Open, EACCES, file);
    // A name of its own (mode 0600 from the start), so two programs saving at once cannot
    // write into each other's file.
    std::string tmp = file + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        throw FileError(FileError::Step::Create, errno, tmp);
    ::close(fd);
    try {
        OutputFile out(tmp, 0600);
        const std::string text = formatSiteList(sites);
        out.write(text.data(), text.size());
        out.sync();
        out.close();
        renameFile(tmp, file);
    } catch (...) {
        removeFileQuietly(tmp);
        throw;
    }
    syncFolder(folderOf(file));
}

std::optional<std::size_t> findSite(const std::vector<SiteEntry>& sites, std::string_view title,
                                    std::string_view host, int port, std::string_view user) {
    for (std::size_t i = 0; i < sites.size(); ++i) {
        const SiteEntry& site = sites[i];
        if (site.title == title && site.host == host && portNumber(site.port, 21) == port &&
            site.user == user)
            return i;
    }
    return std::nullopt;
}

int portNumber(std::string_view text, int fallback) {
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    int value = 0;
    const auto [end, err] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || err != std::errc() || end != text.data() + text.size() || value < 0 || value > 65535)
        return fallback;
    return value;
}

} // namespace quillet::doc
