#pragma once
// The help window: a modeless tool window with the usage notes in a read-only text box.

#include <QWidget>

class QPlainTextEdit;

namespace quillet::ui {

class TFormHelp : public QWidget {
    Q_OBJECT
public:
    explicit TFormHelp(QWidget* owner);
    ~TFormHelp() override;

    QPlainTextEdit* Memo1 = nullptr;
};

} // namespace quillet::ui
