#include "document/insertion_list.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>

#include "document/file_io.h"
#include "document/line_io.h"
#include "document/markers.h"
#include "document/page_lock.h"
#include "document/paths.h"
#include "document/work_files.h"

namespace quillet::doc {

namespace {

// A 64-bit fingerprint of a byte stream, whatever pieces it arrives in. Each step is one-to-one in
// the state, so pages that differ in one 8-byte word always differ; others collide with a chance
// of about 2^-64.
class Fingerprint {
public:
    void feed(const char* data, std::size_t n) {
        length_ += n;
        if (held_ > 0) {
            const std::size_t take = std::min(sizeof word_ - held_, n);
            std::memcpy(word_ + held_, data, take);
            held_ += take;
            data += take;
            n -= take;
            if (held_ < sizeof word_)
                return;
            state_ = step(state_, load(word_));
            held_ = 0;
        }
        for (; n >= sizeof word_; data += sizeof word_, n -= sizeof word_)
            state_ = step(state_, load(data));
        std::memcpy(word_, data, n);
        held_ = n;
    }

    std::uint64_t value() const {
        std::uint64_t h = state_;
        if (held_ > 0) {
            char last[sizeof word_] = {};
            std::memcpy(last, word_, held_);
            h = step(h, load(last));
        }
        h ^= length_;
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        h *= 0xC4CEB9FE1A85EC53ull;
        return h ^ (h >> 33);
    }

private:
    static std::uint64_t load(const char* bytes) {
        std::uint64_t w;
        std::memcpy(&w, bytes, sizeof w);
        return w;
    }
    static std::uint64_t step(std::uint64_t h, std::uint64_t w) {
        return std::rotl(h ^ (w * 0x9E3779B97F4A7C15ull), 31) * 0xC2B2AE3D27D4EB4Full;
    }
    std::uint64_t state_ = 0x243F6A8885A308D3ull;
    std::uint64_t length_ = 0;
    char word_[8] = {};
    std::size_t held_ = 0;
};

enum class LineEnd { CrLf, Cr, Lf, None };

// Splits bytes into lines by the list's rule as they arrive in pieces: CR, LF and CR LF each end
// a line, a line begins only where a byte follows an end. A CR's end is told when the next byte
// shows whether an LF belongs to it.
class LineSplitter {
public:
    template <class Handler> void feed(const char* data, std::size_t n, Handler& h) {
        const char* p = data;
        const char* const end = data + n;
        const char* cr = find(p, end, '\r');
        const char* lf = find(p, end, '\n');
        while (p < end) {
            if (pendingCr_) {
                pendingCr_ = false;
                if (*p == '\n') {
                    h.lineEnd(LineEnd::CrLf);
                    ++p;
                    continue;
                }
                h.lineEnd(LineEnd::Cr);
            }
            if (!inLine_) {
                h.lineStart(offset_ + static_cast<std::uint64_t>(p - data));
                inLine_ = true;
            }
            if (cr < p)
                cr = find(p, end, '\r');
            if (lf < p)
                lf = find(p, end, '\n');
            const char* stop = std::min(cr, lf);
            if (stop > p)
                h.content(std::string_view(p, static_cast<std::size_t>(stop - p)));
            if (stop == end)
                break;
            inLine_ = false;
            if (*stop == '\r')
                pendingCr_ = true;
            else
                h.lineEnd(LineEnd::Lf);
            p = stop + 1;
        }
        offset_ += n;
    }

    template <class Handler> void finish(Handler& h) {
        if (pendingCr_)
            h.lineEnd(LineEnd::Cr);
        else if (inLine_)
            h.lineEnd(LineEnd::None);
        pendingCr_ = inLine_ = false;
    }

    std::uint64_t offset() const { return offset_; }

private:
    static const char* find(const char* from, const char* end, char c) {
        const void* at = std::memchr(from, c, static_cast<std::size_t>(end - from));
        return at ? static_cast<const char*>(at) : end;
    }
    std::uint64_t offset_ = 0;
    bool inLine_ = false;
    bool pendingCr_ = false;
};

// Streams the file through the splitter to the handler until the file ends or the handler has
// seen enough; returns the fingerprint of what was read and how much that was.
template <class Handler> std::pair<std::uint64_t, std::uint64_t> streamLines(InputFile& in, Handler& h) {
    std::vector<char> buf(LineReader::kBufferSize);
    LineSplitter splitter;
    Fingerprint fingerprint;
    while (!h.stopped()) {
        const std::size_t n = in.read(buf.data(), buf.size());
        if (n == 0) {
            splitter.finish(h);
            break;
        }
        fingerprint.feed(buf.data(), n);
        splitter.feed(buf.data(), n, h);
    }
    return {fingerprint.value(), splitter.offset()};
}

} // namespace

void LineStarts::push(std::uint64_t start) {
    if (count_ % kBlock == 0) {
        blocks_.push_back({start, distances_.size()});
    } else {
        std::uint64_t d = start - last_;
        for (; d >= 0x80; d >>= 7)
            distances_.push_back(static_cast<std::uint8_t>(d | 0x80));
        distances_.push_back(static_cast<std::uint8_t>(d));
    }
    last_ = start;
    ++count_;
}

std::uint64_t LineStarts::distanceAt(std::size_t& pos) const {
    std::uint64_t d = 0;
    for (unsigned shift = 0;; shift += 7) {
        const std::uint8_t b = distances_[pos++];
        d |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if (b < 0x80)
            return d;
    }
}

std::uint64_t LineStarts::at(std::size_t line) const {
    const Block& block = blocks_[line / kBlock];
    std::uint64_t start = block.start;
    std::size_t pos = block.pos;
    for (std::size_t i = line % kBlock; i > 0; --i)
        start += distanceAt(pos);
    return start;
}

std::uint64_t LineStarts::Cursor::next() {
    if (line_ % kBlock == 0) {
        const Block& block = starts_.blocks_[line_ / kBlock];
        start_ = block.start;
        pos_ = block.pos;
    } else {
        start_ += starts_.distanceAt(pos_);
    }
    ++line_;
    return start_;
}

// Lists the page's lines as they stream past.
class InsertionList::Loader {
public:
    Loader(InsertionList& list, const std::string& shownAs) : list_(list), shownAs_(shownAs) {}
    void lineStart(std::uint64_t offset) {
        if (list_.starts_.size() == list_.maxRows_)
            throw ListTooLargeError(shownAs_);
        list_.starts_.push(offset);
        scan_ = MarkerScan(marker::InsertionPoint);
    }
    void content(std::string_view piece) { scan_.feed(piece); }
    void lineEnd(LineEnd end) {
        if (scan_.passed())
            list_.markerLines_.push_back(list_.starts_.size() - 1);
        list_.allCrLf_ = list_.allCrLf_ && end == LineEnd::CrLf;
    }
    bool stopped() const { return false; }

private:
    InsertionList& list_;
    const std::string& shownAs_;
    MarkerScan scan_{marker::InsertionPoint};
};

// Writes the rows while the page streams past a second time, each line's own bytes followed by
// CR LF and the markers put in after it; without an output it only compares. Stops at the first
// line that does not start where it did.
class InsertionList::Writer {
public:
    Writer(const InsertionList& list, LineWriter* out)
        : list_(list), out_(out), cursor_(list.starts_), edit_(list.edits_.begin()) {}
    void lineStart(std::uint64_t offset) {
        if (moved_ || cursor_.atEnd() || cursor_.next() != offset) {
            moved_ = true;
            return;
        }
        while (edit_ != list_.edits_.end() && edit_->first < line_)
            ++edit_;
        edited_ = edit_ != list_.edits_.end() && edit_->first == line_ ? &edit_->second : nullptr;
        skip_ = !out_ || (edited_ && edited_->removed);
    }
    void content(std::string_view piece) {
        if (!skip_ && !moved_)
            out_->put(piece.data(), piece.size());
    }
    void lineEnd(LineEnd) {
        if (moved_)
            return;
        if (out_) {
            if (!skip_)
                out_->put("\r\n", 2);
            for (std::uint32_t i = 0; edited_ && i < edited_->markersAfter; ++i)
                out_->writeLine(kInsMarker);
        }
        ++line_;
    }
    bool stopped() const { return moved_; }
    bool allLinesMet() const { return !moved_ && cursor_.atEnd() && line_ == list_.starts_.size(); }

private:
    const InsertionList& list_;
    LineWriter* out_;
    LineStarts::Cursor cursor_;
    std::map<std::size_t, Edit>::const_iterator edit_;
    const Edit* edited_ = nullptr;
    std::size_t line_ = 0;
    bool skip_ = false;
    bool moved_ = false;
};

InsertionList loadInsertionList(const std::string& pagePath, std::size_t maxRows) {
    InsertionList list;
    list.page_ = resolvePage(pagePath); // a page named like its work file is refused here
    list.maxRows_ = maxRows;
    InputFile in(list.page_);
    InsertionList::Loader loader(list, pagePath);
    std::tie(list.fingerprint_, list.pageSize_) = streamLines(in, loader);
    in.close();
    list.rows_ = list.starts_.size();
    return list;
}

InsertionList::Place InsertionList::placeOf(std::size_t index) const {
    // Each edit shifts the rows of the lines after it; edits are few, one per double-click.
    long long shift = 0;
    for (const auto& [line, edit] : edits_) {
        const auto first = static_cast<long long>(line) + shift;
        const auto rows = static_cast<long long>(edit.markersAfter) + (edit.removed ? 0 : 1);
        const auto at = static_cast<long long>(index);
        if (at < first)
            break;
        if (at < first + rows)
            return {line, edit.removed || at > first};
        shift += rows - 1;
    }
    return {static_cast<std::size_t>(static_cast<long long>(index) - shift), false};
}

bool InsertionList::lineBeginsWithMarker(std::size_t line) const {
    return std::binary_search(markerLines_.begin(), markerLines_.end(), line);
}

bool InsertionList::beginsWithMarker(std::size_t index) const {
    if (index >= rows_)
        return false;
    const Place place = placeOf(index);
    return place.markerRow || lineBeginsWithMarker(place.line);
}

InsertionList::RowBytes InsertionList::row(std::size_t index, std::size_t limit) const {
    RowBytes row;
    if (index >= rows_)
        return row;
    const Place place = placeOf(index);
    if (place.markerRow) {
        row.bytes = kInsMarker.substr(0, limit);
        row.cut = kInsMarker.size() > limit;
        return row;
    }
    const std::uint64_t start = starts_.at(place.line);
    const std::uint64_t stop = place.line + 1 < starts_.size() ? starts_.at(place.line + 1) : pageSize_;
    // One byte beyond the limit tells whether the row goes on.
    row.bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(stop - start, limit + 1ull)));
    InputFile in(page_);
    row.bytes.resize(in.readAt(row.bytes.data(), row.bytes.size(), start));
    in.close();
    row.bytes.resize(std::min(row.bytes.find_first_of("\r\n"), row.bytes.size()));
    row.cut = row.bytes.size() > limit;
    if (row.cut)
        row.bytes.resize(limit);
    return row;
}

Toggled InsertionList::effectOfToggle(std::size_t index) const {
    if (index >= rows_)
        return Toggled::Nothing;
    if (beginsWithMarker(index))
        return Toggled::Removed;
    return rows_ < maxRows_ ? Toggled::Inserted : Toggled::Nothing;
}

Toggled InsertionList::toggle(std::size_t index) {
    const Toggled effect = effectOfToggle(index);
    if (effect == Toggled::Nothing)
        return effect;
    const Place place = placeOf(index);
    Edit& edit = edits_[place.line];
    if (effect == Toggled::Inserted) {
        ++edit.markersAfter;
        ++inserted_;
        ++rows_;
    } else if (place.markerRow) {
        --edit.markersAfter;
        --inserted_;
        --rows_;
    } else {
        edit.removed = true;
        ++removed_;
        --rows_;
    }
    if (edit.markersAfter == 0 && !edit.removed)
        edits_.erase(place.line);
    return effect;
}

SaveListOutcome saveInsertionList(const std::string& path, const InsertionList& list) {
    // The work file lies beside the file a link names, and never is the page itself.
    const std::string pagePath = resolvePage(path);
    PageLock lock(pagePath, path);
    InputFile page(pagePath);
    // The page must hold the bytes the list was made from, in the same lines: the size is checked
    // before anything is written, the lines and the fingerprint while the new page is written.
    // Times and inode say nothing either way: a change within the clock's step or a copy with its
    // time kept passes them, and a page saved back unchanged fails them.
    const auto sameBytes = [&](InsertionList::Writer& writer) {
        const auto [fingerprint, size] = streamLines(page, writer);
        return writer.allLinesMet() && size == list.pageSize_ && fingerprint == list.fingerprint_;
    };
    if (fileSize(page) != list.pageSize_) {
        page.close();
        return SaveListOutcome::PageChanged;
    }
    if (list.unchanged()) {
        InsertionList::Writer compare(list, nullptr);
        const bool same = sameBytes(compare);
        page.close();
        return same ? SaveListOutcome::Unchanged : SaveListOutcome::PageChanged;
    }
    WorkFile tmp(tmpFileOf(pagePath));
    FileSink sink(tmp.out());
    LineWriter out(sink);
    InsertionList::Writer writer(list, &out);
    if (!sameBytes(writer)) {
        page.close();
        return SaveListOutcome::PageChanged; // the work file goes with `tmp`
    }
    out.flush();
    page.close();
    tmp.install(lock, pagePath, Backup::Keep);
    return SaveListOutcome::Saved;
}

} // namespace quillet::doc
