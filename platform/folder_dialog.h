#pragma once
// The folder chooser. Unlike Qt's own, it takes the name of a folder that does not exist yet:
// it asks, then creates the folder with any missing parents.

#include <QFileDialog>

namespace quillet::platform {

class FolderDialog : public QFileDialog {
    Q_OBJECT
public:
    FolderDialog(QWidget* parent, const QString& title, const QString& startFolder);

public slots:
    void accept() override;
};

} // namespace quillet::platform
