// The markup dialogs' fields take whatever is typed. The start number: any text parses without a
// crash, and leaving the field once settles it (normalising again changes nothing and keeps the
// number). Sizes: only a token reaches a FONT tag. The title-mark tag: any path gives one tag
// that neither ends early nor breaks the title record's line or the page's text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "markup/markup.h"

using namespace quillet::markup;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const auto number = parseStartNumber(text);
    const std::string once = normalizeStartNumber(text);
    if (normalizeStartNumber(once) != once || parseStartNumber(once) != number)
        std::abort();
    if (size > 0) {
        const int type = data[0] % kListTypeCount;
        const std::string list = listSkeleton(type, number);
        if (!list.ends_with("\r\n") ||
            (list.find("START=") != std::string::npos) != (number.has_value() && listTakesStartNumber(type)))
            std::abort();
    }

    const std::uint32_t color = size > 1 ? data[1] : 0;
    const FontChoice choice{size > 0 && data[0] & 1, size > 0 && data[0] & 2, color, std::string(text)};
    const Wrap font = fontWrap(choice);
    if ((font.before.find("SIZE") != std::string::npos) != isSizeToken(text) ||
        (font.before.find("COLOR") != std::string::npos) != (color != 0))
        std::abort();

    // The tag's own "<", quotes and ">" are its only ones, and nothing ends a line or the text.
    const std::string tag = titleMarkTag(text);
    const std::string_view inner = std::string_view(tag).substr(10, tag.size() - 12);
    if (!tag.starts_with("<IMG SRC=\"") || !tag.ends_with("\">") ||
        inner.find_first_of(std::string_view("<>\"\r\n\x1a")) != std::string_view::npos)
        std::abort();
    return 0;
}
