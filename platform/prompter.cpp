#include "platform/prompter.h"

#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include "platform/error_text.h"
#include "platform/folder_dialog.h"
#include "platform/open_dialog.h"

namespace quillet::platform {

namespace {
QString lineBreaks(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar('\r'), QChar('\n'));
    return text;
}

class QtPrompter : public Prompter {
public:
    Answer confirm(QWidget* parent, const QString& text, Buttons buttons) override {
        QMessageBox box(QMessageBox::Question, QStringLiteral("確認"), lineBreaks(text),
                        QMessageBox::NoButton, parent);
        QAbstractButton* first = nullptr;
        QAbstractButton* second = nullptr;
        switch (buttons) {
        case Buttons::Ok:
            first = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
            break;
        case Buttons::OkCancel:
            first = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
            second = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
            break;
        case Buttons::YesNo:
        case Buttons::YesNoDefaultNo:
            first = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
            second = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
            break;
        }
        box.setDefaultButton(static_cast<QPushButton*>(buttons == Buttons::YesNoDefaultNo ? second : first));
        box.setEscapeButton(second ? second : first);
        box.exec();
        const bool firstChosen = box.clickedButton() == first;
        if (buttons == Buttons::YesNo || buttons == Buttons::YesNoDefaultNo)
            return firstChosen ? Answer::Yes : Answer::No;
        if (buttons == Buttons::Ok)
            return Answer::Ok;
        return firstChosen ? Answer::Ok : Answer::Cancel;
    }

    std::optional<int> choose(QWidget* parent, const QString& text, const QStringList& choices,
                              int defaultChoice) override {
        QMessageBox box(QMessageBox::Question, QStringLiteral("確認"), lineBreaks(text),
                        QMessageBox::NoButton, parent);
        QList<QAbstractButton*> buttons;
        for (const QString& choice : choices)
            buttons << box.addButton(choice, QMessageBox::AcceptRole);
        QAbstractButton* cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
        box.setDefaultButton(static_cast<QPushButton*>(buttons.value(defaultChoice)));
        box.setEscapeButton(cancel);
        box.exec();
        const auto chosen = buttons.indexOf(box.clickedButton());
        if (chosen < 0)
            return std::nullopt;
        return static_cast<int>(chosen);
    }

    void error(QWidget* parent, const QString& text) override {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Quillet"), lineBreaks(text), QMessageBox::Ok,
                        parent);
        box.exec();
    }

    std::optional<QString> chooseOpenFile(QWidget* parent, const OpenDialog& dialog) override {
        QFileDialog box(parent, QString(), dialog.initialDir);
        box.setAcceptMode(QFileDialog::AcceptOpen);
        box.setFileMode(QFileDialog::AnyFile); // a name that does not exist yet may be given
        const QStringList filters = nameFilters(dialog.filter);
        box.setNameFilters(filters);
        if (dialog.filterIndex >= 1 && dialog.filterIndex <= filters.size())
            box.selectNameFilter(filters[dialog.filterIndex - 1]);
        box.setDefaultSuffix(dialog.defaultExt);
        if (!dialog.fileName.isEmpty())
            box.selectFile(dialog.fileName);
        // The folder must exist: a name typed into a missing folder is shown again.
        for (;;) {
            if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
                return std::nullopt;
            const QString chosen = box.selectedFiles().first();
            const QString folder = QFileInfo(chosen).absolutePath();
            if (QFileInfo(folder).isDir())
                return chosen;
            QMessageBox::warning(&box, QStringLiteral("確認"),
                                 QStringLiteral("フォルダ %1 が見つかりません。\n"
                                                "フォルダ名を確かめてください。")
                                     .arg(QDir::toNativeSeparators(folder)));
        }
    }

    std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) override {
        const QColor chosen = QColorDialog::getColor(initial, parent);
        if (!chosen.isValid())
            return std::nullopt;
        return chosen;
    }

    std::optional<QString> chooseFolder(QWidget* parent, const QString& title,
                                        const QString& startFolder) override {
        FolderDialog box(parent, title, startFolder);
        if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
            return std::nullopt;
        return box.selectedFiles().first();
    }
};

Prompter*& current() {
    static Prompter* p = nullptr;
    return p;
}
} // namespace

Prompter& prompter() {
    static QtPrompter qtPrompter;
    return current() ? *current() : qtPrompter;
}

void setPrompter(Prompter* replacement) { current() = replacement; }

void showException(QWidget* parent, std::exception_ptr error) {
    prompter().error(parent, withClosingPeriod(exceptionMessage(error)));
}

} // namespace quillet::platform
