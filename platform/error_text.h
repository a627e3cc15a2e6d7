#pragma once
// What a failure says to the author: the text an escaped exception shows, the same for the
// window's error box and for any other front end.

#include <QString>
#include <exception>

namespace quillet::platform {

// The error box's text rule: a "." is added when the last character sorts above ".".
QString withClosingPeriod(const QString& message);
// The text an escaped exception shows: file errors get the runtime's texts.
QString exceptionMessage(std::exception_ptr error);

} // namespace quillet::platform
