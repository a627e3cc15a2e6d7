// The FTP client's reply and listing rules see whatever a server sends: any bytes must go
// through them without a crash or a hang, and their results must stay within what they promise.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "net/ftp_parse.h"

using namespace quillet::net;

namespace {
// Lines keep their LF, as the client reads them.
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t pos = 0; pos <= text.size();) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        lines.push_back(text.substr(pos, end + 1 - pos));
        pos = end + 1;
    }
    return lines;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string_view> lines = linesOf(text);

    ReplyReader reader;
    bool more = reader.start(lines.front());
    TFTPUnixList listing;
    for (std::string_view line : lines) {
        if (const auto code = replyCode(line)) {
            if (*code < 100 || *code > 599 || !isDigit(line[0]) || !isDigit(line[1]) || !isDigit(line[2]))
                std::abort();
        }
        if (more)
            more = reader.next(line);

        const std::uint64_t count = ParseByteCount(line);
        if (count != 0 && line.find(std::to_string(count)) == std::string_view::npos)
            std::abort();

        const std::string stripped = stripListingLineEnd(std::string(line));
        if (!line.starts_with(stripped) || line.size() - stripped.size() > 2)
            std::abort();

        const std::size_t names = listing.Names.size();
        listing.ParseLine(stripped);
        if (listing.Names.size() > names + 1 || listing.FieldCount < 1)
            std::abort();
        for (const std::string& field : listing.Fields)
            if (field.size() > TFTPDirectoryList::kMaxFieldLength)
                std::abort();

        // A passive reply gives a port that is not 0, and only from the code it must have.
        if (const auto port = pasvPort(line); port && (*port == 0 || replyCode(line) != 227))
            std::abort();
        if (const auto port = epsvPort(line); port && (*port == 0 || replyCode(line) != 229))
            std::abort();
        ServerFeatures features;
        noteFeature(line, features);
        if ((features.utf8 || features.size) && !line.starts_with(' '))
            std::abort();

        (void)classifyCommand(line);
        (void)vendorFromSyst(line);
        if (isSafeArgument(line) &&
            line.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
            std::abort();
    }
    if (listing.Names.size() != listing.Sizes.size() || listing.Names.size() != listing.Dates.size() ||
        listing.Names.size() != listing.Attributes.size())
        std::abort();
    return 0;
}
