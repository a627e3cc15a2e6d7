#pragma once
// Save and Replace all: write one entry after the insertion marker.

#include <functional>
#include <string>
#include <vector>

#include "document/page_encoding.h"
#include "document/page_format.h"

namespace quillet::doc {

enum class SaveMode { Insert, ReplaceAll };

// Replace all makes the body the rest of the page, so the body must close the page itself.
enum class ReplaceAllCheck { Passed, MissingBody, MissingHtml };
ReplaceAllCheck checkReplaceAllBody(const std::vector<std::string>& body);

enum class WriteOutcome {
    Written,
    PageMissing, // nothing touched
    NoMarker,    // no line equals the insertion marker: nothing touched
};

// Makes the entry in the page's encoding, once the page is locked and its encoding read. It must
// only convert (it may not wait on anyone).
using EntryComposer = std::function<Entry(const PageEncoding&)>;
WriteOutcome writeEntry(const std::string& pagePath, const EntryComposer& compose, SaveMode mode);
// An entry whose bytes are already right for the page.
WriteOutcome writeEntry(const std::string& pagePath, const Entry& entry, SaveMode mode);

} // namespace quillet::doc
