#pragma once
// Answers message boxes with prepared replies and records what was asked.

#include <QString>
#include <deque>
#include <vector>

#include "platform/open_dialog.h"
#include "platform/prompter.h"

namespace quillet::testing {

struct Asked {
    enum Kind { Confirm, Error } kind;
    QString text;
    platform::Buttons buttons;
};

class TestPrompter : public platform::Prompter {
public:
    TestPrompter() { platform::setPrompter(this); }
    ~TestPrompter() override { platform::setPrompter(nullptr); }

    std::deque<platform::Answer> answers;
    std::vector<Asked> asked;
    // Choosers: the next prepared reply (nothing = Cancel), and how each was opened.
    std::deque<std::optional<QString>> files;
    std::vector<platform::OpenDialog> fileDialogs;
    std::deque<std::optional<QColor>> colors;
    std::vector<QColor> colorStarts;
    std::deque<std::optional<QString>> folders;
    std::vector<std::pair<QString, QString>> folderDialogs; // title, starting folder
    // Questions with choices: the next prepared reply (nothing prepared: the default).
    std::deque<std::optional<int>> choices;
    struct Choice {
        QString text;
        QStringList choices;
        int defaultChoice;
    };
    std::vector<Choice> chosen;

    platform::Answer confirm(QWidget*, const QString& text, platform::Buttons buttons) override {
        asked.push_back({Asked::Confirm, text, buttons});
        if (answers.empty())
            return buttons == platform::Buttons::YesNo || buttons == platform::Buttons::YesNoDefaultNo
                       ? platform::Answer::No
                   : buttons == platform::Buttons::Ok ? platform::Answer::Ok
                                                      : platform::Answer::Cancel;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
    void error(QWidget*, const QString& text) override {
        asked.push_back({Asked::Error, text, platform::Buttons::Ok});
    }
    std::optional<QString> chooseOpenFile(QWidget*, const platform::OpenDialog& dialog) override {
        fileDialogs.push_back(dialog);
        return next(files);
    }
    std::optional<QColor> chooseColor(QWidget*, const QColor& initial) override {
        colorStarts.push_back(initial);
        return next(colors);
    }
    std::optional<QString> chooseFolder(QWidget*, const QString& title, const QString& start) override {
        folderDialogs.emplace_back(title, start);
        return next(folders);
    }

    std::optional<int> choose(QWidget*, const QString& text, const QStringList& options,
                              int defaultChoice) override {
        chosen.push_back({text, options, defaultChoice});
        if (choices.empty())
            return defaultChoice;
        return next(choices);
    }

private:
    template <class T> static std::optional<T> next(std::deque<std::optional<T>>& replies) {
        if (replies.empty())
            return std::nullopt;
        auto reply = replies.front();
        replies.pop_front();
        return reply;
    }
};

} // namespace quillet::testing
