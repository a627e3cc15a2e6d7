#include "platform/folder_dialog.h"

#include <QDir>
#include <QFileInfo>

#include "platform/prompter.h"

namespace quillet::platform {

FolderDialog::FolderDialog(QWidget* parent, const QString& title, const QString& startFolder)
    : QFileDialog(parent, title, startFolder) {
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly);
    setOption(QFileDialog::DontUseNativeDialog); // the native one may not let a new name through
}

void FolderDialog::accept() {
    const QStringList chosen = selectedFiles();
    if (!chosen.isEmpty() && !QFileInfo::exists(chosen.first())) {
        if (prompter().confirm(this, QStringLiteral("指定されたディレクトリが存在しません。作成しますか？"),
                               Buttons::YesNo) != Answer::Yes)
            return;
        if (!QDir().mkpath(chosen.first())) {
            prompter().error(this,
                             withClosingPeriod(QStringLiteral("ディレクトリを作成することができません")));
            return;
        }
    }
    QFileDialog::accept();
}

} // namespace quillet::platform
