#pragma once
// The list dialog: the type of list ("記号タイプ" UL or "番号タイプ" OL) and, for a numbered
// list, an optional start number.

#include <QDialog>
#include <cstdint>
#include <optional>

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quillet::ui {

class TFormList : public QDialog {
    Q_OBJECT
public:
    explicit TFormList(QWidget* owner);
    ~TFormList() override;

    // The chosen type, counted from 0 in the order of the choices.
    int ItemIndex() const;
    void setItemIndex(int index);
    // The start number, when the field holds one.
    std::optional<std::int32_t> startNumber() const;

    void RadioGroupTypeClick();
    void EditStartExit();

    QPlainTextEdit* Memo1 = nullptr;
    QGroupBox* RadioGroupType = nullptr;
    QButtonGroup* RadioGroupTypeButtons = nullptr;
    QGroupBox* GroupBoxStart = nullptr;
    QLineEdit* EditStart = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonNg = nullptr;

public slots:
    // The start number is normalised once more, so Enter never takes an unchecked text.
    void accept() override;
};

} // namespace quillet::ui
