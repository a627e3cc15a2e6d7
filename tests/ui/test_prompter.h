#pragma once
// Answers message boxes with prepared replies and records what was asked.

#include <QString>
#include <deque>
#include <vector>

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

    platform::Answer confirm(QWidget*, const QString& text, platform::Buttons buttons) override {
        asked.push_back({Asked::Confirm, text, buttons});
        if (answers.empty())
            return buttons == platform::Buttons::YesNo ? platform::Answer::No
                   : buttons == platform::Buttons::Ok  ? platform::Answer::Ok
                                                       : platform::Answer::Cancel;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
    void error(QWidget*, const QString& text) override {
        asked.push_back({Asked::Error, text, platform::Buttons::Ok});
    }
};

} // namespace quillet::testing
