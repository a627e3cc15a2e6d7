#pragma once
// FTP peers for the tests, on 127.0.0.1 only: Debian's pyftpdlib as a real server, and a
// scripted server for the replies no real server sends on demand.

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <regex>
#include <stdexcept>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quillet::testing {

// How the test's pyftpdlib serves (tests/ftp/pyftpd.py).
struct PyFtpOptions {
    std::string user = "author";
    std::string password = "secret";
    bool logCommands = false; // see commands()
    std::string address = "127.0.0.1";
    int port = 0; // 0: a free one
    // A certificate and its key (PEM): FTP over TLS, required for the log-in and the data.
    std::string certificate, key;
    bool requireReuse = false;        // refuse data connections that do not resume the session
    std::string masquerade;           // the address its PASV replies name instead of its own
    std::vector<std::string> without; // commands it does not know ("EPSV", "SIZE" ...)
};

// pyftpdlib serving `root` with one user; the port is the free one it picked.
class PyFtpServer {
public:
    PyFtpServer(const std::filesystem::path& root, std::string user = "author",
                std::string password = "secret", bool logCommands = false)
        : PyFtpServer(root, options(std::move(user), std::move(password), logCommands)) {}
    PyFtpServer(const std::filesystem::path& root, PyFtpOptions options)
        : user_(std::move(options.user)), password_(std::move(options.password)) {
        std::vector<std::string> args = {"python3",    PYFTPD_SCRIPT, "--address", options.address,
                                         "--root",     root.string(), "--user",    user_,
                                         "--password", password_};
        if (options.logCommands)
            args.push_back("--log-commands");
        if (options.port)
            args.insert(args.end(), {"--port", std::to_string(options.port)});
        if (!options.certificate.empty())
            args.insert(args.end(), {"--certificate", options.certificate, "--key", options.key});
        if (options.requireReuse)
            args.push_back("--require-reuse");
        if (!options.masquerade.empty())
            args.insert(args.end(), {"--masquerade", options.masquerade});
        for (const std::string& command : options.without)
            args.insert(args.end(), {"--without", command});
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int err[2];
        if (::pipe(err) != 0)
            throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM); // a test that aborts leaves no server behind
            ::dup2(err[1], 2);
            ::close(err[0]);
            ::close(err[1]);
            ::execv("/usr/bin/python3", argv.data());
            ::_exit(127);
        }
        ::close(err[1]);
        log_ = ::fdopen(err[0], "r");
        // Its log says where it listens: ">>> starting FTP server on 127.0.0.1:PORT, pid=...".
        char line[512];
        const std::regex started(R"(starting FTP\S* server on .*:(\d+), pid)");
        while (std::fgets(line, sizeof line, log_)) {
            std::cmatch m;
            if (std::regex_search(line, m, started)) {
                port_ = std::stoi(m[1]);
                break;
            }
        }
        if (port_ == 0)
            throw std::runtime_error("pyftpdlib did not start");
        // Keep reading its log so it never blocks on a full pipe; the tests look at commands.
        reader_ = std::thread([this] {
            char buf[1024];
            while (std::fgets(buf, sizeof buf, log_)) {
                std::lock_guard lock(mutex_);
                logText_ += buf;
            }
        });
    }
    ~PyFtpServer() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        reader_.join();
        std::fclose(log_);
    }
    static PyFtpOptions options(std::string user, std::string password, bool logCommands) {
        PyFtpOptions o;
        o.user = std::move(user);
        o.password = std::move(password);
        o.logCommands = logCommands;
        return o;
    }
    int port() const { return port_; }
    // The commands the server has received so far, in order (PASS shows as "PASS ******").
    std::vector<std::string> commands() const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> result;
        std::size_t at = 0;
        while ((at = logText_.find("] <- ", at)) != std::string::npos) {
            at += 5;
            result.push_back(logText_.substr(at, logText_.find('\n', at) - at));
        }
        return result;
    }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }

private:
    std::string user_, password_;
    pid_t pid_ = -1;
    FILE* log_ = nullptr;
    int port_ = 0;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::string logText_;
};

// One control connection, served by a script on its own thread with blocking sockets.
class ScriptSession {
public:
    explicit ScriptSession(int fd) : fd_(fd) {}
    ~ScriptSession() {
        if (data_ >= 0)
            ::close(data_);
    }
    void send(const std::string& text) { sendAll(fd_, text); }
    // The next command line without its CR LF; empty when the client closed or went silent.
    std::string readLine(int timeoutMs = 5000) { return readLineFrom(fd_, buffer_, timeoutMs); }
    // Connects to the address of a "PORT h1,h2,h3,h4,p1,p2" command, from `source` when given.
    int connectData(const std::string& portCommand, const char* source = nullptr) {
        unsigned h[4], p[2];
        if (std::sscanf(portCommand.c_str(), "PORT %u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0],
                        &p[1]) != 6)
            return -1;
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (source) {
            sockaddr_in from{};
            from.sin_family = AF_INET;
            ::inet_pton(AF_INET, source, &from.sin_addr);
            ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from);
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(h[0] << 24 | h[1] << 16 | h[2] << 8 | h[3]);
        to.sin_port = htons(static_cast<uint16_t>(p[0] << 8 | p[1]));
        if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    // Opens the session's data connection for the last PORT command.
    bool openData(const std::string& portCommand) {
        data_ = connectData(portCommand);
        return data_ >= 0;
    }
    void sendData(const std::string& bytes) { sendAll(data_, bytes); }
    std::string receiveData() {
        std::string all;
        char buf[65536];
        ssize_t n;
        while ((n = ::recv(data_, buf, sizeof buf, 0)) > 0)
            all.append(buf, static_cast<size_t>(n));
        return all;
    }
    void closeData() {
        if (data_ >= 0)
            ::close(data_);
        data_ = -1;
    }
    int fd() const { return fd_; }

    static void sendAll(int fd, const std::string& text) {
        size_t done = 0;
        while (done < text.size()) {
            ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            done += static_cast<size_t>(n);
        }
    }
    static std::string readLineFrom(int fd, std::string& buffer, int timeoutMs) {
        for (;;) {
            auto lf = buffer.find('\n');
            if (lf != std::string::npos) {
                std::string line = buffer.substr(0, lf);
                buffer.erase(0, lf + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return line;
            }
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0)
                return {};
            char buf[4096];
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                return {};
            buffer.append(buf, static_cast<size_t>(n));
        }
    }

private:
    int fd_;
    int data_ = -1;
    std::string buffer_;
};

class ScriptedServer {
public:
    using Script = std::function<void(ScriptSession&)>;
    explicit ScriptedServer(Script script) {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 4);
        socklen_t len = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this, script = std::move(script)] {
            pollfd p{listen_, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0)
                return;
            int fd = ::accept(listen_, nullptr, nullptr);
            if (fd < 0)
                return;
            {
                ScriptSession session(fd);
                script(session);
                // Let the client read what was sent before the connection goes.
                std::string rest;
                ScriptSession::readLineFrom(fd, rest, 300);
            }
            ::close(fd);
        });
    }
    ~ScriptedServer() {
        thread_.join();
        ::close(listen_);
    }
    int port() const { return port_; }

private:
    int listen_ = -1;
    int port_ = 0;
    std::thread thread_;
};

} // namespace quillet::testing
