#pragma once
// Save and Replace all: write one entry after the insertion marker.

#include <string>
#include <vector>

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

WriteOutcome writeEntry(const std::string& pagePath, const Entry& entry, SaveMode mode);

} // namespace quillet::doc
