#include <gtest/gtest.h>

#include "net/ftp_parse.h"

using namespace quillet::net;

TEST(FtpReply, CodesMustBeThreeDigitsFrom100To599) {
    EXPECT_EQ(replyCode("220 Welcome\r\n"), 220);
    EXPECT_EQ(replyCode("230-Logged in\r\n"), 230);
    EXPECT_EQ(replyCode("200\r\n"), 200);
    EXPECT_EQ(replyCode("599"), 599);
    for (const char* bad : {"", "22", "099 x", "600 x", "abc", "2200 x", "22a x", " 220 x", "HTTP/1.1 200"})
        EXPECT_FALSE(replyCode(bad)) << bad;
}

TEST(FtpReply, MultiLineRepliesEndAtTheirCodeAndASpace) {
    struct Case {
        std::vector<std::string> lines; // first line, then following lines
        std::size_t consumed;           // lines that belong to the reply
    };
    const std::vector<Case> cases = {
        {{"220 Ready\r\n", "331 next\r\n"}, 1},
        {{"220-Welcome\r\n", "220-more\r\n", "220 Ready\r\n", "331 x\r\n"}, 3},
        // Middle lines with plain text, a leading space, or another code.
        {{"230-Hello\r\n", "plain text\r\n", " indented\r\n", "200 not ours\r\n", "230 done\r\n", "x"}, 5},
        {{"220-A\r\n", "220\r\n", "next"}, 2},
        // A first line that is no proper opening falls back to the older rule.
        {{" 220 odd\r\n", "220-x\r\n", "220 y\r\n", "z"}, 3},
    };
    for (const auto& c : cases) {
        ReplyReader reader;
        std::size_t n = 1;
        bool more = reader.start(c.lines[0]);
        while (more && n < c.lines.size())
            more = reader.next(c.lines[n++]);
        EXPECT_EQ(n, c.consumed) << c.lines[0];
    }
}

TEST(FtpReply, ByteCounts) {
    EXPECT_EQ(ParseByteCount("150 Opening ASCII mode data connection for index.html (2048 bytes).\r\n"),
              2048u);
    EXPECT_EQ(ParseByteCount("150 Opening BINARY mode (0 Bytes)"), 0u);
    EXPECT_EQ(ParseByteCount("150 Opening data connection."), 0u);
    EXPECT_EQ(ParseByteCount("150 transferring bytes"), 150u); // the nearest number: the code
    EXPECT_EQ(ParseByteCount("bytes first 12"), 0u);
    EXPECT_EQ(ParseByteCount("150 x 5000000000 BYTES"), 5000000000u);
    EXPECT_EQ(ParseByteCount("150 " + std::string(40, '9') + " bytes"), 0u);
}

TEST(FtpCommands, ClassificationAndArguments) {
    EXPECT_EQ(classifyCommand("CWD x"), TCmdType::cmdChangeDir);
    EXPECT_EQ(classifyCommand("CWD"), TCmdType::cmdChangeDir);
    EXPECT_EQ(classifyCommand("cwd x"), TCmdType::cmdDoCommand);
    EXPECT_EQ(classifyCommand("DELE a"), TCmdType::cmdDelete);
    EXPECT_EQ(classifyCommand("MKD a"), TCmdType::cmdMakeDir);
    EXPECT_EQ(classifyCommand("RMD a"), TCmdType::cmdRemoveDir);
    EXPECT_EQ(classifyCommand("PWD"), TCmdType::cmdPrintDir);
    EXPECT_EQ(classifyCommand("PWD x"), TCmdType::cmdDoCommand);
    EXPECT_EQ(classifyCommand("TYPE A"), TCmdType::cmdDoCommand);
    EXPECT_TRUE(isSafeArgument("index.html"));
    EXPECT_TRUE(isSafeArgument("\x95\x5c.html"));
    for (const std::string& bad : {std::string("a\rb"), std::string("a\nDELE x"), std::string("a\0b", 3)})
        EXPECT_FALSE(isSafeArgument(bad));
    EXPECT_EQ(portAddress(0xC0A80005), "192,168,0,5");
    EXPECT_EQ(portNumbers(1025), ",4,1");
    EXPECT_EQ(portAddress(0x7F000001) + portNumbers(65535), "127,0,0,1,255,255");
}

TEST(FtpVendor, SystKeywordsInTableOrder) {
    EXPECT_EQ(vendorFromSyst("215 UNIX Type: L8\r\n"), VendorUnix);
    EXPECT_EQ(vendorFromSyst("215 NETWARE"), VendorNetware);
    EXPECT_EQ(vendorFromSyst("215 VMS"), VendorVms); // not VM: VMS is looked for first
    EXPECT_EQ(vendorFromSyst("215 VM/CMS"), VendorVm);
    EXPECT_EQ(vendorFromSyst("215 MACOS Peter's Server"), VendorMac);
    EXPECT_EQ(vendorFromSyst("215 OS/400"), VendorOs400);
    EXPECT_EQ(vendorFromSyst("215 Windows_NT"), VendorOther);
    EXPECT_EQ(vendorFromSyst("215 unix"), VendorOther);
    EXPECT_TRUE(isKnownVendor(VendorOther));
    EXPECT_FALSE(isKnownVendor(VendorDetect));
}

TEST(FtpListing, LineEndsAndUnixFields) {
    EXPECT_EQ(stripListingLineEnd("total 12\r\n"), "total 12");
    EXPECT_EQ(stripListingLineEnd("name\n"), "name");
    EXPECT_EQ(stripListingLineEnd("a\n"), "a\n");
    EXPECT_EQ(stripListingLineEnd("\r\n"), "\r\n");
    EXPECT_EQ(stripListingLineEnd("abc"), "ab"); // no line end: the last character still goes

    TFTPUnixList list;
    list.ParseLine("total 12");
    EXPECT_TRUE(list.Names.empty());
    list.ParseLine("-rw-r--r--   1 user  group    2048 Jan 10 12:00 index.html");
    list.ParseLine("drwxr-xr-x 2 u g 4096 Feb  3  2024 my folder");
    ASSERT_EQ(list.Names, (std::vector<std::string>{"index.html", "folder"}));
    // A name with a blank shifts every field counted from the end.
    EXPECT_EQ(list.Sizes, (std::vector<std::string>{"2048", "Feb"}));
    EXPECT_EQ(list.Dates[0], "Jan 10 12:00");
    EXPECT_EQ(list.Attributes[1], "drwxr-xr-x");
    EXPECT_EQ(list.FieldCount, 10);

    TFTPDirectoryList base;
    base.ParseLine(" lead  trail ");
    EXPECT_EQ(base.FieldCount, 4);
    EXPECT_EQ(base.Fields[1], "");
    EXPECT_EQ(base.Fields[3], "trail");
    base.ParseLine("");
    EXPECT_EQ(base.FieldCount, 1);
    base.ParseLine(std::string(1000, 'x'));
    EXPECT_EQ(base.Fields[1].size(), 255u);
    std::string many;
    for (int i = 1; i <= 40; ++i)
        many += "f" + std::to_string(i) + " ";
    list.ClearLists();
    list.ParseLine(many); // more fields than kept: bounded, nothing out of range
    EXPECT_EQ(list.Names.size(), 1u);
    EXPECT_EQ(list.Fields[25], "f25");
}

// Only the wording servers use for a size counts as a promise of what comes.
TEST(FtpReply, AnnouncedSizes) {
    EXPECT_EQ(announcedSize("150 Opening BINARY mode data connection for a.html (2048 bytes).\r\n"), 2048u);
    EXPECT_EQ(announcedSize("150 Opening (0 Bytes)"), 0u);
    EXPECT_EQ(announcedSize("150 (x) then (1 byte)"), 1u);
    for (const char* none : {"150 12.3 kbytes to download", "150 transferring bytes", "150 (2048 kbytes)",
                             "150 (bytes)", "150 ( 2048 bytes)", "150 (99999999999999999999 bytes)"})
        EXPECT_FALSE(announcedSize(none)) << none;

    EXPECT_EQ(sizeFromReply("213 1000\r\n"), 1000u);
    EXPECT_EQ(sizeFromReply("213 0"), 0u);
    for (const char* none : {"213 \r\n", "213 12 bytes\r\n", "213-1000\r\n", "550 1000\r\n", "2131000"})
        EXPECT_FALSE(sizeFromReply(none)) << none;
}

// The client's reply rules: which codes fail at which step. 421 (closing) fails everywhere, and
// while the data flows any error reply ends the transfer.
TEST(FtpReply, RulesByStep) {
    using enum Verdict;
    struct Case {
        ReplyStep step;
        std::vector<std::pair<int, Verdict>> codes;
    };
    const std::vector<Case> cases = {
        {ReplyStep::Greeting, {{220, Good}, {399, Good}, {400, Failed}, {421, Failed}, {530, Failed}}},
        {ReplyStep::LogIn,
         {{230, Good}, {331, Good}, {400, Good}, {401, Failed}, {421, Failed}, {530, Failed}}},
        {ReplyStep::Quit, {{221, Good}, {300, Good}, {301, Failed}, {421, Failed}, {500, Failed}}},
        {ReplyStep::Command,
         {{200, Good},
          {350, Good},
          {399, Good},
          {400, Failed},
          {421, Failed},
          {500, Unsupported},
          {502, Unsupported},
          {503, Failed},
          {550, Failed}}},
        {ReplyStep::Port, {{200, Good}, {301, Failed}, {421, Failed}, {500, Failed}, {501, Failed}}},
        {ReplyStep::Transfer,
         {{125, Good},
          {150, Good},
          {300, Good},
          {301, Failed},
          {421, Failed},
          {425, Failed},
          {501, Unsupported},
          {550, Failed}}},
        {ReplyStep::Size, {{213, Good}, {421, Failed}, {450, Good}, {500, Good}, {550, Good}}},
        {ReplyStep::Data,
         {{226, Good}, {399, Good}, {421, Failed}, {425, Failed}, {426, Failed}, {451, Failed}}},
        {ReplyStep::Final,
         {{226, Good}, {250, Good}, {421, Failed}, {426, Failed}, {452, Failed}, {552, Failed}}},
        {ReplyStep::Auth, {{234, Good}, {200, Failed}, {334, Failed}, {500, Failed}, {534, Failed}}},
        {ReplyStep::Protect, {{200, Good}, {299, Good}, {300, Failed}, {503, Failed}, {536, Failed}}},
    };
    for (const Case& c : cases)
        for (const auto& [code, verdict] : c.codes)
            EXPECT_EQ(judgeReply(c.step, code), verdict) << "step " << int(c.step) << " code " << code;
}

// Where a passive data connection goes: only the port is taken from the reply.
TEST(FtpParse, PassivePortsAndTheEprtArgument) {
    const std::vector<std::pair<std::string, std::optional<std::uint16_t>>> pasv = {
        {"227 Entering Passive Mode (127,0,0,1,4,1).\r\n", 1025},
        {"227 Entering Passive Mode (10,9,8,7,255,255)\r\n", 65535},
        {"227 =192,0,2,77,200,10\r\n", 51210}, // without the brackets
        {"227 Entering Passive Mode (127,0,0,1,4)\r\n", std::nullopt},
        {"227 Entering Passive Mode (127,0,0,1,4,256)\r\n", std::nullopt},
        {"227 Entering Passive Mode (127,0,0,1,0,0)\r\n", std::nullopt},
        {"227 Entering Passive Mode\r\n", std::nullopt},
        {"200 (127,0,0,1,4,1)\r\n", std::nullopt},
    };
    for (const auto& [reply, port] : pasv)
        EXPECT_EQ(pasvPort(reply), port) << reply;
    const std::vector<std::pair<std::string, std::optional<std::uint16_t>>> epsv = {
        {"229 Entering Extended Passive Mode (|||6446|)\r\n", 6446},
        {"229 ok (!!!1025!)\r\n", 1025},
        {"229 Entering Extended Passive Mode (||1|6446|)\r\n", std::nullopt}, // no address allowed
        {"229 Entering Extended Passive Mode (|||65536|)\r\n", std::nullopt},
        {"229 Entering Extended Passive Mode (|||0|)\r\n", std::nullopt},
        {"229 Entering Extended Passive Mode (|||6446)\r\n", std::nullopt},
        {"229 Entering Extended Passive Mode (111644611)\r\n", std::nullopt},
        {"500 EPSV not understood\r\n", std::nullopt},
    };
    for (const auto& [reply, port] : epsv)
        EXPECT_EQ(epsvPort(reply), port) << reply;
    EXPECT_EQ(eprtArgument(false, "192.0.2.5", 1025), "|1|192.0.2.5|1025|");
    EXPECT_EQ(eprtArgument(true, "2001:db8::5", 65535), "|2|2001:db8::5|65535|");
}

TEST(FtpParse, FeatureLines) {
    ServerFeatures features;
    for (const char* line : {"211-Features:\r\n", "UTF8\r\n", " UTF8X\r\n", " MDTM\r\n", " SIZES\r\n"})
        noteFeature(line, features);
    EXPECT_FALSE(features.utf8);
    EXPECT_FALSE(features.size);
    noteFeature(" utf8\r\n", features);
    noteFeature(" SIZE\n", features);
    EXPECT_TRUE(features.utf8);
    EXPECT_TRUE(features.size);
}
