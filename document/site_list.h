#pragma once
// The settings file: one line per FTP site, eight quoted fields joined by commas, CP932 bytes.
// The reader accepts more than the writer produces (blanks, unquoted fields, doubled quotes,
// lines ended by CR, CR LF or LF alone), so files edited by hand keep working.
//
// Three more fields follow the eight: the data connection mode ("passive" or "active"), the
// security ("tls": TLS required, or "plain") and the pinned certificate's SHA-256 fingerprint.
// Earlier readers take the first eight fields and drop the rest, so both kinds of line stay
// readable by both. A line of eight fields is a site from before these options: active and
// plain, as it was used; so such a site is written with its eight fields alone, and a file of
// them is written back byte for byte.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::doc {

enum class DataMode { Passive, Active };
enum class Security { TlsRequired, Plain };

struct SiteEntry {
    // The eight fields in file order. All text, the ports too; the program validates none of it.
    std::string title; // shown in the site list
    std::string host;
    std::string port;
    std::string user;
    std::string password; // empty when it is not to be stored
    std::string proxy;
    std::string proxyPort;
    std::string home; // the local home folder
    // The options after them; a new site is passive over TLS.
    DataMode mode = DataMode::Passive;
    Security security = Security::TlsRequired;
    std::string pin{}; // fingerprint of a certificate the author trusts for this site, as written
    bool operator==(const SiteEntry&) const = default;
};

// The fields of one line by the reading rules; any number of them.
std::vector<std::string> splitSiteFields(std::string_view line);

// A whole file: a line with fewer than eight fields gets empty ones, a line without any field
// is no site, and 0x1A ends the text. A line of at most eight fields is active and plain. After
// the eight, a value other than "active" or "plain" (in any case, blanks aside) gives passive and
// TLS required, so a damaged file never sends a password in clear; fields after the eleventh
// are dropped.
std::vector<SiteEntry> parseSiteList(std::string_view text);

// Each site as "f1","f2",...,"f8" CR LF, with ,"mode","security","pin" before the CR LF unless
// the site is active and plain without a pin. A quote inside a value is doubled, which the
// reader takes back as one; CR, LF and 0x1A are left out, since they would end the line or the
// text.
std::string formatSiteList(const std::vector<SiteEntry>& sites);

// No file (or no regular file) at path gives no sites; a file that cannot be read throws.
std::vector<SiteEntry> loadSiteList(const std::string& path);

// Replaces the file atomically, readable by its owner only (it may hold passwords): the list is
// written and synced under a temporary name beside it, then renamed over it. On failure the old
// file stays as it was and the temporary file is removed. A symbolic link is followed and the
// file it names is replaced, beside itself; a file whose mode bits forbid the user to write it
// is refused with EACCES and left alone.
void saveSiteList(const std::string& path, const std::vector<SiteEntry>& sites);

// The file a path names once every symbolic link on its last component is followed; the
// target need not exist. A chain of more than 40 links fails with ELOOP.
std::string followLinks(const std::string& path);

// Whether the mode bits of a file (its owner and group given) forbid this process to write it:
// the bit of the caller's class counts, and for root, who may write anything, any write bit.
bool writeProtected(unsigned mode, unsigned owner, unsigned group);

// The stored site a connection was made to: the first with this name, host, port and user
// (its port field read as portNumber does, with 21 for one that is not a number).
std::optional<std::size_t> findSite(const std::vector<SiteEntry>& sites, std::string_view title,
                                    std::string_view host, int port, std::string_view user);

// A port field as a number: a decimal integer from 0 to 65535, optionally signed; anything else
// gives the fallback.
int portNumber(std::string_view text, int fallback);

} // namespace quillet::doc
