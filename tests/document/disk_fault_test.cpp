// A full disk and failing file calls in the middle of the page commands: the page stays whole,
// its backup and the author's other files stay, and the error box says what the runtime says.
#include <gtest/gtest.h>

#include <QString>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <set>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "../ui/test_prompter.h"
#include "platform/error_text.h"
#include "platform/file_errors.h"
#include "rewrite_commands.h"
#include "temp_dir.h"

using namespace quillet;
using namespace quillet::testing;

namespace {
// Head, two entries of some 60 KB each and the tail.
std::string bigPage() {
    std::string page = "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n";
    for (char c : {'x', 'y'}) {
        page += "<!-TTL-A-!>\r\n\r\n\r\ntitle\r\n<BR>\r\n<!-TTL-B-!>\r\n<!-BDY-A-!>\r\n";
        for (int i = 0; i < 1000; ++i)
            page += std::string(60, c) + "\r\n";
        page += "<!-BDY-B-!><HR>\r\n<!-END-!>\r\n";
    }
    return page + "</BODY>\r\n</HTML>\r\n";
}

std::set<std::string> namesIn(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

std::optional<std::string> contentOf(const std::string& path) {
    if (!exists(path))
        return std::nullopt;
    return readFile(path);
}

// A tmpfs of its own under a temporary folder, unmounted afterwards.
class SmallTmpfs {
public:
    explicit SmallTmpfs(const char* options) {
        if (::geteuid() != 0) {
            error_ = "not root";
            return;
        }
        if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, options) != 0)
            error_ = std::string("mount refused: ") + std::strerror(errno);
    }
    ~SmallTmpfs() {
        if (error_.empty())
            ::umount2(dir_.path().c_str(), MNT_DETACH);
    }
    const std::string& error() const { return error_; }
    std::string file(const std::string& name) const { return dir_.file(name); }
    const std::filesystem::path& path() const { return dir_.path(); }

private:
    TempDir dir_;
    std::string error_;
};

// Fills the file system with `filler` until only about `left` bytes are free.
void fillUpTo(const std::string& filler, off_t left) {
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'f');
    off_t size = 0;
    while (::write(fd, block.data(), block.size()) > 0)
        size += static_cast<off_t>(block.size());
    ASSERT_EQ(errno, ENOSPC);
    ASSERT_EQ(::ftruncate(fd, size > left ? size - left : 0), 0);
    ::close(fd);
}

doc::Entry bigEntry() {
    doc::Entry e;
    e.title = "new";
    e.body.assign(2000, std::string(60, 'n'));
    e.body.push_back("</BODY></HTML>");
    return e;
}

constexpr std::array<PageCommand, 4> kRewrites = {PageCommand::Save, PageCommand::ReplaceAll,
                                                  PageCommand::DeleteLast, PageCommand::EditLast};
} // namespace

TEST(DiskFull, RewriteThatRunsOutOfSpaceLeavesEverythingAsItWas) {
    SmallTmpfs fs("size=1m");
    if (!fs.error().empty())
        GTEST_SKIP() << "no full disk to test on (a small tmpfs needs root): " << fs.error();
    const std::string page = fs.file("index.html"), bak = fs.file("index.BAK");
    const std::string text = bigPage(), backup = "the page before\r\n";
    int ok = 0;
    for (PageCommand command : kRewrites) {
        SCOPED_TRACE(commandName(command));
        writeFile(page, text);
        writeFile(bak, backup);
        fillUpTo(fs.file("filler"), 16 * 1024); // less than any of the new pages
        const auto before = namesIn(fs.path());

        // Through the window's own error display, as a command handler runs.
        TestPrompter box;
        std::optional<doc::FileError> error;
        platform::runCommand(nullptr, [&] {
            try {
                runCommand(command, page, bigEntry());
            } catch (const doc::FileError& e) {
                error = e;
                throw;
            }
        });
        ASSERT_TRUE(error) << "the command reported success on a full disk";
        const bool inTmpWrite = error->step() == doc::FileError::Step::Write &&
                                error->path() == fs.file("index.TMP") && error->errnum() == ENOSPC;
        const bool shown = box.asked.size() == 1 && box.asked[0].kind == Asked::Error &&
                           box.asked[0].text == QStringLiteral("ディスクがいっぱいです.");
        const bool pageKept = readFile(page) == text, backupKept = readFile(bak) == backup;
        const bool filesKept = namesIn(fs.path()) == before; // no .TMP, nothing removed
        EXPECT_TRUE(inTmpWrite) << error->what();
        EXPECT_TRUE(shown) << (box.asked.empty() ? QString() : box.asked[0].text).toStdString();
        EXPECT_TRUE(pageKept);
        EXPECT_TRUE(backupKept);
        EXPECT_TRUE(filesKept);
        ok += inTmpWrite && shown && pageKept && backupKept && filesKept;
        ::unlink(fs.file("filler").c_str());
    }
    std::printf("disk: full_cases=%zu full_ok=%s\n", kRewrites.size(), ok == 4 ? "yes" : "no");
}

namespace {
struct DriverRun {
    std::string out, err;
};

DriverRun runDriver(PageCommand command, const std::string& page, const std::string& dir, long failAt,
                    bool sticky) {
    const std::string outFile = page + ".out", errFile = page + ".err";
    // Spawned, not forked: copying a sanitized process's mappings costs more than the run.
    std::vector<std::string> env = {std::string("LD_PRELOAD=") + EIO_SHIM, "QUILLET_EIO_DIR=" + dir,
                                    "QUILLET_EIO_AT=" + std::to_string(failAt)};
    if (sticky)
        env.push_back("QUILLET_EIO_STICKY=1");
    const std::string which = std::to_string(static_cast<int>(command));
    std::vector<char*> envp, argv = {const_cast<char*>(EIO_DRIVER), const_cast<char*>(which.c_str()),
                                     const_cast<char*>(page.c_str()), nullptr};
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, EIO_DRIVER, &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start the driver: " << std::strerror(spawned);
        return {};
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    DriverRun run{readFile(outFile), readFile(errFile)};
    ::unlink(outFile.c_str());
    ::unlink(errFile.c_str());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        ADD_FAILURE() << "the driver died: " << status << "\n" << run.err;
    return run;
}
} // namespace

// "CALL PATH" of the shim's injection report.
static std::string injectedCall(const std::string& err) {
    const auto at = err.find("eio: injected ");
    std::string line = err.substr(at, err.find('\n', at) - at);
    line.erase(0, line.find(' ', 14) + 1);
    return line;
}

TEST(IoErrors, EioInEachFileCallLeavesThePageWholeAndIsReported) {
    // In memory where there is some: the shim's cases need no real syncs, and there are many.
    TempDir outside(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path());
    const std::string dir = outside.file("pages");
    std::filesystem::create_directory(dir);
    const std::string page = dir + "/index.html", bak = dir + "/index.BAK";
    const std::string text = bigPage() + std::string(200000, 'z') + "\r\n"; // reads and writes in parts
    const std::string backup = "the page before\r\n";
    const QString expectedMessage = QStringLiteral("I/O エラー (5)");

    int cases = 0, ok = 0;
    for (PageCommand command :
         {PageCommand::Save, PageCommand::ReplaceAll, PageCommand::DeleteLast, PageCommand::EditLast,
          PageCommand::Undo, PageCommand::Download, PageCommand::InsertionPoint}) {
        // Without a fault: the texts after the command.
        writeFile(page, text);
        writeFile(bak, backup);
        ASSERT_EQ(runDriver(command, page, dir, 0, false).out, "ok\n");
        const std::optional<std::string> pageAfter = contentOf(page), bakAfter = contentOf(bak);

        for (bool sticky : {false, true}) {
            for (long n = 1;; ++n) {
                std::filesystem::remove_all(dir);
                std::filesystem::create_directory(dir);
                writeFile(page, text);
                writeFile(bak, backup);
                const DriverRun run = runDriver(command, page, dir, n, sticky);
                if (run.err.find("eio: injected") == std::string::npos)
                    break; // past the command's last file call
                ++cases;
                SCOPED_TRACE(std::string(commandName(command)) + (sticky ? ", from call " : ", call ") +
                             std::to_string(n) + ": " + run.err.substr(0, run.err.find('\n')));
                const std::optional<std::string> pageNow = contentOf(page), bakNow = contentOf(bak);
                const bool newPage = pageNow == pageAfter && pageAfter != text;
                const bool pageWhole = pageNow == text || pageNow == pageAfter;
                const bool backupRight =
                    newPage ? bakNow == bakAfter : bakNow == backup || bakNow == bakAfter;
                // Work files may stay only where the cleaning up failed too.
                const bool noLeftovers =
                    sticky || namesIn(dir) == std::set<std::string>{"index.html", "index.BAK"};
                EXPECT_TRUE(pageWhole) << "page missing or torn";
                EXPECT_TRUE(backupRight) << "backup lost or not the page before";
                EXPECT_TRUE(noLeftovers) << "work files left behind";

                int errnum = 0, step = 0;
                bool reported = false;
                if (std::sscanf(run.out.c_str(), "error %d %d", &errnum, &step) == 2) {
                    const auto error = std::make_exception_ptr(
                        doc::FileError(static_cast<doc::FileError::Step>(step), errnum, page));
                    reported = platform::exceptionMessage(error) == expectedMessage;
                    EXPECT_EQ(platform::exceptionMessage(error), expectedMessage);
                } else {
                    // Only a failing close of the folder, after its sync, loses nothing; the
                    // command has then done all it was to do.
                    reported = run.out == "ok\n" && injectedCall(run.err) == "close " + dir + "/" &&
                               pageNow == pageAfter && bakNow == bakAfter;
                    EXPECT_TRUE(reported) << "an injected EIO was not reported: " << run.out;
                }
                ok += pageWhole && backupRight && noLeftovers && reported;
            }
        }
    }
    EXPECT_GT(cases, 20);
    std::printf("eio: cases=%d ok=%d\n", cases, ok);
}
