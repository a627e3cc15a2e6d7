#include "net/ftp_parse.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace quillet::net {

std::optional<int> replyCode(std::string_view line) {
    if (line.size() < 3)
        return std::nullopt;
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return std::nullopt;
        code = code * 10 + (line[i] - '0');
    }
    // The code must stand alone: followed by a blank, a "-", or the line end.
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-' && line[3] != '\r' && line[3] != '\n')
        return std::nullopt;
    if (code < 100 || code > 599)
        return std::nullopt;
    return code;
}

bool looksContinued(std::string_view line) {
    return (!line.empty() && line[0] == ' ') || (line.size() >= 4 && line[3] == '-');
}

bool ReplyReader::start(std::string_view firstLine) {
    if (firstLine.size() >= 4 && firstLine[3] == '-' && replyCode(firstLine)) {
        code_ = std::string(firstLine.substr(0, 3));
        return true;
    }
    // Not a proper multi-line opening: the older rule decides.
    code_.clear();
    return looksContinued(firstLine);
}

bool ReplyReader::next(std::string_view line) const {
    if (code_.empty())
        return looksContinued(line);
    return !(line.size() >= 4 && line.substr(0, 3) == code_ && line[3] == ' ') &&
           !(line.size() == 3 && line == code_) &&
           !(line.size() >= 4 && line.substr(0, 3) == code_ && (line[3] == '\r' || line[3] == '\n'));
}

Verdict judgeReply(ReplyStep step, int code) {
    const auto from = [code](int low) {
        return code >= low && code <= 599 ? Verdict::Failed : Verdict::Good;
    };
    // 421: the server closes the connection; whatever was asked, it is not done.
    if (code == 421)
        return Verdict::Failed;
    switch (step) {
    case ReplyStep::Greeting: // a server that is full or refuses us says so here
    case ReplyStep::Data:     // 426 aborted, 425 no data connection, 451 local error ...
    case ReplyStep::Final:    // a transfer the server reports as failed is no success
        return from(400);
    case ReplyStep::LogIn:
        return from(401);
    case ReplyStep::Quit:
    case ReplyStep::Port:
        return from(301);
    case ReplyStep::Command:
    case ReplyStep::Transfer: {
        const Verdict verdict = from(step == ReplyStep::Command ? 400 : 301);
        return verdict == Verdict::Failed && code >= 500 && code <= 502 ? Verdict::Unsupported : verdict;
    }
    case ReplyStep::Size: // anything else only means no size: the 150 reply may still give one
        return Verdict::Good;
    case ReplyStep::Auth:
        return code == 234 ? Verdict::Good : Verdict::Failed;
    case ReplyStep::Protect:
        return code >= 200 && code <= 299 ? Verdict::Good : Verdict::Failed;
    }
    return Verdict::Good;
}

std::uint64_t ParseByteCount(std::string_view line) {
    std::string upper(line);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto at = upper.find("BYTE");
    if (at == std::string::npos)
        return 0;
    std::size_t end = at;
    while (end > 0 && !std::isdigit(static_cast<unsigned char>(upper[end - 1])))
        --end;
    if (end == 0)
        return 0;
    std::size_t begin = end;
    while (begin > 0 && std::isdigit(static_cast<unsigned char>(upper[begin - 1])))
        --begin;
    if (end - begin > 19)
        return 0; // does not convert
    std::uint64_t value = 0;
    for (std::size_t i = begin; i < end; ++i)
        value = value * 10 + static_cast<unsigned>(upper[i] - '0');
    return value;
}

namespace {
// The decimal number at the start of text, at most 19 digits; nothing when none starts there.
std::optional<std::uint64_t> leadingNumber(std::string_view text, std::size_t* length) {
    std::size_t n = 0;
    std::uint64_t value = 0;
    while (n < text.size() && n < 20 && std::isdigit(static_cast<unsigned char>(text[n])))
        value = value * 10 + static_cast<unsigned>(text[n++] - '0');
    *length = n;
    if (n == 0 || n > 19)
        return std::nullopt;
    return value;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}
} // namespace

std::optional<std::uint64_t> announcedSize(std::string_view line) {
    for (std::size_t open = line.find('('); open != std::string_view::npos; open = line.find('(', open + 1)) {
        std::size_t digits = 0;
        const auto value = leadingNumber(line.substr(open + 1), &digits);
        if (!value)
            continue;
        const std::string_view rest = line.substr(open + 1 + digits);
        if (startsWithNoCase(rest, " bytes)") || startsWithNoCase(rest, " byte)"))
            return value;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> sizeFromReply(std::string_view line) {
    if (replyCode(line) != 213 || line.size() < 5 || line[3] != ' ')
        return std::nullopt;
    std::size_t digits = 0;
    const auto value = leadingNumber(line.substr(4), &digits);
    const std::string_view rest = line.substr(4 + digits);
    if (!value || !(rest.empty() || rest == "\r\n" || rest == "\n"))
        return std::nullopt;
    return value;
}

TCmdType classifyCommand(std::string_view command) {
    const std::string word = std::string(command.substr(0, command.find(' '))) + " ";
    if (word == "CWD ")
        return TCmdType::cmdChangeDir;
    if (word == "DELE ")
        return TCmdType::cmdDelete;
    if (word == "MKD ")
        return TCmdType::cmdMakeDir;
    if (word == "RMD ")
        return TCmdType::cmdRemoveDir;
    if (command == "PWD")
        return TCmdType::cmdPrintDir;
    return TCmdType::cmdDoCommand;
}

bool isSafeArgument(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::optional<std::uint16_t> pasvPort(std::string_view reply) {
    if (replyCode(reply) != 227)
        return std::nullopt;
    // Six numbers from the first digit after the code on, "(" or not: servers differ.
    std::size_t at = reply.find_first_of("0123456789", 3);
    unsigned numbers[6];
    for (int i = 0; i < 6; ++i) {
        if (at == std::string_view::npos)
            return std::nullopt;
        std::size_t digits = 0;
        const auto value = leadingNumber(reply.substr(at), &digits);
        if (!value || *value > 255)
            return std::nullopt;
        numbers[i] = static_cast<unsigned>(*value);
        at += digits;
        if (i < 5) {
            if (at >= reply.size() || reply[at] != ',')
                return std::nullopt;
            ++at;
        }
    }
    const unsigned port = numbers[4] << 8 | numbers[5];
    if (port == 0)
        return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

std::optional<std::uint16_t> epsvPort(std::string_view reply) {
    if (replyCode(reply) != 229)
        return std::nullopt;
    const std::size_t open = reply.find('(');
    if (open == std::string_view::npos || reply.size() < open + 6)
        return std::nullopt;
    // (<d><d><d>port<d>): the delimiter is any printable character but a digit.
    const char d = reply[open + 1];
    if (d < 33 || d > 126 || (d >= '0' && d <= '9') || reply[open + 2] != d || reply[open + 3] != d)
        return std::nullopt;
    std::size_t digits = 0;
    const auto port = leadingNumber(reply.substr(open + 4), &digits);
    const std::size_t end = open + 4 + digits;
    if (!port || *port == 0 || *port > 65535 || end + 1 >= reply.size() || reply[end] != d ||
        reply[end + 1] != ')')
        return std::nullopt;
    return static_cast<std::uint16_t>(*port);
}

std::string eprtArgument(bool ipv6, std::string_view host, std::uint16_t port) {
    return std::string(ipv6 ? "|2|" : "|1|") + std::string(host) + "|" + std::to_string(port) + "|";
}

void noteFeature(std::string_view line, ServerFeatures& features) {
    // A feature line begins with a blank; its first word names the feature.
    if (line.empty() || line[0] != ' ')
        return;
    line.remove_prefix(1);
    const std::string_view word = line.substr(0, line.find_first_of(" \r\n"));
    if (startsWithNoCase(word, "utf8") && word.size() == 4)
        features.utf8 = true;
    else if (startsWithNoCase(word, "size") && word.size() == 4)
        features.size = true;
}

std::string portAddress(std::uint32_t ip) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%u,%u,%u,%u", (ip >> 24) & 0xFF, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF,
                  ip & 0xFF);
    return buf;
}

std::string portNumbers(std::uint16_t port) {
    char buf[16];
    std::snprintf(buf, sizeof buf, ",%d,%d", port >> 8, port & 0xFF);
    return buf;
}

int vendorFromSyst(std::string_view reply) {
    static constexpr std::pair<std::string_view, int> table[] = {
        {"UNIX", VendorUnix}, {"NETWARE", VendorNetware}, {"DOS", VendorDos},   {"VMS", VendorVms},
        {"MVS", VendorMvs},   {"VM", VendorVm},           {"MACOS", VendorMac}, {"OS/400", VendorOs400},
    };
    for (const auto& [keyword, code] : table)
        if (reply.find(keyword) != std::string_view::npos)
            return code;
    return VendorOther;
}

bool isKnownVendor(int v) {
    switch (v) {
    case VendorUnix:
    case VendorDos:
    case VendorVm:
    case VendorMac:
    case VendorVms:
    case VendorMvs:
    case VendorOther:
    case VendorOs400:
    case VendorNetware:
        return true;
    default:
        return false;
    }
}

std::string stripListingLineEnd(std::string line) {
    if (line.size() > 2)
        line.erase(line.size() - (line[line.size() - 2] == '\r' ? 2 : 1));
    return line;
}

void TFTPDirectoryList::ParseLine(std::string_view line) {
    for (auto& f : Fields)
        f.clear();
    FieldCount = 1;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ') {
            while (i < line.size() && line[i] == ' ')
                ++i;
            ++FieldCount; // counted on, but only the first fields are kept
            continue;
        }
        if (FieldCount <= kMaxFields && Fields[FieldCount].size() < kMaxFieldLength)
            Fields[FieldCount] += line[i];
        ++i;
    }
}

void TFTPDirectoryList::ClearLists() {
    Attributes.clear();
    Names.clear();
    Dates.clear();
    Sizes.clear();
}

void TFTPUnixList::ParseLine(std::string_view line) {
    TFTPDirectoryList::ParseLine(line);
    const int n = std::min(FieldCount, kMaxFields);
    if (n <= 7)
        return;
    Names.push_back(Fields[n]);
    Sizes.push_back(Fields[n - 4]);
    Dates.push_back(Fields[n - 3] + " " + Fields[n - 2] + " " + Fields[n - 1]);
    Attributes.push_back(Fields[1]);
}

} // namespace quillet::net
