// The page's line rules under any bytes. LineReader's fast copy (copyRestTo) must write exactly
// what reading the rest line by line and writing each line writes, whatever the buffer size and
// however many lines were read first. Its streaming read (readThrough, which holds no line) must
// stop after the line that each marker test picks from the whole lines, having copied exactly the
// lines before it, wherever the buffer cuts the lines. And the rewrites built on it (Save, Delete-last,
// Edit-last: CopyThroughMarker, the newest-entry search, CopyRest) must leave, in a real page file, the page
// that a plain model of the line rules predicts, with the old page as the backup, or leave the
// page alone when there is no entry end.
// Byte 0 picks the reader's buffer size, byte 1 how many lines are read before the copy and,
// by its top bit, whether the file rewrites run too (they are a thousand times slower).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "document/entry_rework.h"
#include "document/entry_writer.h"
#include "document/file_io.h"
#include "document/line_io.h"
#include "document/markers.h"
#include "document/page_encoding.h"
#include "document/page_rewrite.h"

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

// The line rule written out plainly: a line ends at CR or CR LF, 0x1A ends the text, the last
// line needs no end.
std::vector<std::string> modelLines(std::string_view text) {
    text = text.substr(0, text.find('\x1a'));
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t cr = text.find('\r', pos);
        if (cr == std::string_view::npos) {
            lines.emplace_back(text.substr(pos));
            break;
        }
        lines.emplace_back(text.substr(pos, cr - pos));
        pos = cr + 1;
        if (pos < text.size() && text[pos] == '\n')
            ++pos;
    }
    return lines;
}

std::string joined(const std::vector<std::string>& lines, std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t i = from; i < to && i < lines.size(); ++i)
        out += lines[i] + "\r\n";
    return out;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A scratch folder for the page, in memory where the machine has one.
const std::string& scratch() {
    static const std::string dir = [] {
        std::string tmpl =
            ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/quillet-fuzz-XXXXXX" : "/tmp/quillet-fuzz-XXXXXX";
        if (!::mkdtemp(tmpl.data()))
            std::abort();
        return tmpl;
    }();
    return dir;
}

bool beginsWith(std::string_view line, std::string_view marker) { return line.starts_with(marker); }

// readThrough, copying or skipping, then the rest copied, against the lines split by the model.
void checkReadThrough(const std::string& text, std::size_t bufferSize) {
    const std::vector<std::string> lines = modelLines(text);
    const MarkerTest tests[] = {{kInsMarker, Match::Equals},
                                {kInsMarker, Match::BeginsWith},
                                {kInsMarker, Match::Contains},
                                {kEndMarker, Match::Equals},
                                {kEndMarker, Match::BeginsWith}};
    for (const MarkerTest& test : tests) {
        std::size_t through = 0;
        while (through < lines.size() && !test(lines[through]))
            ++through;
        const bool found = through < lines.size();
        if (found)
            ++through;
        for (bool copying : {true, false}) {
            StringSource source(text);
            LineReader in(source, bufferSize);
            StringSink sink;
            LineWriter out(sink, 16);
            if (in.readThrough(test, copying ? &out : nullptr) != found)
                std::abort();
            const std::string head = copying ? joined(lines, 0, through) : "";
            out.flush();
            if (sink.data() != head)
                std::abort();
            in.copyRestTo(out);
            out.flush();
            if (sink.data() != head + joined(lines, through, lines.size()))
                std::abort();
        }
    }
}

void checkRewrites(const std::string& text) {
    // A page that declares an encoding Quillet does not write into is refused by every rewrite;
    // the line rules are for the others.
    try {
        encodingFor(findDeclaration(text));
    } catch (const EncodingRefusedError&) {
        return;
    }
    const std::vector<std::string> lines = modelLines(text);
    std::size_t head = lines.size(); // lines through the marker
    bool hasMarker = false;
    for (std::size_t i = 0; i < lines.size() && !hasMarker; ++i)
        if (lines[i] == "<!-INS-!>") {
            head = i + 1;
            hasMarker = true;
        }
    auto endAfterHead = [&](bool equals) {
        for (std::size_t i = head; i < lines.size(); ++i)
            if (equals ? lines[i] == "<!-END-!>" : beginsWith(lines[i], "<!-END-!>"))
                return i;
        return lines.size();
    };
    const std::string page = scratch() + "/page.html", bak = scratch() + "/page.BAK",
                      tmp = scratch() + "/page.TMP";
    ::unlink(bak.c_str());

    // Edit-last, as the window runs it.
    put(page, text);
    {
        PageRewrite rw(page);
        if (rw.CopyThroughMarker() != hasMarker)
            std::abort();
        const RecalledEntry e = readNewestEntry(rw);
        const std::size_t end = endAfterHead(false);
        if (e.endFound != (end < lines.size()))
            std::abort();
        std::vector<std::string> body;
        bool inTitle = false;
        for (std::size_t i = head; i < end; ++i) {
            const std::string& l = lines[i];
            if (l == "<!-TTL-A-!>")
                inTitle = true;
            else if (l == "<!-TTL-B-!>")
                inTitle = false;
            else if (!inTitle && !beginsWith(l, "<!-BDY-A-!>") && !beginsWith(l, "<!-BDY-B-!>"))
                body.push_back(l);
        }
        if (e.body != body)
            std::abort();
        if (e.endFound) {
            rw.CopyRest();
            rw.commit();
            if (slurp(page) != joined(lines, 0, head) + joined(lines, end + 1, lines.size()) ||
                slurp(bak) != text)
                std::abort();
        }
    }
    if (::access(tmp.c_str(), F_OK) == 0)
        std::abort();

    // Delete-last: the end is a line equal to the marker; without one the page stays.
    put(page, text);
    ::unlink(bak.c_str());
    const std::size_t end = endAfterHead(true);
    const ReworkOutcome done = deleteNewestEntry(page);
    if ((done == ReworkOutcome::Done) != (end < lines.size()))
        std::abort();
    const std::string expected =
        end < lines.size() ? joined(lines, 0, head) + joined(lines, end + 1, lines.size()) : text;
    if (slurp(page) != expected || (end < lines.size() && slurp(bak) != text))
        std::abort();

    // Save: the entry goes right after the marker line, and only when there is one.
    put(page, text);
    Entry entry;
    entry.body = {"x"};
    const WriteOutcome wrote = writeEntry(page, entry, SaveMode::Insert);
    if ((wrote == WriteOutcome::Written) != hasMarker)
        std::abort();
    const std::string saved = hasMarker ? joined(lines, 0, head) +
                                              "<!-BDY-A-!>\r\nx\r\n<!-BDY-B-!><HR>\r<!-END-!>\r\n" +
                                              joined(lines, head, lines.size())
                                        : text;
    if (slurp(page) != saved)
        std::abort();
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
        rewrite(text, bufferSize, 16, linesFirst, true) != expected ||
        expected != joined(modelLines(text), 0, SIZE_MAX))
        std::abort();
    checkReadThrough(text, bufferSize);

    if (data[1] & 0x80)
        checkRewrites(text);
    return 0;
}
