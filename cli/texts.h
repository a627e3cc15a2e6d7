#pragma once
// Every text of the command line: its help, its messages on standard error and the labels of
// what it prints. The commands' own messages come from the layer below, as in the window.

#include <QString>

namespace quillet::cli::texts {

extern const QString Help;
QString version(const QString& number);

// Usage errors.
QString unknownCommand(const QString& command);
extern const QString CommandMissing;
extern const QString PageMissing;
QString extraArgument(const QString& argument);
QString unknownOption(const QString& option);
QString optionNotFor(const QString& option, const QString& command);
QString unreadableArguments(const QString& detail);
extern const QString ArgumentNotUtf8;
QString badColor(const QString& option, const QString& value);
QString badSize(const QString& value);
QString badEncoding(const QString& value);
extern const QString SiteMissing;
extern const QString BodyFileMissing;
extern const QString TitleHasLineEnd;

// Failures.
extern const QString BodyNotUtf8;
QString cannotRead(const QString& file, const QString& why);
extern const QString PageNotFound;
extern const QString NoBackup;
QString notInEncoding(const QString& encoding);
QString unknownSite(const QString& site);
extern const QString NoPassword;
QString passwordPrompt(const QString& site);
QString trustHint(const QString& fingerprint);
extern const QString MarkerlessNotInstalled;

// A transfer while a person watches.
QString progress(const QString& page, const QString& done, const QString& total); // numbers as written
QString progressBytes(const QString& page, const QString& done);

// What `last` prints.
extern const QString TitleLabel;
extern const QString StyleLabel;
extern const QString Bold;
extern const QString Italic;
QString color(const QString& value);
QString size(const QString& value);
QString mark(const QString& tag);
extern const QString Indent;

} // namespace quillet::cli::texts
