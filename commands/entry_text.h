#pragma once
// An entry as the author gives it (Unicode text and the title's settings) and what Save and
// Replace all do with it: it becomes page bytes in the page's own encoding, read under the
// page's lock, and goes in after the marker line.

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "document/entry_rework.h"
#include "document/entry_writer.h"
#include "document/page_format.h"

namespace quillet::platform {
class PageCodec;
}

namespace quillet::commands {

struct EntryText {
    QString title; // empty: no title record
    QStringList body;
    bool indent = false;
    bool titleMark = false;
    bool bold = false;
    bool italic = false;
    qint32 color = 0; // 0xRRGGBB, 0 = none
    std::string size; // FONT SIZE token, empty = none
    QString markTag;  // the title-mark image tag
};

// The body's lines in a whole text, as the editor takes them: a line ends at CR LF, CR or LF, a
// line separator stays inside its line, and one empty last line is dropped.
QStringList bodyLines(const QString& text);

// Text as page bytes. A line separator is a LF inside the page's line.
std::string pageText(const platform::PageCodec& codec, QString text);
doc::Entry composeEntry(const EntryText& text, const platform::PageCodec& codec);

// Replace all's check of the body: the tags looked for are ASCII, which every page's encoding
// writes as it is.
doc::ReplaceAllCheck checkReplaceAll(const QStringList& body);
// Its message, when the check failed.
QString replaceAllRefusal(doc::ReplaceAllCheck check);

// The newest entry as the editor shows it; nothing when a byte is not valid in the page's
// encoding, because a replacement character would be written back by the next Save and lose the
// original.
struct RecalledText {
    doc::DecodedTitle title;
    QString titleText;
    std::optional<QString> markTag;
    QString body; // the editor's whole text
};
std::optional<RecalledText> recalledText(const doc::RecalledEntry& entry, const platform::PageCodec& codec);

// Save (Insert) or Replace all; the entry is made in the encoding the page declares when it is
// rewritten.
doc::WriteOutcome saveEntry(const std::string& pagePath, const EntryText& text, doc::SaveMode mode);

} // namespace quillet::commands
