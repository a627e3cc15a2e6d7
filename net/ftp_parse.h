#pragma once
// The FTP client's text rules, apart from any socket: reply codes and where a multi-line reply
// ends, byte counts in replies, command classification, argument checks, the PORT argument, the
// server-type table and the listing parsers. Lines are CP932 bytes.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::net {

enum class TCmdType : std::uint8_t {
    cmdChangeDir,
    cmdMakeDir,
    cmdDelete,
    cmdRemoveDir,
    cmdList,
    cmdRename,
    cmdUploadRestore,
    cmdDownloadRestore,
    cmdDownload,
    cmdUpload,
    cmdUploadAppend,
    cmdReInit,
    cmdAllocate,
    cmdNList,
    cmdDoCommand,
    cmdPrintDir,
};

// The three-digit code a reply line begins with, when it is one from 100 to 599.
std::optional<int> replyCode(std::string_view line);

// Multi-line replies end at the line that begins with the first line's code and a space. A
// first line that opens no multi-line reply ("NNN-") is complete by itself; the older rule
// (a leading space or "-" as fourth character continues the reply) still holds for the lines
// inside it, so replies built the usual way read as before.
class ReplyReader {
public:
    // Feeds the first line of a reply; true when more lines belong to it.
    bool start(std::string_view firstLine);
    // Feeds a following line; true when still more lines belong to the reply.
    bool next(std::string_view line) const;

private:
    std::string code_;
};

// The steps at which the client reads a reply.
enum class ReplyStep : std::uint8_t {
    Greeting, // the server's first words
    LogIn,    // USER, PASS
    Quit,
    Command,  // DoCommand: TYPE, CWD, SYST ...
    Port,     // announcing the data connection
    Transfer, // LIST, RETR, STOR
    Size,     // SIZE before a download or after an upload
    Auth,     // AUTH TLS: only 234 lets the handshake start
    Protect,  // PBSZ, PROT: anything but a 2xx reply refuses the protection
    Data,     // a reply that comes while the data flows
    Final,    // the reply that ends a transfer
};
enum class Verdict : std::uint8_t {
    Good,
    Failed,
    Unsupported, // failed, with 500, 501 or 502: the server does not know the command
};
// The client's reply rules in one place: what a reply code means at a step.
Verdict judgeReply(ReplyStep step, int code);

// Whether a line opens or continues a reply by the old rule: a leading space, or "-" as the
// fourth character.
bool looksContinued(std::string_view line);

// The byte count of a reply such as "150 Opening ... (2048 bytes)": the number nearest before
// "BYTE" (any case); 0 when there is none.
std::uint64_t ParseByteCount(std::string_view line);

// The size a transfer reply announces in the form servers use for it, "(2048 bytes)"; nothing
// for any other wording ("150 12.3 kbytes to download", "150 bytes follow"), where the number
// ParseByteCount finds is no promise of what comes.
std::optional<std::uint64_t> announcedSize(std::string_view line);

// The size of a "213 2048" reply to SIZE; nothing for any other reply.
std::optional<std::uint64_t> sizeFromReply(std::string_view line);

TCmdType classifyCommand(std::string_view command);

// A command argument may not hold CR, LF or NUL: it would end the command line early and
// smuggle another command onto the control connection.
bool isSafeArgument(std::string_view text);

// The port of a "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)" reply. The address in it is
// not looked at: the data connection goes to the control connection's peer, so neither the
// server nor anybody on the way can send it elsewhere.
std::optional<std::uint16_t> pasvPort(std::string_view reply);
// The port of a "229 Entering Extended Passive Mode (|||port|)" reply.
std::optional<std::uint16_t> epsvPort(std::string_view reply);
// The EPRT argument for a local address: "|1|192.0.2.5|1025|" or "|2|2001:db8::5|1025|".
std::string eprtArgument(bool ipv6, std::string_view host, std::uint16_t port);

// What a FEAT reply says of the features the client uses.
struct ServerFeatures {
    bool utf8 = false; // names are UTF-8
    bool size = false; // SIZE gives a file's size
};
// Notes the feature a line of the FEAT reply lists (" UTF8", " SIZE"); other lines say nothing.
void noteFeature(std::string_view line, ServerFeatures& features);

// "h1,h2,h3,h4" for an IPv4 address in host byte order.
std::string portAddress(std::uint32_t ipv4);
// ",p1,p2", high byte first.
std::string portNumbers(std::uint16_t port);

// Server-type codes; 2411 means "detect on the first parsed listing".
enum : int {
    VendorUnix = 2400,
    VendorDos = 2401,
    VendorVm = 2402,
    VendorMac = 2404,
    VendorVms = 2406,
    VendorMvs = 2408,
    VendorOther = 2410,
    VendorDetect = 2411,
    VendorOs400 = 2414,
    VendorNetware = 2416,
};
// The code whose keyword the SYST reply holds first in the table's order; VendorOther when none.
int vendorFromSyst(std::string_view reply);
bool isKnownVendor(int vendor);

// Strips a listing line's end: the last two characters when the second-last is CR, else the
// last one; lines of one or two characters stay as they are.
std::string stripListingLineEnd(std::string line);

class TFTPDirectoryList {
public:
    static constexpr int kMaxFields = 25;
    static constexpr std::size_t kMaxFieldLength = 255;

    virtual ~TFTPDirectoryList() = default;
    // Splits the line into fields at runs of blanks; adds nothing to the lists.
    virtual void ParseLine(std::string_view line);
    void ClearLists();

    std::vector<std::string> Attributes, Names, Dates, Sizes;
    // Fields[1..FieldCount] of the line parsed last (only the first 25 are kept); Fields[0] is
    // unused.
    std::array<std::string, kMaxFields + 1> Fields;
    int FieldCount = 0;
};

class TFTPUnixList : public TFTPDirectoryList {
public:
    void ParseLine(std::string_view line) override;
};

} // namespace quillet::net
