#pragma once
// The six comment markers and the test each operation applies to find them. The tests differ
// on purpose: they decide which hand-edited pages each operation accepts.

#include <cstddef>
#include <string>
#include <string_view>

namespace quillet::doc {

inline constexpr std::string_view kInsMarker = "<!-INS-!>";
inline constexpr std::string_view kTitleStartMarker = "<!-TTL-A-!>";
inline constexpr std::string_view kTitleEndMarker = "<!-TTL-B-!>";
inline constexpr std::string_view kBodyStartMarker = "<!-BDY-A-!>";
inline constexpr std::string_view kBodyEndMarker = "<!-BDY-B-!>";
inline constexpr std::string_view kEndMarker = "<!-END-!>";

enum class Match { Contains, BeginsWith, Equals };

struct MarkerTest {
    std::string_view marker;
    Match match;
    bool operator()(std::string_view line) const;
};

// A marker test decided on a line that arrives in pieces, holding no more of it than a marker's
// length: a line of any length is tested without being held. Gives the same answer as the test
// applied to the whole line, wherever the pieces are cut.
class MarkerScan {
public:
    explicit MarkerScan(const MarkerTest& test) : test_(test) {}
    void feed(std::string_view piece);
    bool passed() const;

private:
    MarkerTest test_;
    std::size_t length_ = 0;  // bytes fed so far
    bool startAgrees_ = true; // they agree with the marker as far as both go
    bool found_ = false;      // Contains: the marker was seen
    std::string tail_;        // Contains: the last bytes fed, fewer than the marker's
};

namespace marker {
inline constexpr MarkerTest OpenPage{kInsMarker, Match::Contains};         // choosing a page
inline constexpr MarkerTest InsertionPoint{kInsMarker, Match::BeginsWith}; // insertion-point dialog
inline constexpr MarkerTest Insertion{kInsMarker, Match::Equals};          // every rewrite
inline constexpr MarkerTest DeleteEnd{kEndMarker, Match::Equals};          // Delete-last
inline constexpr MarkerTest EditEnd{kEndMarker, Match::BeginsWith};        // Edit-last
inline constexpr MarkerTest TitleStart{kTitleStartMarker, Match::Equals};
inline constexpr MarkerTest TitleEnd{kTitleEndMarker, Match::Equals};
inline constexpr MarkerTest BodyStart{kBodyStartMarker, Match::BeginsWith};
inline constexpr MarkerTest BodyEnd{kBodyEndMarker, Match::BeginsWith};
} // namespace marker

} // namespace quillet::doc
