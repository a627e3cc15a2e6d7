#pragma once
// The platform core's own texts for the author.

#include <QString>

namespace quillet::doc {
class EncodingRefusedError;
}

namespace quillet::platform::texts {

// Text that must go out exactly holds a character the encoding cannot: `what` names the field.
QString cannotHold(const QString& what, const QString& encoding);
// A page whose declared encoding Quillet cannot write into.
QString encodingRefused(const doc::EncodingRefusedError& error);

} // namespace quillet::platform::texts
