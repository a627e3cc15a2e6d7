#pragma once
// The page's line model. Reading: a line ends at CR or CR LF; a LF alone stays inside the line;
// 0x1A ends the text; the last line needs no end; lines have no length limit. Writing: every
// line ends in CR LF. Both stream through a fixed buffer, so memory does not grow with the page;
// only readLine holds a whole line, for the lines a caller keeps (the recalled entry).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "document/file_io.h"
#include "document/markers.h"

namespace quillet::doc {

// Where bytes come from: a file, or memory in tests.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::size_t read(char* buf, std::size_t n) = 0; // 0 at the end
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(const char* data, std::size_t n) = 0;
};

class FileSource : public ByteSource {
public:
    explicit FileSource(InputFile& file) : file_(file) {}
    std::size_t read(char* buf, std::size_t n) override { return file_.read(buf, n); }

private:
    InputFile& file_;
};

class FileSink : public ByteSink {
public:
    explicit FileSink(OutputFile& file) : file_(file) {}
    void write(const char* data, std::size_t n) override { file_.write(data, n); }

private:
    OutputFile& file_;
};

class StringSource : public ByteSource {
public:
    explicit StringSource(std::string data) : data_(std::move(data)) {}
    std::size_t read(char* buf, std::size_t n) override;

private:
    std::string data_;
    std::size_t pos_ = 0;
};

class StringSink : public ByteSink {
public:
    void write(const char* data, std::size_t n) override { data_.append(data, n); }
    const std::string& data() const { return data_; }

private:
    std::string data_;
};

class LineWriter;

class LineReader {
public:
    static constexpr std::size_t kBufferSize = 256 * 1024;
    explicit LineReader(ByteSource& source, std::size_t bufferSize = kBufferSize);
    // Reads the next line into `line` without its end; false when the text has ended.
    bool readLine(std::string& line);
    // Reads lines up to and including the first one that passes `test`, copying each with CR LF
    // into `copy` when one is given; false when the text ended first. No line is held: its bytes
    // pass through in pieces, so a line may be longer than memory.
    bool readThrough(const MarkerTest& test, LineWriter* copy = nullptr);
    bool atEnd();
    // Copies the rest of the text with every line ended by CR LF: the same bytes as reading and
    // writing it line by line, but copied in long runs, since most lines already end in CR LF.
    void copyRestTo(LineWriter& out);

private:
    bool fill();
    // Reads the next line, handing its bytes to `piece` in order, cut where the buffer is.
    template <class Piece> bool readPieces(Piece&& piece);
    ByteSource& source_;
    std::vector<char> buf_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool sourceDone_ = false;
    bool textEnded_ = false; // 0x1A seen or source exhausted
};

class LineWriter {
public:
    static constexpr std::size_t kBufferSize = 256 * 1024;
    explicit LineWriter(ByteSink& sink, std::size_t bufferSize = kBufferSize);
    ~LineWriter() = default; // unflushed data is dropped on purpose: an aborted rewrite
    // Writes the text followed by CR LF.
    void writeLine(std::string_view text);
    // Writes bytes as they are.
    void put(const char* data, std::size_t n);
    void flush();

private:
    ByteSink& sink_;
    std::vector<char> buf_;
    std::size_t used_ = 0;
};

// Splits a whole text by the reading rule; for tests and small texts.
std::vector<std::string> splitLines(std::string_view text);

} // namespace quillet::doc
