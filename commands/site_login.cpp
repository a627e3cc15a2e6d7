#include "commands/site_login.h"

#include <QFile>

#include "net/ftp_client.h"
#include "platform/settings_path.h"

namespace quillet::commands {

LoginTarget loginTarget(const doc::SiteEntry& site) {
    LoginTarget t;
    t.title = site.title;
    t.host = site.host;
    t.user = site.user;
    t.password = site.password;
    t.port = doc::portNumber(site.port, 21);
    if (!site.proxy.empty() || !site.proxyPort.empty()) {
        t.proxy = site.proxy;
        t.proxyPort = doc::portNumber(site.proxyPort, 0);
    }
    t.mode = site.mode;
    t.security = site.security;
    t.pin = site.pin;
    return t;
}

bool pinCertificate(const QString& settingsPath, const LoginTarget& target, const std::string& sha256) {
    const std::string path =
        QFile::encodeName(settingsPath.isEmpty() ? platform::settingsFilePath() : settingsPath).toStdString();
    std::vector<doc::SiteEntry> sites = doc::loadSiteList(path);
    const auto site = doc::findSite(sites, target.title, target.host, target.port, target.user);
    if (!site)
        return false;
    sites[*site].pin = sha256;
    doc::saveSiteList(path, sites);
    return true;
}

void prepareClient(net::TNMFTP& client, const LoginTarget& site) {
    client.Host = site.host;
    client.UserID = site.user;
    client.Password = site.password;
    client.Port = site.port;
    client.TimeOut = 180000;
    client.Proxy = site.proxy;
    client.ProxyPort = site.proxyPort;
    client.Passive = site.mode == doc::DataMode::Passive;
    client.UseTls = site.security == doc::Security::TlsRequired;
    client.PinnedCertificate = site.pin;
    client.NegotiateFeatures = true;
}

} // namespace quillet::commands
