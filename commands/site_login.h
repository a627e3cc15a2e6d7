#pragma once
// A stored site as the FTP client connects to it, and the connect both front ends make.

#include <QString>
#include <string>

#include "document/site_list.h"

namespace quillet::net {
class TNMFTP;
}

namespace quillet::commands {

// What Connect copies into the FTP client.
struct LoginTarget {
    std::string title;                // the site's name, which finds it in the settings file
    std::string host, user, password; // CP932
    int port = 21;                    // 21 when the field is not a port number
    std::string proxy;                // empty and 0 unless a proxy is given,
    int proxyPort = 0;                // so an earlier proxied connect leaves nothing behind
    doc::DataMode mode = doc::DataMode::Passive;
    doc::Security security = doc::Security::TlsRequired;
    std::string pin; // the site's pinned certificate
};

// A site's fields as Connect reads them: the ports as numbers, the proxy only when one is given.
LoginTarget loginTarget(const doc::SiteEntry& site);

// Pins a certificate (its SHA-256 fingerprint) to the stored site the target came from and
// saves the settings file (the program's own for an empty path). False when no stored site
// matches (details typed in without storing them): the certificate is then trusted for this
// connection only.
bool pinCertificate(const QString& settingsPath, const LoginTarget& target, const std::string& sha256);

// Sets the client up for the site; the caller decides what an untrusted certificate gets.
void prepareClient(net::TNMFTP& client, const LoginTarget& site);

} // namespace quillet::commands
