#pragma once
// Message boxes and choosers go through one interface, so tests can answer them and see what
// was asked. The program's own messages use the confirmation box (caption "確認", question
// icon); failures use the error box (caption "Quillet", stop icon, OK).

#include <QColor>
#include <QString>
#include <QStringList>
#include <exception>
#include <functional>
#include <optional>

#include "platform/error_text.h"

class QWidget;

namespace quillet::platform {

class OpenDialog;

// YesNoDefaultNo: the same two buttons, with "いいえ" the default, for a question whose "はい"
// replaces something of the author's.
enum class Buttons { Ok, OkCancel, YesNo, YesNoDefaultNo };
enum class Answer { Ok, Cancel, Yes, No };

class Prompter {
public:
    virtual ~Prompter() = default;
    // Text may hold CR for a line break.
    virtual Answer confirm(QWidget* parent, const QString& text, Buttons buttons) = 0;
    virtual void error(QWidget* parent, const QString& text) = 0;
    // The file-open dialog as prepared; the chosen file's full path, or nothing on Cancel.
    virtual std::optional<QString> chooseOpenFile(QWidget* parent, const OpenDialog& dialog) = 0;
    // The colour chooser, starting on the given colour; nothing on Cancel.
    virtual std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) = 0;
    // The folder chooser, which can create a folder; the chosen folder, or nothing on Cancel.
    virtual std::optional<QString> chooseFolder(QWidget* parent, const QString& title,
                                                const QString& startFolder) = 0;
    // A question in the confirmation box answered by one of several choices (the buttons'
    // captions, `defaultChoice` the default) or Cancel: the chosen index, or nothing on Cancel.
    virtual std::optional<int> choose(QWidget* parent, const QString& text, const QStringList& choices,
                                      int defaultChoice) = 0;
};

// The prompter in use: Qt's message boxes unless a test installed its own.
Prompter& prompter();
void setPrompter(Prompter* replacement); // nullptr restores the default

// The default error display: shows the exception in the error box; the program goes on.
void showException(QWidget* parent, std::exception_ptr error);

// Runs a command handler; whatever escapes it is shown in the error box.
template <class F> void runCommand(QWidget* parent, F&& handler) {
    try {
        std::forward<F>(handler)();
    } catch (...) {
        showException(parent, std::current_exception());
    }
}

} // namespace quillet::platform
