#pragma once
// The font dialog: bold, italic, a colour and an HTML font size. It serves the "ﾌｫﾝﾄ" button
// (markup around the body's selection) and the title style (the main window's title settings).

#include <QDialog>
#include <cstdint>

#include "markup/markup.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace quillet::ui {

class TFormFont : public QDialog {
    Q_OBJECT
public:
    explicit TFormFont(QWidget* owner);
    ~TFormFont() override;

    // The dialog's state; the colour is in the colour chooser's order, 0 for none.
    markup::FontChoice choice() const;
    void setChoice(const markup::FontChoice& choice);

    void SpeedButton1Click();
    void EditSizeExit();

    QCheckBox* CheckBoxBold = nullptr;
    QCheckBox* CheckBoxItalic = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* EditSize = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonNg = nullptr;

public slots:
    // The size is checked once more, so Enter or a click on OK never takes an unchecked token.
    void accept() override;

private:
    std::uint32_t color_ = 0;
};

} // namespace quillet::ui
