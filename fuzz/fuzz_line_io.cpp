// LineReader's fast copy (copyRestTo) must write exactly what reading the rest line by line and
// writing each line writes, whatever the buffer size and however many lines were read first.
// Byte 0 picks the reader's buffer size, byte 1 how many lines are read before the copy.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "document/line_io.h"

using namespace quillet::doc;

namespace {
// Reads and writes the first lines one by one, then the rest one by one or in one copy.
std::string rewrite(const std::string& text, std::size_t readerBuffer, std::size_t writerBuffer,
                    unsigned linesFirst, bool copyRest) {
    StringSource source(text);
    LineReader in(source, readerBuffer);
    StringSink sink;
    LineWriter out(sink, writerBuffer);
    std::string line;
    for (unsigned i = 0; i < linesFirst && in.readLine(line); ++i)
        out.writeLine(line);
    if (copyRest)
        in.copyRestTo(out);
    else
        while (in.readLine(line))
            out.writeLine(line);
    out.flush();
    return sink.data();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::size_t bufferSize = data[0] % 64 + 1;
    const unsigned linesFirst = data[1] % 8;
    const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);

    // The whole text in one buffer: no refill to get wrong.
    const std::string expected = rewrite(text, text.size() + 1, 2 * text.size() + 2, 0, false);
    if (rewrite(text, bufferSize, 16, 0, false) != expected ||
        rewrite(text, bufferSize, 16, linesFirst, true) != expected)
        std::abort();
    return 0;
}
