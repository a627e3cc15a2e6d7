// A title record as the writer composes it, taken back apart the way Edit-last reads it (its
// lines run together without the two marker lines), must decode to the title and style written.
// Titles are kept to what the record can carry: no CR or 0x1A (they end the line or the text),
// no leading LF (it would join the CR before it), and none of the tags the decoder looks for.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "document/entry_rework.h"
#include "document/line_io.h"
#include "document/page_format.h"
#include "markup/markup.h"

using namespace quillet::doc;

namespace {
constexpr std::array<std::string_view, 8> kDecodedTags = {"<B>",      "</B>",  "<I>",     "</I>",
                                                          "<IMG SRC", "<FONT", "</FONT>", "<BR>"};
// What the font dialog lets through to the page, and none.
constexpr std::array<std::string_view, 18> kSizes = {"",   "1",  "2",  "3",  "4",  "5",  "6",  "7",  "-5",
                                                     "-4", "-3", "-2", "-1", "+1", "+2", "+3", "+4", "+5"};

bool carriedByRecord(std::string_view title) {
    if (title.find_first_of(std::string_view("\r\x1a")) != std::string_view::npos || title.starts_with('\n'))
        return false;
    for (std::string_view tag : kDecodedTags)
        if (title.find(tag) != std::string_view::npos)
            return false;
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    Entry e;
    e.style.bold = in.ConsumeBool();
    e.style.italic = in.ConsumeBool();
    e.titleMark = in.ConsumeBool();
    e.style.color = in.ConsumeIntegral<std::int32_t>();
    e.style.size = kSizes[in.ConsumeIntegralInRange<std::size_t>(0, kSizes.size() - 1)];
    e.style.markTag = quillet::markup::titleMarkTag(in.ConsumeRandomLengthString(64));
    e.title = in.ConsumeRemainingBytesAsString();
    if (!carriedByRecord(e.title))
        return 0;

    StringSource page(titleRecordLine(e) + "\r\n");
    LineReader reader(page, 64);
    std::vector<std::string> lines;
    for (std::string line; reader.readLine(line);)
        lines.push_back(line);
    std::string record;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i)
        record += lines[i];
    const DecodedTitle d = decodeTitle(record);

    const TitleStyle& s = e.style;
    const bool font = s.color >= 1 || !s.size.empty();
    if (d.title != e.title || d.bold != s.bold || d.italic != s.italic || d.markOn != e.titleMark)
        std::abort();
    if (e.titleMark ? d.markTag != s.markTag : d.markTag.has_value())
        std::abort();
    if (s.color >= 1 ? d.color != s.color : d.color.has_value())
        std::abort();
    if (font && !s.size.empty() ? d.size != s.size : d.size.has_value())
        std::abort();
    return 0;
}
