#pragma once
// The newest entry: removing it, taking it back out for rework, decoding its title record, and
// undoing the last rewrite by exchanging the page with its backup.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/page_encoding.h"

namespace quillet::doc {

class PageRewrite;

// The value of a run of hexadecimal digits; any other byte counts as 0. 32 bits: with more than
// eight digits only the last eight count.
std::uint32_t HexValue(std::string_view text);
// The double-quoted value of an attribute in a tag; empty for an unquoted or missing value.
std::string AttributeValue(std::string_view tag, std::string_view name);

// What the title record says. Settings the record does not mention are left unset, so the
// window keeps its current ones.
struct DecodedTitle {
    std::string title;
    bool bold = false;
    bool italic = false;
    bool markOn = false;                // the record holds an image tag
    std::optional<std::string> markTag; // the tag, when it is a clean one
    std::optional<std::int32_t> color;  // the FONT tag has COLOR
    std::optional<std::string> size;    // the FONT tag has SIZE
};
DecodedTitle decodeTitle(std::string record);

struct RecalledEntry {
    std::string titleRecord; // the title record's lines run together
    bool indent = false;
    std::vector<std::string> body;
    bool endFound = false;
};
// Reads the newest entry out of a rewrite that has just copied through the marker.
RecalledEntry readNewestEntry(PageRewrite& rewrite);

// Refused: the caller's acceptor turned the entry down; nothing was touched.
enum class ReworkOutcome { Done, PageMissing, NoEntryEnd, NoBackup, Refused };

// Removes the newest entry. Without an entry end after the marker nothing is touched. Like every
// rewrite it refuses a page in an encoding Quillet cannot write into (EncodingRefusedError).
ReworkOutcome deleteNewestEntry(const std::string& pagePath);

// Edit-last's rewrite. The acceptor sees the entry as read, with the page's encoding, while the
// page is still locked and as it was: it must only look (it may not wait on the author), and it
// returns false when the caller cannot take the entry as it is (it cannot decode it). The page
// loses the entry only when it was accepted and its end was found; otherwise nothing is touched.
// The lines read come back either way.
struct TakenEntry {
    ReworkOutcome outcome = ReworkOutcome::PageMissing;
    RecalledEntry entry;
    PageEncoding encoding;
};
using EntryAcceptor = std::function<bool(const RecalledEntry&, const PageEncoding&)>;
TakenEntry takeNewestEntry(const std::string& pagePath, const EntryAcceptor& accept);
// The newest entry as Edit-last reads it, left in the page: nothing is locked or written. Done
// when its end was found, NoEntryEnd when not (or when no line is the marker).
TakenEntry peekNewestEntry(const std::string& pagePath);
// Exchanges the page and its backup; a page in an encoding Quillet cannot write into is refused
// first, as by every rewrite.
ReworkOutcome undoLastRewrite(const std::string& pagePath);

} // namespace quillet::doc
