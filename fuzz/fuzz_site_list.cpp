// The settings file. Any bytes must parse without a crash, and what was parsed must survive
// being written and read again. Sites built from the input, with every mode, security and pin,
// must read back as written, less the CR, LF and 0x1A bytes the writer leaves out.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "document/site_list.h"

using namespace quillet::doc;

namespace {
std::string withoutLineEnds(std::string s) {
    std::erase_if(s, [](char c) { return c == '\r' || c == '\n' || c == '\x1a'; });
    return s;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<SiteEntry> parsed = parseSiteList(text);
    if (parseSiteList(formatSiteList(parsed)) != parsed)
        std::abort();

    const int port = portNumber(text, -1);
    if (port < -1 || port > 65535)
        std::abort();

    FuzzedDataProvider in(data, size);
    std::vector<SiteEntry> sites, expected;
    while (in.remaining_bytes() > 0) {
        SiteEntry& site = sites.emplace_back();
        SiteEntry& clean = expected.emplace_back();
        for (std::string* field : {&site.title, &site.host, &site.port, &site.user, &site.password,
                                   &site.proxy, &site.proxyPort, &site.home, &site.pin})
            *field = in.ConsumeRandomLengthString(32);
        site.mode = in.ConsumeBool() ? DataMode::Active : DataMode::Passive;
        site.security = in.ConsumeBool() ? Security::Plain : Security::TlsRequired;
        clean = {withoutLineEnds(site.title),
                 withoutLineEnds(site.host),
                 withoutLineEnds(site.port),
                 withoutLineEnds(site.user),
                 withoutLineEnds(site.password),
                 withoutLineEnds(site.proxy),
                 withoutLineEnds(site.proxyPort),
                 withoutLineEnds(site.home),
                 site.mode,
                 site.security,
                 withoutLineEnds(site.pin)};
    }
    if (parseSiteList(formatSiteList(sites)) != expected)
        std::abort();
    return 0;
}
