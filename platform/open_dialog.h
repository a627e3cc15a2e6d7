#pragma once
// The main window's file-open dialog. It is one object for the whole run, so its starting
// folder, once set, stays for later uses. Showing it goes through the prompter, so tests can
// answer it and see how it was prepared.

#include <QString>
#include <QStringList>

class QWidget;

namespace quillet::platform {

class OpenDialog {
public:
    // Pairs of display name and patterns, all joined by "|"; patterns are joined by ";".
    QString filter;
    int filterIndex = 1; // the selected pair, counted from 1
    QString defaultExt;  // added to a typed name without an extension
    QString fileName;    // the proposed name; after a choice, the chosen file's full path
    QString initialDir;  // the starting folder; empty until the first use sets it

    // Shows the dialog modally; true when a file was chosen (it is then in fileName).
    bool execute(QWidget* parent);
};

// The dialog's filter as Qt's name filters, e.g. "HTML (*.html *.htm)"; "*.*" is every file.
QStringList nameFilters(const QString& filter);

} // namespace quillet::platform
