#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "document/line_io.h"
#include "document/markers.h"

using namespace quillet::doc;

namespace {
std::vector<std::string> readAll(const std::string& text, std::size_t bufferSize) {
    StringSource source(text);
    LineReader reader(source, bufferSize);
    std::vector<std::string> lines;
    std::string line;
    while (reader.readLine(line))
        lines.push_back(line);
    return lines;
}

using Lines = std::vector<std::string>;

struct Case {
    std::string text;
    Lines lines;
};
} // namespace

// Every buffer size from one byte up must give the same lines: line ends, the LF of a CR LF and
// the end-of-text byte may all fall on a refill.
TEST(LineReader, LineModelHoldsAtEveryBufferBoundary) {
    const std::vector<Case> cases = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\r\r\nb", {"a", "", "b"}},
        {"\r\n\r\n", {"", ""}},
        {"one\ntwo\nthree\n", {"one\ntwo\nthree\n"}}, // LF alone stays inside the line
        {"a\n\r\nb", {"a\n", "b"}},
        {"a\r\nb\x1a"
         "c\r\nd",
         {"a", "b"}}, // 0x1A ends the text
        {"a\r\n\x1a\r\nb", {"a"}},
        {"\x1a"
         "abc",
         {}},
        {"x\r\n\r", {"x", ""}},
        {std::string("nul\0byte\r\n", 10), {std::string("nul\0byte", 8)}},
    };
    for (std::size_t size : {1u, 2u, 3u, 5u, 64u, 256u * 1024u}) {
        for (const auto& c : cases)
            EXPECT_EQ(readAll(c.text, size), c.lines) << "buffer " << size << " text " << c.text;
    }
}

TEST(LineReader, LinesHaveNoLengthLimit) {
    const std::string longLine(3 * 1024 * 1024 + 7, 'x');
    const Lines lines = readAll(longLine + "\r\nend", 4096);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], longLine);
    EXPECT_EQ(lines[1], "end");
}

TEST(LineWriter, EveryLineEndsInCrLfWhateverTheBuffer) {
    for (std::size_t size : {16u, 17u, 1024u}) {
        StringSink sink;
        LineWriter writer(sink, size);
        writer.writeLine("first");
        writer.writeLine("");
        writer.writeLine(std::string(100, 'y'));
        writer.writeLine("a\rb"); // composed lines keep their inner CR
        writer.flush();
        EXPECT_EQ(sink.data(), "first\r\n\r\n" + std::string(100, 'y') + "\r\na\rb\r\n");
    }
}

// The run copy must give exactly what reading and writing line by line gives, for any text
// and wherever the buffer boundaries fall.
TEST(LineReader, CopyRestEqualsLineByLineCopy) {
    std::mt19937 rng(7);
    const char alphabet[] = {'a', 'b', '\r', '\n', '\x1a'};
    std::uniform_int_distribution<int> pick(0, 9), length(0, 40);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (int i = length(rng); i > 0; --i) {
            int k = pick(rng);
            text += k < 5 ? 'a' : alphabet[k - 5]; // mostly text, some line ends
        }
        for (std::size_t size : {1u, 2u, 3u, 7u, 64u}) {
            StringSource s1(text), s2(text);
            LineReader r1(s1, size), r2(s2, size);
            StringSink expected, actual;
            LineWriter w1(expected, 16), w2(actual, 16);
            std::string line;
            // Read a first line each way, then copy the rest.
            if (r1.readLine(line))
                w1.writeLine(line);
            while (r1.readLine(line))
                w1.writeLine(line);
            if (r2.readLine(line))
                w2.writeLine(line);
            r2.copyRestTo(w2);
            w1.flush();
            w2.flush();
            ASSERT_EQ(actual.data(), expected.data())
                << "buffer " << size << " text " << ::testing::PrintToString(text);
        }
    }
}

namespace {
const MarkerTest kEveryTest[] = {
    {kInsMarker, Match::Equals}, {kInsMarker, Match::BeginsWith}, {kInsMarker, Match::Contains}};
}

// Lines around the marker's length, with the marker or a near miss at the start, inside, at the
// end, overlapping itself, cut into up to three pieces at every place.
TEST(MarkerScan, AgreesWithTheWholeLineTestWhereverTheLineIsCut) {
    const std::string m(kInsMarker), near = m.substr(0, m.size() - 1);
    const std::vector<std::string> lines = {"",
                                            "<",
                                            near,
                                            m,
                                            m + "x",
                                            "x" + m,
                                            "x" + m + "y",
                                            near + "x",
                                            near + m,
                                            "<!-" + m,
                                            m + m,
                                            std::string(3 * m.size(), 'a') + m,
                                            m + std::string(3 * m.size(), 'a'),
                                            "<!-INS-!<!-INS-!"};
    for (const MarkerTest& test : kEveryTest)
        for (const std::string& line : lines)
            for (std::size_t i = 0; i <= line.size(); ++i)
                for (std::size_t j = i; j <= line.size(); ++j) {
                    MarkerScan scan(test);
                    scan.feed(std::string_view(line).substr(0, i));
                    scan.feed(std::string_view(line).substr(i, j - i));
                    scan.feed(std::string_view(line).substr(j));
                    ASSERT_EQ(scan.passed(), test(line))
                        << "match " << int(test.match) << " line " << line << " cut " << i << "," << j;
                }
}

// readThrough must copy exactly what reading and writing line by line through the first passing
// line copies, and leave the reader where that does, for lines shorter than, as long as and far
// longer than both the marker and the buffer, with every buffer size from one byte up.
TEST(LineReader, ReadThroughPassesTheSameLinesAsReadingThemWhole) {
    const std::string longText = std::string(50, 'x') + "\n" + std::string(50, 'y'); // a LF stays inside
    const std::vector<std::string> texts = {
        "",
        "<!-INS-!>",
        "a\r\n<!-INS-!>\r\nrest\r\n",
        "a\r<!-INS-!>x\r<!-INS-!>\rrest",
        longText + "<!-INS-!>\r\n" + longText + "\r\n<!-INS-!>\r\nz",
        "<!-INS-!>" + longText + "\r\n<!-INS-!>\r\n",
        longText + "<!-IN\nS-!>\r\n<!-INS-!\r\n<!-INS-!>\x1a<!-INS-!>\r\n",
        longText + "\r\n" + longText + "<!-INS-!>", // last line without an end
        longText + "\x1a<!-INS-!>\r\n",
        "\r\r\n\r<!-INS-!>\r",
    };
    for (const std::string& text : texts)
        for (const MarkerTest& test : kEveryTest) {
            const Lines lines = readAll(text, text.size() + 1);
            const auto first = std::find_if(lines.begin(), lines.end(), test);
            const bool found = first != lines.end();
            const std::size_t through = found ? std::size_t(first - lines.begin()) + 1 : lines.size();
            std::string copied;
            for (std::size_t i = 0; i < through; ++i)
                copied += lines[i] + "\r\n";
            const Lines rest(lines.begin() + std::ptrdiff_t(through), lines.end());
            for (std::size_t size = 1; size <= 2 * longText.size() + 16; size += size < 24 ? 1 : 37) {
                SCOPED_TRACE("match " + std::to_string(int(test.match)) + " buffer " + std::to_string(size) +
                             " text " + ::testing::PrintToString(text));
                for (bool copying : {true, false}) {
                    StringSource source(text);
                    LineReader reader(source, size);
                    StringSink sink;
                    LineWriter writer(sink, 16);
                    EXPECT_EQ(reader.readThrough(test, copying ? &writer : nullptr), found);
                    writer.flush();
                    EXPECT_EQ(sink.data(), copying ? copied : "");
                    Lines after;
                    for (std::string line; reader.readLine(line);)
                        after.push_back(line);
                    EXPECT_EQ(after, rest);
                }
            }
        }
}
