#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

#include "document/file_io.h"
#include "document/site_list.h"
#include "temp_dir.h"

using namespace quillet::doc;
using namespace quillet::testing;

namespace {
using Fields = std::vector<std::string>;

const std::string kExampleLine = "\"test\",\"192.0.2.1\",\"21\",\"u1\",\"\",\"\",\"\",\"\"\r\n";
const SiteEntry kExample{"test", "192.0.2.1", "21", "u1", "", "", "", ""};

// A site from its first fields, the rest empty.
SiteEntry entry(Fields f) {
    f.resize(8);
    return {f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]};
}

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
        {"1,2,3,4,5,6,7,8,9,10\r\n", {entry({"1", "2", "3", "4", "5", "6", "7", "8"})}},
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

TEST(SiteList, PortFieldAsNumber) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"21", 21}, {"+21", 21},   {"65535", 65535},    {"", -1},  {"ftp", -1}, {"21a", -1},
        {"-1", -1}, {"65536", -1}, {"99999999999", -1}, {"+", -1},
    };
    for (const auto& [text, port] : cases)
        EXPECT_EQ(portNumber(text, -1), port) << text;
}
