#pragma once
// The test CA and server certificates, made once per test run with the openssl command by
// make_test_certs.sh in a temporary folder (fresh keys each run; no key is kept anywhere).

#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace quillet::testing {

class Certificates {
public:
    static const Certificates& get() {
        static const Certificates made;
        return made;
    }
    std::string pem(const std::string& name) const { return folder_ + "/" + name + ".pem"; }
    std::string key(const std::string& name) const { return folder_ + "/" + name + ".key"; }
    std::string ca() const { return pem("ca"); }
    bool ok() const { return ok_; }

    // What the openssl command says the certificate's SHA-256 fingerprint is.
    std::string fingerprint(const std::string& name) const {
        const std::string out = run("openssl x509 -noout -fingerprint -sha256 -in " + pem(name));
        const auto eq = out.find('=');
        return eq == std::string::npos ? std::string()
                                       : out.substr(eq + 1, out.find_last_not_of("\r\n") - eq);
    }

    static std::string run(const std::string& command) {
        std::string out;
        if (FILE* p = ::popen(command.c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, p))
                out += buffer;
            ::pclose(p);
        }
        return out;
    }

private:
    Certificates() {
        folder_ = dir_.path().toStdString();
        ok_ = std::system(("sh " TLS_CERT_SCRIPT " " + folder_ + " >/dev/null").c_str()) == 0;
    }
    QTemporaryDir dir_;
    std::string folder_;
    bool ok_ = false;
};

} // namespace quillet::testing
