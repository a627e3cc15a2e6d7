#include <gtest/gtest.h>

#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "document/file_io.h"
#include "document/site_list.h"
#include "temp_dir.h"

using namespace quillet::doc;
using namespace quillet::testing;

namespace {
using Fields = std::vector<std::string>;

// A site as a line of eight fields gives it: active and plain, as such sites were used.
SiteEntry legacy(SiteEntry site) {
    site.mode = DataMode::Active;
    site.security = Security::Plain;
    return site;
}

// A site of eight fields from its first fields, the rest empty.
SiteEntry entry(Fields f) {
    f.resize(8);
    return legacy({f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]});
}

const std::string kExampleLine = "\"test\",\"192.0.2.1\",\"21\",\"u1\",\"\",\"\",\"\",\"\"\r\n";
const SiteEntry kExample = entry({"test", "192.0.2.1", "21", "u1"});

SiteEntry site(const std::string& title) {
    return {title, "h." + title, "21", "u", "p", "", "", "/home/" + title};
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}

using Names = std::vector<std::string>;
Names filesIn(const TempDir& dir) {
    Names names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        names.push_back(e.path().filename().string());
    return names;
}

struct FaultGuard {
    explicit FaultGuard(FaultHook hook) { setFaultHook(std::move(hook)); }
    ~FaultGuard() { setFaultHook(nullptr); }
};
} // namespace

TEST(SiteList, ReadingRulesSplitALine) {
    const std::vector<std::pair<std::string, Fields>> cases = {
        {"", {}},
        {R"("test","192.0.2.1","21","u1","","","","")", {"test", "192.0.2.1", "21", "u1", "", "", "", ""}},
        {"a , b ,c", {"a", "b", "c"}},              // blanks around commas
        {"\"a b\",c d", {"a b", "c", "d"}},         // an unquoted field ends at a blank
        {"a,,b", {"a", "", "b"}},                   // two commas: an empty field
        {"a,", {"a"}},                              // a trailing comma adds nothing
        {R"("say ""hi""",x)", {"say \"hi\"", "x"}}, // doubled quotes are one
        {R"("""")", {"\""}},
        {"\"unclosed, to the end ", {"unclosed, to the end "}},
        {R"("ab"cd)", {"ab", "cd"}},
        {"\x01\t a\x1f,\x02"
         "b",
         {"a", "b"}},               // control bytes are skipped like blanks
        {"\"x\x01y\"", {"x\x01y"}}, // ... but kept inside quotes
        // CP932: "ソ" and "表" end in 0x5C, half-width kana are single bytes.
        {"\"\x83\x5c\x95\x5c\",\x83\x5c,\xce\xbd\xc4", {"\x83\x5c\x95\x5c", "\x83\x5c", "\xce\xbd\xc4"}},
    };
    for (const auto& [line, fields] : cases)
        EXPECT_EQ(splitSiteFields(line), fields) << line;
}

TEST(SiteList, FileReadsLinesOfAnyEndingIntoEightFields) {
    const std::vector<std::pair<std::string, std::vector<SiteEntry>>> cases = {
        {"", {}},
        {kExampleLine, {kExample}},
        // CR alone, LF alone (a file saved by a Linux editor), no end on the last line.
        {"a\rb\nc", {entry({"a"}), entry({"b"}), entry({"c"})}},
        {"a\n\r\n\r\nb\n\n", {entry({"a"}), entry({"b"})}}, // blank lines are no sites
        {"a,h\x1a\r\nb\r\n", {entry({"a", "h"})}},          // 0x1A ends the text
        {"short,h,21\r\n", {entry({"short", "h", "21"})}},
        // Fields nine and ten are the mode and the security now: unknown words give the defaults
        // of a new site.
        {"1,2,3,4,5,6,7,8,9,10\r\n", {{"1", "2", "3", "4", "5", "6", "7", "8"}}},
    };
    for (const auto& [text, sites] : cases)
        EXPECT_EQ(parseSiteList(text), sites) << text;
}

TEST(SiteList, WriterUsesTheLineFormatAndEscapesWhatWouldBreakIt) {
    EXPECT_EQ(formatSiteList({}), "");
    EXPECT_EQ(formatSiteList({kExample}), kExampleLine);
    EXPECT_EQ(formatSiteList({entry({"a\"b", "x\r\ny\x1az"})}),
              "\"a\"\"b\",\"xyz\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n");
}

// Everything a one-line edit can hold comes back field for field, so hostile values can
// neither shift fields nor break a line into two.
TEST(SiteList, WrittenFileReadsBackFieldForField) {
    const std::vector<std::string> values = {
        "",
        " ",
        "\"",
        "\"\"",
        "a,b",
        " lead and trail ",
        "\"quoted\"",
        ",",
        "\t\x01\x1f",
        "\x83\x5c\x95\x5c\x83\x5c",
        "\xce\xbd\xc4\xa5\xb1\xc4\xde\xda\xbd",
        "\\\\server\\share",
        std::string(100000, 'x') + "\"" + std::string(100000, ','),
    };
    std::vector<SiteEntry> sites;
    for (std::size_t i = 0; i < values.size(); ++i) {
        Fields f{"name" + std::to_string(i)};
        for (std::size_t k = 0; k < 7; ++k)
            f.push_back(values[(i + k) % values.size()]);
        sites.push_back(entry(f));
    }
    EXPECT_EQ(parseSiteList(formatSiteList(sites)), sites);
}

// A file of an earlier Quillet: every site is active and plain, as it was used, and the file is
// written back as it was.
TEST(SiteList, FileOfEightFieldsLoadsAsBeforeAndIsWrittenBackByteForByte) {
    const std::string old = "\"one\",\"h1\",\"21\",\"u1\",\"p1\",\"\",\"\",\"/w/1\"\r\n"
                            "\"say \"\"hi\"\"\",\"h2\",\"2121\",\"u2\",\"\",\"proxy\",\"8080\",\"\"\r\n"
                            "\"\x83\x5c\x95\x5c\",\"h3\",\"21\",\"\",\"\",\"\",\"\",\"\"\r\n";
    const std::vector<SiteEntry> sites = parseSiteList(old);
    ASSERT_EQ(sites.size(), 3u);
    for (const SiteEntry& site : sites) {
        EXPECT_EQ(site.mode, DataMode::Active) << site.title;
        EXPECT_EQ(site.security, Security::Plain) << site.title;
        EXPECT_EQ(site.pin, "") << site.title;
    }
    EXPECT_EQ(formatSiteList(sites), old);
}

TEST(SiteList, NewOptionsFollowTheEightFieldsAndRoundTrip) {
    const SiteEntry fresh;
    EXPECT_EQ(std::tie(fresh.mode, fresh.security, fresh.pin),
              std::tuple(DataMode::Passive, Security::TlsRequired, "")); // a site added now

    SiteEntry site = fresh;
    site.title = "n";
    site.host = "h";
    site.port = "21";
    site.pin = "AB:CD";
    const std::string line = "\"n\",\"h\",\"21\",\"\",\"\",\"\",\"\",\"\",\"passive\",\"tls\",\"AB:CD\"\r\n";
    EXPECT_EQ(formatSiteList({site}), line);
    // What an earlier Quillet reads of it: the same eight fields, the rest dropped.
    const Fields fields = splitSiteFields(line.substr(0, line.size() - 2));
    ASSERT_GE(fields.size(), 8u);
    EXPECT_EQ(Fields(fields.begin(), fields.begin() + 8), (Fields{"n", "h", "21", "", "", "", "", ""}));

    std::vector<SiteEntry> sites;
    for (DataMode mode : {DataMode::Passive, DataMode::Active})
        for (Security security : {Security::TlsRequired, Security::Plain})
            for (const char* pin : {"", "AB:CD", " odd \"pin\", with a comma "}) {
                site.mode = mode;
                site.security = security;
                site.pin = pin;
                sites.push_back(site);
            }
    EXPECT_EQ(parseSiteList(formatSiteList(sites)), sites);
}

// Options edited by hand: a word that is not understood never turns TLS off.
TEST(SiteList, HandEditedOptionsFallBackSoundly) {
    struct Case {
        std::string options; // after the eight fields
        DataMode mode;
        Security security;
        std::string pin;
    };
    using D = DataMode;
    using S = Security;
    const std::vector<Case> cases = {
        {R"(,"PASSIVE","TLS")", D::Passive, S::TlsRequired, ""},
        {", Active , Plain ", D::Active, S::Plain, ""},
        {",\" active \",\"\tplain \"", D::Active, S::Plain, ""},
        {R"(,"ftp","none")", D::Passive, S::TlsRequired, ""},
        {R"(,"active")", D::Active, S::TlsRequired, ""},
        {R"(,,"plain")", D::Passive, S::Plain, ""},
        {R"(,"active","plain","","extra",more)", D::Active, S::Plain, ""},
        {R"(,"passive","tls","not a fingerprint")", D::Passive, S::TlsRequired, "not a fingerprint"},
        {R"(,"active","plain","AB")", D::Active, S::Plain, "AB"},
    };
    const std::string eight = R"("n","h","21","u","p","","","")";
    for (const Case& c : cases) {
        const std::vector<SiteEntry> sites = parseSiteList(eight + c.options + "\r\n");
        ASSERT_EQ(sites.size(), 1u) << c.options;
        const SiteEntry& site = sites.front();
        EXPECT_EQ(std::tie(site.title, site.home), std::tuple("n", "")) << c.options;
        EXPECT_EQ(std::tie(site.mode, site.security, site.pin), std::tie(c.mode, c.security, c.pin))
            << c.options;
        EXPECT_EQ(parseSiteList(formatSiteList(sites)), sites) << c.options;
    }
}

TEST(SiteList, SaveReplacesTheFileReadableByItsOwnerOnly) {
    TempDir dir;
    const std::string ini = dir.file("quillet.ini");
    writeFile(ini, "old\r\n");
    ::chmod(ini.c_str(), 0644);

    const std::vector<SiteEntry> sites = {site("a"), site("b")};
    saveSiteList(ini, sites);
    EXPECT_EQ(readFile(ini), formatSiteList(sites));
    EXPECT_EQ(modeOf(ini), 0600u);
    EXPECT_EQ(filesIn(dir), Names{"quillet.ini"});
    EXPECT_EQ(loadSiteList(ini), sites);
}

TEST(SiteList, FailedSaveLeavesTheOldFileWhole) {
    TempDir dir;
    const std::string ini = dir.file("quillet.ini");
    writeFile(ini, kExampleLine);
    for (auto step : {FileError::Step::Create, FileError::Step::Write, FileError::Step::Sync,
                      FileError::Step::Close, FileError::Step::Rename}) {
        FaultGuard guard([step](FileError::Step s, const std::string&) { return s == step ? ENOSPC : 0; });
        EXPECT_THROW(saveSiteList(ini, {site("new")}), FileError) << static_cast<int>(step);
        EXPECT_EQ(readFile(ini), kExampleLine);
        EXPECT_EQ(filesIn(dir), Names{"quillet.ini"}); // no temporary file left
    }
}

// Renaming over a file needs only the folder's permission, and root may write anything: the
// mode bits decide, or a read-only settings file would be replaced without a word.
TEST(SiteList, WriteProtectedFileIsRefusedAndLeftAsItIs) {
    TempDir dir;
    const std::string ini = dir.file("quillet.ini");
    for (mode_t mode : {0444, 0400, 0440, 0}) {
        writeFile(ini, kExampleLine);
        ::chmod(ini.c_str(), mode);
        try {
            saveSiteList(ini, {site("new")});
            ADD_FAILURE() << "saved over mode " << std::oct << mode;
        } catch (const FileError& e) {
            EXPECT_EQ(e.errnum(), EACCES);
        }
        EXPECT_EQ(readFile(ini), kExampleLine);
        EXPECT_EQ(modeOf(ini), mode);
        EXPECT_EQ(filesIn(dir), Names{"quillet.ini"});
        ::chmod(ini.c_str(), 0600);
    }
    ::chmod(ini.c_str(), 0200); // writable, though not readable
    saveSiteList(ini, {site("new")});
    EXPECT_EQ(readFile(ini), formatSiteList({site("new")}));
}

// The caller's class of the mode bits counts: the owner's, the group's or the others'.
TEST(SiteList, WriteProtectionFollowsTheCallersClass) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    const uid_t nobody = 65534;
    TempDir dir;
    ::chmod(dir.path().c_str(), 0777);
    struct Case {
        const char* name;
        uid_t owner;
        gid_t group;
        mode_t mode;
        bool protectedForNobody;
    };
    const Case cases[] = {
        {"own-ro", nobody, 0, 0466, true},    {"own-rw", nobody, 0, 0644, false},
        {"group-rw", 0, nobody, 0464, false}, {"group-ro", 0, nobody, 0646, true},
        {"other-rw", 0, 0, 0446, false},      {"other-ro", 0, 0, 0664, true},
    };
    for (const Case& c : cases) {
        const std::string ini = dir.file(c.name);
        writeFile(ini, kExampleLine);
        ASSERT_EQ(::chown(ini.c_str(), c.owner, c.group), 0);
        ::chmod(ini.c_str(), c.mode);
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int wrong = 0;
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
            ::_exit(100);
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const std::string ini = dir.file(cases[i].name);
            bool refused = false;
            try {
                saveSiteList(ini, {site("new")});
            } catch (const FileError& e) {
                refused = e.errnum() == EACCES;
            }
            const bool kept = readFile(ini) == kExampleLine;
            if (refused != cases[i].protectedForNobody || kept != refused)
                wrong |= 1 << i;
        }
        ::_exit(wrong);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "bit i set: case i decided wrongly";
}

// A settings file kept elsewhere through a link (a dotfiles folder, a shared drive) stays
// linked: the file the link names is replaced, beside itself.
TEST(SiteList, LinkedFileIsWrittenInPlaceOfItsTarget) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("real"));
    const std::string target = dir.file("real/sites.ini");
    writeFile(target, kExampleLine);
    const std::string ini = dir.file("quillet.ini");
    std::filesystem::create_symlink("real/sites.ini", ini);
    std::filesystem::create_symlink(ini, dir.file("chain.ini")); // a link to the link
    const std::vector<SiteEntry> sites = {site("a")};

    saveSiteList(dir.file("chain.ini"), sites);
    EXPECT_TRUE(std::filesystem::is_symlink(ini));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("chain.ini")));
    EXPECT_EQ(readFile(target), formatSiteList(sites));
    EXPECT_EQ(loadSiteList(ini), sites);
    EXPECT_EQ(filesIn(dir).size(), 3u);
    EXPECT_EQ(std::filesystem::directory_iterator(dir.file("real"))->path().filename(), "sites.ini");

    // A link whose file is not there yet gets it.
    std::filesystem::remove(target);
    saveSiteList(ini, sites);
    EXPECT_TRUE(std::filesystem::is_symlink(ini));
    EXPECT_EQ(readFile(target), formatSiteList(sites));

    // The target's protection counts, not the link's.
    ::chmod(target.c_str(), 0444);
    EXPECT_THROW(saveSiteList(ini, {}), FileError);
    EXPECT_EQ(readFile(target), formatSiteList(sites));

    const std::string loop = dir.file("loop.ini");
    std::filesystem::create_symlink("loop.ini", loop);
    try {
        saveSiteList(loop, sites);
        ADD_FAILURE() << "a link loop was saved";
    } catch (const FileError& e) {
        EXPECT_EQ(e.errnum(), ELOOP);
    }
    EXPECT_TRUE(std::filesystem::is_symlink(loop));
}

TEST(SiteList, PortFieldAsNumber) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"21", 21}, {"+21", 21},   {"65535", 65535},    {"", -1},  {"ftp", -1}, {"21a", -1},
        {"-1", -1}, {"65536", -1}, {"99999999999", -1}, {"+", -1},
    };
    for (const auto& [text, port] : cases)
        EXPECT_EQ(portNumber(text, -1), port) << text;
}

// A certificate is pinned to the stored site the connection was made to: name, host, port (as
// the connect read it) and user must all match; a site only typed in has no place to keep it.
TEST(SiteList, FindsTheSiteAConnectionWasMadeTo) {
    std::vector<SiteEntry> sites(4);
    sites[0] = {"diary", "ftp.example.jp", "21", "me", "", "", "", ""};
    sites[1] = {"diary", "ftp.example.jp", "ftp", "other", "", "", "", ""}; // a port that is no number
    sites[2] = {"board", "ftp.example.jp", "2121", "me", "", "", "", ""};
    sites[3] = {"board", "ftp.example.jp", "2121", "me", "", "", "", ""}; // twice: the first
    EXPECT_EQ(findSite(sites, "diary", "ftp.example.jp", 21, "me"), 0u);
    EXPECT_EQ(findSite(sites, "diary", "ftp.example.jp", 21, "other"), 1u);
    EXPECT_EQ(findSite(sites, "board", "ftp.example.jp", 2121, "me"), 2u);
    EXPECT_EQ(findSite(sites, "board", "ftp.example.jp", 21, "me"), std::nullopt);
    EXPECT_EQ(findSite(sites, "diary", "ftp.example.net", 21, "me"), std::nullopt);
    EXPECT_EQ(findSite(sites, "Diary", "ftp.example.jp", 21, "me"), std::nullopt);
}
