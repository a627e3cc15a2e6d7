#include "cli/command_line.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringDecoder>
#include <cstdio>
#include <map>
#include <optional>

#include "cli/run_context.h"
#include "cli/texts.h"
#include "commands/entry_text.h"
#include "commands/new_page.h"
#include "commands/texts.h"
#include "document/entry_rework.h"
#include "document/file_io.h"
#include "markup/markup.h"
#include "platform/codepage.h"
#include "platform/error_text.h"
#include "platform/file_errors.h"

namespace quillet::cli {

void say(const QString& page, const QString& text) {
    QString line = text;
    line.replace(QChar('\r'), QChar(' ')).replace(QChar('\n'), QChar(' '));
    const QString shown = QStringLiteral("quillet: ") +
                          (page.isEmpty() ? QString() : page + QStringLiteral(": ")) + line + QChar('\n');
    std::fputs(shown.toUtf8().constData(), stderr);
}

void print(const QString& text) { std::fputs(text.toUtf8().constData(), stdout); }

QByteArray readWhole(const QString& file) {
    QByteArray bytes;
    try {
        // Standard input through its name, so that a pipe and a file read alike.
        doc::InputFile in(file == QStringLiteral("-") ? std::string("/dev/stdin")
                                                      : QFile::encodeName(file).toStdString());
        char buffer[65536];
        while (const std::size_t n = in.read(buffer, sizeof buffer))
            bytes.append(buffer, static_cast<qsizetype>(n));
    } catch (const doc::FileError& e) {
        fail(texts::cannotRead(file, platform::fileErrorMessage(e)));
    }
    return bytes;
}

namespace {

const QStringList kEntryOptions = {"title", "body-file", "bold", "italic", "color", "size", "mark", "indent"};
const QStringList kNewPageOptions = {"encoding", "background", "text", "link", "vlink", "alink"};
const QStringList kSiteOptions = {"site", "remote", "password-file", "trust", "settings"};

struct Command {
    bool takesPage;
    QStringList options;
    int (*run)(RunContext&);
};

// The text, or nothing when the bytes are not UTF-8 throughout. Stateless: a sequence cut off at
// the end is an error, not a start kept for more bytes.
std::optional<QString> fromUtf8(QByteArrayView bytes) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError())
        return std::nullopt;
    return text;
}

// "#RRGGBB" as 0xRRGGBB.
std::uint32_t colorOption(const QCommandLineParser& options, const QString& name) {
    static const QRegularExpression form(QStringLiteral("^#[0-9A-Fa-f]{6}$"));
    const QString value = options.value(name);
    if (!form.match(value).hasMatch())
        usage(texts::badColor(QStringLiteral("--") + name, value));
    return value.mid(1).toUInt(nullptr, 16);
}

// The body file's text; `-` is standard input. Refused unless it is UTF-8 throughout.
QString bodyText(const QString& file) {
    std::optional<QString> text = fromUtf8(readWhole(file));
    if (!text)
        fail(texts::BodyNotUtf8);
    return *text;
}

commands::EntryText entryText(const QCommandLineParser& options) {
    commands::EntryText entry;
    entry.title = options.value(QStringLiteral("title"));
    // One line, as the window's title field holds: a line end would split the title record.
    if (entry.title.contains(QChar('\r')) || entry.title.contains(QChar('\n')))
        usage(texts::TitleHasLineEnd);
    entry.indent = options.isSet(QStringLiteral("indent"));
    entry.bold = options.isSet(QStringLiteral("bold"));
    entry.italic = options.isSet(QStringLiteral("italic"));
    if (options.isSet(QStringLiteral("color")))
        entry.color = static_cast<qint32>(colorOption(options, QStringLiteral("color")));
    if (options.isSet(QStringLiteral("size"))) {
        const QString size = options.value(QStringLiteral("size"));
        if (!markup::isSizeToken(size.toStdString()))
            usage(texts::badSize(size));
        entry.size = size.toStdString();
    }
    if (options.isSet(QStringLiteral("mark"))) {
        entry.titleMark = true;
        entry.markTag = QString::fromStdString(
            markup::titleMarkTag(options.value(QStringLiteral("mark")).toUtf8().toStdString()));
    }
    return entry;
}

int save(RunContext& run, doc::SaveMode mode) {
    commands::EntryText entry = entryText(run.options);
    if (run.options.isSet(QStringLiteral("body-file")))
        entry.body = commands::bodyLines(bodyText(run.options.value(QStringLiteral("body-file"))));
    else if (mode == doc::SaveMode::ReplaceAll)
        usage(texts::BodyFileMissing);
    if (mode == doc::SaveMode::ReplaceAll)
        if (const auto check = commands::checkReplaceAll(entry.body); check != doc::ReplaceAllCheck::Passed)
            fail(commands::replaceAllRefusal(check));
    switch (commands::saveEntry(run.pagePath, entry, mode)) {
    case doc::WriteOutcome::PageMissing:
        fail(texts::PageNotFound);
    case doc::WriteOutcome::NoMarker:
        fail(commands::texts::noInsertionMarker(run.page));
    case doc::WriteOutcome::Written:
        break;
    }
    return Done;
}

int post(RunContext& run) { return save(run, doc::SaveMode::Insert); }
int replace(RunContext& run) { return save(run, doc::SaveMode::ReplaceAll); }

void reworked(doc::ReworkOutcome outcome) {
    switch (outcome) {
    case doc::ReworkOutcome::PageMissing:
        fail(texts::PageNotFound);
    case doc::ReworkOutcome::NoEntryEnd:
        fail(commands::texts::NoEntryEnd);
    case doc::ReworkOutcome::NoBackup:
        fail(texts::NoBackup);
    case doc::ReworkOutcome::Done:
    case doc::ReworkOutcome::Refused:
        break;
    }
}

int deleteLast(RunContext& run) {
    reworked(doc::deleteNewestEntry(run.pagePath));
    return Done;
}

int undo(RunContext& run) {
    reworked(doc::undoLastRewrite(run.pagePath));
    return Done;
}

int last(RunContext& run) {
    const doc::TakenEntry peeked = doc::peekNewestEntry(run.pagePath);
    reworked(peeked.outcome);
    const auto text = commands::recalledText(peeked.entry, platform::PageCodec(peeked.encoding.conversion));
    if (!text)
        fail(texts::notInEncoding(QString::fromStdString(peeked.encoding.name)));
    const doc::DecodedTitle& t = text->title;
    QString body = text->body;
    body.replace(QChar::LineSeparator, QChar('\n'));
    const QString color = t.color && *t.color > 0
                              ? QString::fromStdString(doc::htmlColor(static_cast<std::uint32_t>(*t.color)))
                              : QString();
    const QString size = t.size ? QString::fromStdString(*t.size) : QString();
    const QString mark = t.markOn && text->markTag ? *text->markTag : QString();
    if (run.options.isSet(QStringLiteral("json"))) {
        const auto orNull = [](const QString& value) {
            return value.isEmpty() ? QJsonValue() : QJsonValue(value);
        };
        const QJsonObject entry{{"title", text->titleText},
                                {"bold", t.bold},
                                {"italic", t.italic},
                                {"color", orNull(color)},
                                {"size", orNull(size)},
                                {"mark", orNull(mark)},
                                {"indent", peeked.entry.indent},
                                {"body", body},
                                {"encoding", QString::fromStdString(peeked.encoding.name)}};
        print(QString::fromUtf8(QJsonDocument(entry).toJson(QJsonDocument::Compact)) + QChar('\n'));
        return Done;
    }
    QStringList style;
    if (t.bold)
        style << texts::Bold;
    if (t.italic)
        style << texts::Italic;
    if (!color.isEmpty())
        style << texts::color(color);
    if (!size.isEmpty())
        style << texts::size(size);
    if (!mark.isEmpty())
        style << texts::mark(mark);
    if (peeked.entry.indent)
        style << texts::Indent;
    QString out = texts::TitleLabel + text->titleText + QChar('\n') + texts::StyleLabel +
                  style.join(QChar(' ')) + QStringLiteral("\n\n") + body;
    if (!body.isEmpty() && !body.endsWith(QChar('\n')))
        out += QChar('\n');
    print(out);
    return Done;
}

int newPage(RunContext& run) {
    const QCommandLineParser& o = run.options;
    doc::NewPageCharset charset = doc::NewPageCharset::ShiftJis;
    if (o.isSet(QStringLiteral("encoding"))) {
        const QString e = o.value(QStringLiteral("encoding")).toLower();
        if (e == QStringLiteral("utf-8") || e == QStringLiteral("utf8"))
            charset = doc::NewPageCharset::Utf8;
        else if (e != QStringLiteral("shift_jis") && e != QStringLiteral("shift-jis") &&
                 e != QStringLiteral("sjis"))
            usage(texts::badEncoding(o.value(QStringLiteral("encoding"))));
    }
    // Colours as the colour dialog holds them (red lowest); swapping red and blue goes either way.
    doc::PageColors colors;
    const std::pair<const char*, std::uint32_t*> given[] = {{"background", &colors.background},
                                                            {"text", &colors.text},
                                                            {"link", &colors.link},
                                                            {"vlink", &colors.visitedLink},
                                                            {"alink", &colors.activeLink}};
    for (const auto& [name, value] : given)
        if (o.isSet(QLatin1String(name)))
            *value = doc::ColorToHtml(colorOption(o, QLatin1String(name)));
    if (o.isSet(QStringLiteral("background")) && !o.isSet(QStringLiteral("text")))
        colors.text = doc::textOnSurface(colors.background);
    commands::createPage(run.pagePath, run.page, colors, charset);
    return Done;
}

const std::map<QString, Command>& commandTable() {
    static const std::map<QString, Command> table = {
        {"post", {true, kEntryOptions, post}},
        {"replace", {true, kEntryOptions, replace}},
        {"delete-last", {true, {}, deleteLast}},
        {"undo", {true, {}, undo}},
        {"last", {true, {"json"}, last}},
        {"new", {true, kNewPageOptions, newPage}},
        {"sites", {false, {"settings"}, sites}},
        {"publish", {true, kSiteOptions, publish}},
        {"fetch", {true, kSiteOptions + QStringList{"force"}, fetch}},
    };
    return table;
}

void addOptions(QCommandLineParser& parser) {
    const QStringList flags = {"bold", "italic", "indent", "json", "force"};
    for (const QString& flag : flags)
        parser.addOption(QCommandLineOption(flag));
    const QStringList valued = {"title",      "body-file",     "color", "size",    "mark",  "encoding",
                                "background", "text",          "link",  "vlink",   "alink", "site",
                                "remote",     "password-file", "trust", "settings"};
    for (const QString& name : valued)
        parser.addOption(QCommandLineOption(name, QString(), QStringLiteral("value")));
    parser.addOption(QCommandLineOption(QStringList{"h", "help"}));
    parser.addOption(QCommandLineOption(QStringList{"v", "version"}));
}

QString optionShown(const QString& name) {
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

int runCommand(QCommandLineParser& parser, const QStringList& arguments) {
    addOptions(parser);
    if (!parser.parse(arguments)) {
        if (!parser.unknownOptionNames().isEmpty())
            usage(texts::unknownOption(optionShown(parser.unknownOptionNames().first())));
        usage(texts::unreadableArguments(parser.errorText()));
    }
    if (parser.isSet(QStringLiteral("help"))) {
        print(texts::Help);
        return Done;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        print(texts::version(QCoreApplication::applicationVersion()));
        return Done;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        usage(texts::CommandMissing);
    const auto found = commandTable().find(positional[0]);
    if (found == commandTable().end())
        usage(texts::unknownCommand(positional[0]));
    const Command& command = found->second;
    for (const QString& name : parser.optionNames()) {
        if (!command.options.contains(name))
            usage(texts::optionNotFor(optionShown(name), positional[0]));
    }
    const qsizetype wanted = command.takesPage ? 2 : 1;
    if (positional.size() < wanted)
        usage(texts::PageMissing);
    if (positional.size() > wanted)
        usage(texts::extraArgument(positional[wanted]));
    RunContext run{parser, positional[0], QString(), std::string()};
    if (command.takesPage) {
        run.page = positional[1];
        run.pagePath = QFile::encodeName(run.page).toStdString();
    }
    try {
        return command.run(run);
    } catch (const Stop& stop) {
        say(stop.status == Usage ? QString() : run.page, stop.message);
        return stop.status;
    } catch (...) {
        say(run.page, platform::exceptionMessage(std::current_exception()));
        return Failed;
    }
}

} // namespace

int run(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (!fromUtf8(QByteArrayView(argv[i]))) {
            say(QString(), texts::ArgumentNotUtf8);
            return Usage;
        }
    }
    QCoreApplication app(argc, argv);
    // The same name as the window's, so both find the same settings.
    QCoreApplication::setApplicationName(QStringLiteral("Quillet"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLET_VERSION));
    const QStringList arguments = QCoreApplication::arguments();
    QCommandLineParser parser;
    try {
        return runCommand(parser, arguments);
    } catch (const Stop& stop) {
        say(QString(), stop.message);
        return stop.status;
    }
}

} // namespace quillet::cli
