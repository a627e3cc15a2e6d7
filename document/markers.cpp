#include "document/markers.h"

#include <algorithm>

namespace quillet::doc {

bool MarkerTest::operator()(std::string_view line) const {
    switch (match) {
    case Match::Contains:
        return line.find(marker) != std::string_view::npos;
    case Match::BeginsWith:
        return line.starts_with(marker);
    case Match::Equals:
        return line == marker;
    }
    return false;
}

void MarkerScan::feed(std::string_view piece) {
    const std::string_view m = test_.marker;
    if (test_.match == Match::Contains) {
        if (found_ || m.empty())
            return;
        // A marker may straddle the cut: it then starts in the tail and ends in this piece's start.
        const std::size_t keep = m.size() - 1;
        std::string joint = tail_;
        joint.append(piece.substr(0, keep));
        found_ = joint.find(m) != std::string::npos || piece.find(m) != std::string_view::npos;
        if (piece.size() >= keep) {
            tail_.assign(piece.substr(piece.size() - keep));
        } else {
            tail_.append(piece);
            if (tail_.size() > keep)
                tail_.erase(0, tail_.size() - keep);
        }
    } else if (startAgrees_ && length_ < m.size()) {
        const std::size_t n = std::min(piece.size(), m.size() - length_);
        startAgrees_ = piece.substr(0, n) == m.substr(length_, n);
    }
    length_ += piece.size();
}

bool MarkerScan::passed() const {
    switch (test_.match) {
    case Match::Contains:
        return found_ || test_.marker.empty();
    case Match::BeginsWith:
        return startAgrees_ && length_ >= test_.marker.size();
    case Match::Equals:
        return startAgrees_ && length_ == test_.marker.size();
    }
    return false;
}

} // namespace quillet::doc
