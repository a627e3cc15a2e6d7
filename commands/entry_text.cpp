#include "commands/entry_text.h"

#include <QRegularExpression>

#include "commands/texts.h"
#include "platform/codepage.h"

namespace quillet::commands {

std::string pageText(const platform::PageCodec& codec, QString text) {
    text.replace(QChar::LineSeparator, QChar('\n'));
    return codec.encode(text);
}

QStringList bodyLines(const QString& text) {
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = text.split(lineEnd);
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

doc::Entry composeEntry(const EntryText& text, const platform::PageCodec& codec) {
    doc::Entry entry;
    entry.title = pageText(codec, text.title);
    for (const QString& line : text.body)
        entry.body.push_back(pageText(codec, line));
    entry.indent = text.indent;
    entry.titleMark = text.titleMark;
    entry.style.bold = text.bold;
    entry.style.italic = text.italic;
    entry.style.color = text.color;
    entry.style.size = text.size;
    entry.style.markTag = codec.encode(text.markTag);
    return entry;
}

namespace {

// A LF alone stays inside a page line; in the editor it is a line separator, which the body's
// lines keep inside the line they belong to (and which Shift+Enter types).
QString editorLine(QString line) { return line.replace(QChar('\n'), QChar::LineSeparator); }

// The editor's text for these lines. It drops one empty last line when the body is taken back
// out of it, so a body that ends in an empty line gets one more.
QString editorText(const QStringList& lines) {
    QString text = lines.join(QChar('\n'));
    if (!lines.isEmpty() && lines.back().isEmpty())
        text += QChar('\n');
    return text;
}

} // namespace

std::optional<RecalledText> recalledText(const doc::RecalledEntry& entry, const platform::PageCodec& codec) {
    RecalledText text;
    if (!entry.titleRecord.empty()) {
        text.title = doc::decodeTitle(entry.titleRecord);
        auto title = codec.decode(text.title.title);
        if (!title)
            return std::nullopt;
        text.titleText = *title;
        if (text.title.markTag) {
            text.markTag = codec.decode(*text.title.markTag);
            if (!text.markTag)
                return std::nullopt;
        }
    }
    QStringList body;
    for (const auto& line : entry.body) {
        auto decoded = codec.decode(line);
        if (!decoded)
            return std::nullopt;
        body << editorLine(*decoded);
    }
    text.body = editorText(body);
    return text;
}

doc::ReplaceAllCheck checkReplaceAll(const QStringList& body) {
    std::vector<std::string> lines;
    for (const QString& line : body)
        lines.push_back(line.toStdString());
    return doc::checkReplaceAllBody(lines);
}

QString replaceAllRefusal(doc::ReplaceAllCheck check) {
    switch (check) {
    case doc::ReplaceAllCheck::MissingBody:
        return texts::ReplaceAllMissingBody;
    case doc::ReplaceAllCheck::MissingHtml:
        return texts::ReplaceAllMissingHtml;
    case doc::ReplaceAllCheck::Passed:
        break;
    }
    return {};
}

doc::WriteOutcome saveEntry(const std::string& pagePath, const EntryText& text, doc::SaveMode mode) {
    return doc::writeEntry(
        pagePath,
        [&text](const doc::PageEncoding& encoding) {
            return composeEntry(text, platform::PageCodec(encoding.conversion));
        },
        mode);
}

} // namespace quillet::commands
