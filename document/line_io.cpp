#include "document/line_io.h"

#include <algorithm>
#include <cstring>

namespace quillet::doc {

namespace {
constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kEndOfText = '\x1a';
} // namespace

std::size_t StringSource::read(char* buf, std::size_t n) {
    std::size_t count = std::min(n, data_.size() - pos_);
    std::memcpy(buf, data_.data() + pos_, count);
    pos_ += count;
    return count;
}

LineReader::LineReader(ByteSource& source, std::size_t bufferSize)
    : source_(source), buf_(std::max<std::size_t>(bufferSize, 1)) {}

bool LineReader::fill() {
    if (sourceDone_)
        return false;
    pos_ = 0;
    end_ = source_.read(buf_.data(), buf_.size());
    if (end_ == 0)
        sourceDone_ = true;
    return end_ > 0;
}

bool LineReader::atEnd() {
    if (textEnded_)
        return true;
    if (pos_ < end_)
        return buf_[pos_] == kEndOfText;
    if (!fill()) {
        textEnded_ = true;
        return true;
    }
    return buf_[pos_] == kEndOfText;
}

template <class Piece> bool LineReader::readPieces(Piece&& piece) {
    if (atEnd()) {
        textEnded_ = true;
        return false;
    }
    for (;;) {
        if (pos_ == end_ && !fill()) {
            textEnded_ = true;
            return true; // last line without a line end
        }
        const char* start = buf_.data() + pos_;
        const char* stop = buf_.data() + end_;
        // The line runs to the first CR or end-of-text byte, whichever comes first.
        const char* cr = static_cast<const char*>(std::memchr(start, kCR, stop - start));
        const char* limit = cr ? cr : stop;
        const char* eot = static_cast<const char*>(std::memchr(start, kEndOfText, limit - start));
        if (eot) {
            if (eot > start)
                piece(start, static_cast<std::size_t>(eot - start));
            pos_ = static_cast<std::size_t>(eot - buf_.data());
            textEnded_ = true;
            return true;
        }
        if (limit > start)
            piece(start, static_cast<std::size_t>(limit - start));
        if (!cr) {
            pos_ = end_;
            continue;
        }
        pos_ = static_cast<std::size_t>(cr - buf_.data()) + 1;
        // A LF right after the CR belongs to the same line end, even across a buffer refill.
        if (pos_ == end_ && !fill())
            return true;
        if (buf_[pos_] == kLF)
            ++pos_;
        return true;
    }
}

bool LineReader::readLine(std::string& line) {
    line.clear();
    return readPieces([&line](const char* data, std::size_t n) { line.append(data, n); });
}

bool LineReader::readThrough(const MarkerTest& test, LineWriter* copy) {
    for (;;) {
        MarkerScan scan(test);
        const bool read = readPieces([&](const char* data, std::size_t n) {
            scan.feed({data, n});
            if (copy)
                copy->put(data, n);
        });
        if (!read)
            return false;
        if (copy)
            copy->put("\r\n", 2);
        if (scan.passed())
            return true;
    }
}

void LineReader::copyRestTo(LineWriter& out) {
    bool lineOpen = false; // bytes written since the last line end
    bool afterCR = false;  // the last byte seen was a CR whose LF may start the next buffer
    while (!textEnded_) {
        if (pos_ == end_ && !fill())
            break;
        if (afterCR) {
            afterCR = false;
            if (buf_[pos_] == kLF) {
                out.put(&buf_[pos_], 1);
                ++pos_;
                continue;
            }
            out.put("\n", 1); // a bare CR gets its LF
        }
        const char* start = buf_.data() + pos_;
        const char* stop = buf_.data() + end_;
        const char* eot = static_cast<const char*>(std::memchr(start, kEndOfText, stop - start));
        const char* limit = eot ? eot : stop;
        const char* run = start;
        const char* p = start;
        while (const char* cr = static_cast<const char*>(std::memchr(p, kCR, limit - p))) {
            p = cr + 1;
            if (p == limit) {
                if (eot) { // CR right before the end of text: a complete line end
                    out.put(run, p - run);
                    out.put("\n", 1);
                    run = p;
                } else {
                    afterCR = true;
                }
                break;
            }
            if (*p == kLF) {
                ++p; // CR LF stays as it is, inside the run
                continue;
            }
            out.put(run, p - run);
            out.put("\n", 1);
            run = p;
        }
        out.put(run, limit - run);
        if (limit > start) {
            // Open when the copied bytes do not end in a line end just written.
            const bool endsWithCrLf = limit - start >= 2 && limit[-2] == kCR && limit[-1] == kLF;
            lineOpen = !afterCR && !endsWithCrLf && !(limit[-1] == kCR);
        }
        pos_ = static_cast<std::size_t>(limit - buf_.data());
        if (eot)
            textEnded_ = true;
    }
    if (afterCR)
        out.put("\n", 1);
    else if (lineOpen)
        out.put("\r\n", 2);
    textEnded_ = true;
}

LineWriter::LineWriter(ByteSink& sink, std::size_t bufferSize)
    : sink_(sink), buf_(std::max<std::size_t>(bufferSize, 16)) {}

void LineWriter::put(const char* data, std::size_t n) {
    if (used_ + n > buf_.size()) {
        flush();
        if (n >= buf_.size()) {
            sink_.write(data, n);
            return;
        }
    }
    std::memcpy(buf_.data() + used_, data, n);
    used_ += n;
}

void LineWriter::writeLine(std::string_view text) {
    put(text.data(), text.size());
    put("\r\n", 2);
}

void LineWriter::flush() {
    if (used_ > 0) {
        sink_.write(buf_.data(), used_);
        used_ = 0;
    }
}

std::vector<std::string> splitLines(std::string_view text) {
    StringSource source{std::string(text)};
    LineReader reader(source);
    std::vector<std::string> lines;
    std::string line;
    while (reader.readLine(line))
        lines.push_back(line);
    return lines;
}

} // namespace quillet::doc
