// Decoding a title record taken from a page, which anyone may have edited by hand: any bytes
// must decode without a crash or a hang, and what comes out must be made of what went in.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "document/entry_rework.h"

using namespace quillet::doc;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const DecodedTitle d = decodeTitle(std::string(input));
    if (d.title.size() > input.size())
        std::abort();
    // A tag without ">" is its "<" alone.
    if (d.markTag && (!d.markTag->starts_with("<") || d.markTag->find('<', 1) != std::string::npos))
        std::abort();
    if (d.markTag && !d.markOn)
        std::abort();

    // The first NUL parts a tag from an attribute name.
    const auto cut = input.find('\0');
    const std::string_view tag = input.substr(0, cut);
    const std::string_view name = cut == std::string_view::npos ? "COLOR" : input.substr(cut + 1);
    const std::string value = AttributeValue(tag, name);
    if (value.find('"') != std::string::npos || (!value.empty() && tag.find(value) == std::string_view::npos))
        std::abort();

    // Only the last eight digits count.
    if (input.size() > 8 && HexValue(input) != HexValue(input.substr(input.size() - 8)))
        std::abort();
    return 0;
}
