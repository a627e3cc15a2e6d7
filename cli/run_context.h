#pragma once
// Shared by the units of the command line: what one run was asked, and how it speaks.

#include <QByteArray>
#include <QCommandLineParser>
#include <QString>
#include <stdexcept>
#include <string>

namespace quillet::cli {

enum ExitStatus { Done = 0, Failed = 1, Usage = 2 };

// Ends the run with a message and a status.
struct Stop {
    ExitStatus status;
    QString message;
};
[[noreturn]] inline void fail(const QString& message) { throw Stop{Failed, message}; }
[[noreturn]] inline void usage(const QString& message) { throw Stop{Usage, message}; }

struct RunContext {
    QCommandLineParser& options;
    QString command;
    QString page;         // as given; empty for a command without a page
    std::string pagePath; // as the file system names it
};

// One line on standard error, naming the page when there is one. A CR or LF inside the text
// (a message made for a box) becomes a blank.
void say(const QString& page, const QString& text);
// Writes text to standard output as UTF-8.
void print(const QString& text);
// A file's bytes, standard input's for "-"; a file that cannot be read ends the run.
QByteArray readWhole(const QString& file);

int sites(RunContext& run);
int publish(RunContext& run);
int fetch(RunContext& run);

} // namespace quillet::cli
