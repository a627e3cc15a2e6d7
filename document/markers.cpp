#include "document/markers.h"

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

} // namespace quillet::doc
