// Work files and writers: nothing planted at a work file's name is written through or becomes the
// page, one rewrite of a page at a time across processes, what a received copy is checked for,
// and page names up to the longest the file system takes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "document/page_lock.h"
#include "document/paths.h"
#include "document/work_files.h"
#include "rewrite_commands.h"
#include "temp_dir.h"

using namespace quillet::doc;
using namespace quillet::testing;

namespace {
const std::string kPage = "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n<!-TTL-A-!>\r\r\rfirst\r<BR>\r<!-TTL-B-!>\r\n"
                          "<!-BDY-A-!>\r\nfirst body\r\n<!-BDY-B-!><HR>\r<!-END-!>\r\n</BODY>\r\n</HTML>\r\n";

constexpr PageCommand kAllCommands[] = {
    PageCommand::Save, PageCommand::ReplaceAll, PageCommand::DeleteLast,    PageCommand::EditLast,
    PageCommand::Undo, PageCommand::Download,   PageCommand::InsertionPoint};

Entry entryTitled(const std::string& title) {
    Entry e;
    e.title = title;
    e.body = {"written by " + title, "</BODY></HTML>"};
    return e;
}

std::set<std::string> namesIn(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

struct stat lstatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

// Runs a shell command as user nobody, as another user of a shared web folder would.
bool runAsNobody(const std::string& command) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/usr/bin/setpriv", "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "/bin/sh",
                "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string secondUserUnavailable() {
    if (::geteuid() != 0)
        return "planting as a second user needs root (setpriv to user nobody)";
    if (::access("/usr/bin/setpriv", X_OK) != 0)
        return "no /usr/bin/setpriv";
    return {};
}
} // namespace

// A link planted at index.TMP is removed as a name: the file it points to keeps its bytes and
// mode, and the page stays a regular file with its own mode. So for every rewrite that writes T.
TEST(PlantedWorkFiles, LinkAtTheWorkFileIsNeverFollowed) {
    for (PageCommand command : {PageCommand::Save, PageCommand::ReplaceAll, PageCommand::DeleteLast,
                                PageCommand::EditLast, PageCommand::InsertionPoint}) {
        SCOPED_TRACE(commandName(command));
        TempDir dir;
        const std::string page = dir.file("index.html"), notes = dir.file("notes.txt");
        writeFile(page, kPage);
        ::chmod(page.c_str(), 0644);
        writeFile(notes, "my notes");
        ::chmod(notes.c_str(), 0600);
        std::filesystem::create_symlink("notes.txt", dir.file("index.TMP"));
        std::filesystem::create_symlink("notes.txt", dir.file("index.BAK"));
        runCommand(command, page, entryTitled("new"));
        EXPECT_EQ(readFile(notes), "my notes");
        EXPECT_EQ(lstatOf(notes).st_mode & 07777, 0600u);
        const struct stat st = lstatOf(page);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, 0644u);
        EXPECT_NE(readFile(page), kPage);
        EXPECT_TRUE(S_ISREG(lstatOf(dir.file("index.BAK")).st_mode)); // the link was replaced
        EXPECT_EQ(readFile(dir.file("index.BAK")), kPage);
        EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"index.html", "index.BAK", "notes.txt"}));
    }
}

// Another user of a shared, world-writable web folder plants a link or an empty 0666 file of his
// own at index.TMP before a Save: neither is written through, and neither becomes the page.
TEST(PlantedWorkFiles, AnotherUsersFileNeverBecomesThePage) {
    if (const std::string why = secondUserUnavailable(); !why.empty())
        GTEST_SKIP() << why;
    for (const char* plant : {"ln -s notes.txt index.TMP", "touch index.TMP && chmod 0666 index.TMP"}) {
        SCOPED_TRACE(plant);
        TempDir dir;
        ::chmod(dir.path().c_str(), 0777);
        const std::string page = dir.file("index.html"), notes = dir.file("notes.txt");
        writeFile(page, kPage);
        ::chmod(page.c_str(), 0640);
        writeFile(notes, "my notes");
        ::chmod(notes.c_str(), 0644);
        ASSERT_TRUE(runAsNobody("cd '" + dir.path().string() + "' && " + plant));
        ASSERT_EQ(lstatOf(dir.file("index.TMP")).st_uid, 65534u);
        ASSERT_EQ(writeEntry(page, entryTitled("new"), SaveMode::Insert), WriteOutcome::Written);
        const struct stat st = lstatOf(page);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_uid, ::geteuid());
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        EXPECT_NE(readFile(page).find("written by new"), std::string::npos);
        EXPECT_EQ(readFile(notes), "my notes");
        EXPECT_FALSE(exists(dir.file("index.TMP")));
    }
}

// The download's and the backup's short names: a leftover of a killed download goes with the
// next one, a link there is removed as a name, and a download still running keeps its file.
TEST(PlantedWorkFiles, LeftoversOfKilledDownloadsGoWithTheNextOne) {
    TempDir dir;
    const std::string page = dir.file("index.html"), notes = dir.file("notes.txt");
    writeFile(page, kPage);
    writeFile(notes, "my notes");
    writeFile(dir.file(".quillet-r0123abcd"), "half a page"); // as a kill leaves it
    std::filesystem::create_symlink("notes.txt", dir.file(".quillet-r11112222"));
    std::filesystem::create_symlink("notes.txt", dir.file(".quillet-b33334444"));
    writeFile(dir.file(".quillet-r0123abcdx"), "mine"); // not a work name
    writeFile(dir.file(".quillet-x55556666"), "an exchange cut short: maybe the only copy");
    const std::string running = dir.file(".quillet-rdeadbeef");
    writeFile(running, "still arriving");
    const int held = ::open(running.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    {
        ReceivedFile received(page, Backup::Keep);
        EXPECT_EQ(folderOf(received.path()), folderOf(page));
        EXPECT_EQ(fileNameOf(received.path()).size(), 18u);
        EXPECT_EQ(lstatOf(received.path()).st_mode & 0777, 0600u);
        received.out().write(kPage.data(), kPage.size());
    } // not installed: removed
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"index.html", "notes.txt", ".quillet-r0123abcdx",
                                                          ".quillet-x55556666", ".quillet-rdeadbeef"}));
    EXPECT_EQ(readFile(notes), "my notes");
    ::close(held);
}

// Every rewrite takes the page's lock: while another holds it, each command waits, then stops
// with PageBusyError and changes nothing.
TEST(PageLocking, EveryRewriteStopsUnchangedWhileAnotherHoldsThePage) {
    TempDir dir;
    const std::string page = dir.file("index.html"), bak = dir.file("index.BAK");
    writeFile(page, kPage);
    writeFile(bak, "the page before");
    setPageLockWait(std::chrono::milliseconds(50));
    {
        PageLock other(page, page);
        for (PageCommand command : kAllCommands) {
            SCOPED_TRACE(commandName(command));
            try {
                runCommand(command, page, entryTitled("new"));
                ADD_FAILURE() << "not stopped";
            } catch (const PageBusyError& e) {
                EXPECT_EQ(e.page(), page);
            }
            EXPECT_EQ(readFile(page), kPage);
            EXPECT_EQ(readFile(bak), "the page before");
            EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"index.html", "index.BAK"}));
        }
    }
    // A download received before the page was taken is installed only once it is free again.
    ReceivedFile received(page, Backup::Keep);
    received.out().write("new", 3);
    {
        PageLock other(page, page);
        EXPECT_THROW(received.install(), PageBusyError);
        EXPECT_EQ(readFile(page), kPage);
        EXPECT_EQ(readFile(bak), "the page before");
    }
    received.install();
    setPageLockWait(std::chrono::milliseconds(5000));
    EXPECT_EQ(readFile(page), "new");
    EXPECT_EQ(readFile(bak), kPage);
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"index.html", "index.BAK"}));
}

namespace {
// A page_rewriter process doing one Save; its lines are read as they come.
class Writer {
public:
    Writer(const std::string& page, const std::string& title, long waitMs, const std::string& go = "") {
        int fds[2];
        if (::pipe(fds) != 0)
            throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], 1);
            ::execl(PAGE_REWRITER, PAGE_REWRITER, "save", page.c_str(), title.c_str(),
                    std::to_string(waitMs).c_str(), go.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        out_ = ::fdopen(fds[0], "r");
    }
    ~Writer() {
        if (pid_ > 0)
            finish();
    }
    // Reads lines until `line`; false when the process ended first.
    bool waitFor(const std::string& line) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, out_))
            if (std::string(buf) == line + "\n")
                return true;
        return false;
    }
    int finish() {
        std::fclose(out_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    FILE* out_ = nullptr;
};

// A page of some megabytes, so that a Save takes long enough for two to overlap.
std::string largePage() {
    std::string page = "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n<!-BDY-A-!>\r\n";
    for (int i = 0; i < 60000; ++i)
        page += std::string(70, static_cast<char>('a' + i % 26)) + "\r\n";
    return page + "<!-BDY-B-!><HR>\r\n<!-END-!>\r\n</BODY>\r\n</HTML>\r\n";
}

// The page and backup after Saves with these titles, done one after the other on a copy.
std::pair<std::string, std::string> afterSaves(const std::string& page0,
                                               const std::vector<std::string>& titles) {
    TempDir dir;
    const std::string page = dir.file("index.html");
    writeFile(page, page0);
    for (const std::string& title : titles) {
        Entry e;
        e.title = title;
        e.body = {"written by " + title};
        writeEntry(page, e, SaveMode::Insert);
    }
    return {readFile(page), readFile(dir.file("index.BAK"))};
}
} // namespace

// Two processes save into one page while the first is still writing: the second waits for it,
// so both entries are in the page and the backup is the page between the two Saves.
TEST(TwoWriters, TheSecondWaitsForTheFirstAndBothEntriesLand) {
    TempDir dir;
    const std::string page = dir.file("index.html"), go = dir.file("go");
    const std::string page0 = largePage();
    writeFile(page, page0);
    Writer first(page, "first", 5000, go);
    ASSERT_TRUE(first.waitFor("inside"));
    Writer second(page, "second", 5000);
    ASSERT_TRUE(second.waitFor("locking"));
    writeFile(go, "");
    EXPECT_EQ(first.finish(), 0);
    EXPECT_EQ(second.finish(), 0);
    const auto [pageAfter, bakAfter] = afterSaves(page0, {"first", "second"});
    EXPECT_TRUE(readFile(page) == pageAfter) << "an entry is missing or the page is torn";
    EXPECT_TRUE(readFile(dir.file("index.BAK")) == bakAfter) << "the backup is not the page in between";
    ::unlink(go.c_str());
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"index.html", "index.BAK"}));
}

// A second writer that cannot wait long enough stops and changes nothing: page and backup stay
// exactly as the first writer leaves them.
TEST(TwoWriters, ASecondWriterThatCannotWaitChangesNothing) {
    TempDir dir;
    const std::string page = dir.file("index.html"), bak = dir.file("index.BAK"), go = dir.file("go");
    const std::string page0 = largePage();
    writeFile(page, page0);
    writeFile(bak, "the page before");
    Writer first(page, "first", 5000, go);
    ASSERT_TRUE(first.waitFor("inside"));
    Writer second(page, "second", 0);
    EXPECT_TRUE(second.waitFor("busy"));
    EXPECT_EQ(second.finish(), 3);
    EXPECT_TRUE(readFile(page) == page0);
    EXPECT_EQ(readFile(bak), "the page before");
    writeFile(go, "");
    EXPECT_EQ(first.finish(), 0);
    const auto [pageAfter, bakAfter] = afterSaves(page0, {"first"});
    EXPECT_TRUE(readFile(page) == pageAfter);
    EXPECT_TRUE(readFile(bak) == page0);
}

// Names of 253 to 255 bytes, with and without an extension, in ASCII and in UTF-8: every rewrite
// and the download work, and nothing but the page and its backup is left.
TEST(LongNames, EveryRewriteAndTheDownloadWorkUpToTheLongestName) {
    std::string wide; // 252 bytes of three-byte characters
    while (wide.size() < 252)
        wide += "日";
    for (const std::string& name :
         {std::string(250, 'x') + ".html", std::string(253, 'y'), std::string(255, 'z'), wide + ".h"}) {
        SCOPED_TRACE(name.size());
        TempDir dir;
        const std::string page = dir.file(name);
        writeFile(page, kPage);
        for (PageCommand command : kAllCommands) {
            SCOPED_TRACE(commandName(command));
            EXPECT_NO_THROW(runCommand(command, page, entryTitled("long")));
        }
        const std::string bak = fileNameOf(bakFileOf(page));
        EXPECT_LE(bak.size(), kNameMax);
        EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{name, bak}));
        EXPECT_NE(readFile(page), kPage);
        EXPECT_NE(readFile(dir.file(bak)), readFile(page));
    }
}

TEST(Downloads, ACopyWithoutTheMarkerLineIsNoticedAndFilesGetNoBackupUnlessPages) {
    TempDir dir;
    const std::string page = dir.file("index.html");
    const auto losesLine = [&](const std::optional<std::string>& local, const std::string& copy) {
        if (local)
            writeFile(page, *local);
        else
            ::unlink(page.c_str());
        ReceivedFile received(page, Backup::Keep);
        received.out().write(copy.data(), copy.size());
        return received.losesInsertionLine();
    };
    EXPECT_TRUE(losesLine(kPage, ""));
    EXPECT_TRUE(losesLine(kPage, "<HTML>\r\n<BODY>\r\n<!-INS-")); // cut short
    EXPECT_TRUE(losesLine(kPage, "<HTML>\n<!-INS-!>\n</HTML>\n"));
    EXPECT_FALSE(losesLine(kPage, kPage));
    EXPECT_FALSE(losesLine("<HTML></HTML>", ""));
    EXPECT_FALSE(losesLine(std::nullopt, ""));

    // Any other file received by name is replaced without a backup, and a new one gets the
    // mode new files get.
    const std::string file = dir.file("data.bin");
    for (int round = 0; round < 2; ++round) {
        ReceivedFile received(file, Backup::None);
        received.out().write("data", 4);
        received.install();
    }
    EXPECT_EQ(readFile(file), "data");
    EXPECT_FALSE(exists(dir.file("data.BAK")));
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(lstatOf(file).st_mode & 0777, 0666u & ~mask);
}
