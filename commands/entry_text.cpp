#include "commands/entry_text.h"

#include "commands/texts.h"
#include "platform/codepage.h"

namespace quillet::commands {

std::string pageText(const platform::PageCodec& codec, QString text) {
    text.replace(QChar::LineSeparator, QChar('\n'));
    return codec.encode(text);
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
