#pragma once
// The site dialog: the FTP sites of the settings file in a list, the details of the chosen one
// in a panel below it, adding and deleting sites. Every close rewrites the settings file, so
// additions and deletions are kept even when the dialog is cancelled.

#include <QDialog>
#include <string>
#include <vector>

#include "commands/site_login.h"
#include "document/site_list.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QScrollArea;

namespace quillet::ui {

// What Connect copies into the FTP client: the fields as they stand when the dialog closes,
// not the stored site (the proxy only while "ﾌﾟﾛｸｼ経由" is ticked, the pin unless the author
// removed it).
using commands::LoginTarget;
using commands::pinCertificate;

class TFormLogin : public QDialog {
    Q_OBJECT
public:
    explicit TFormLogin(QWidget* owner);
    // With the settings file at settingsPath instead of the program's own.
    TFormLogin(QWidget* owner, QString settingsPath);
    ~TFormLogin() override;

    // After exec() returned Accepted this never throws: OK refuses a value that cannot be sent.
    LoginTarget target() const;

    const std::vector<doc::SiteEntry>& sites() const { return sites_; }
    bool panelShown() const;

    void FormCreate();
    void ListBox1MouseDown(Qt::MouseButton button);
    void ListBox1KeyDown(int key);
    void ButtonADDClick();
    void ButtonDELClick();
    void ButtonDirClick();
    void FormClose();
    void SaveIni();

    QListWidget* ListBox1 = nullptr;
    QScrollArea* ScrollBox1 = nullptr;
    QLineEdit* EditTITLE = nullptr;
    QLineEdit* EditHost = nullptr;
    QLineEdit* EditPort = nullptr;
    QLineEdit* EditUser = nullptr;
    QLineEdit* EditPassword = nullptr;
    QCheckBox* SavePasswd = nullptr;
    QLineEdit* EditHome = nullptr;
    QPushButton* ButtonDir = nullptr;
    QCheckBox* UseProxy = nullptr;
    QLineEdit* EditProxy = nullptr;
    QLineEdit* EditProxyPort = nullptr;
    QRadioButton* RadioPassive = nullptr;
    QRadioButton* RadioActive = nullptr;
    QRadioButton* RadioTLS = nullptr;
    QRadioButton* RadioPlain = nullptr;
    QLabel* LabelPlainWarning = nullptr; // shown while plain FTP is chosen
    QLabel* LabelPin = nullptr;          // the pinned certificate, or that there is none
    QPushButton* ButtonPinClear = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonADD = nullptr;
    QPushButton* ButtonDEL = nullptr;
    QPushButton* ButtonNG = nullptr;

public slots:
    void accept() override;
    // Every way of closing ends here.
    void done(int result) override;

private:
    void showPanel(bool shown);
    int selectedRow() const;
    void fillFields(int row);
    void setOptions(doc::DataMode mode, doc::Security security, const std::string& pin);
    doc::DataMode chosenMode() const;
    doc::Security chosenSecurity() const;
    void showSecurity();
    void showPin(const std::string& pin);

    QString settingsPath_;
    std::string pin_; // of the fields: from the chosen site, handed over and stored by "追加"
    QWidget* pinRow_ = nullptr;
    std::vector<doc::SiteEntry> sites_; // one per line of ListBox1
    bool readFailed_ = false;
};

} // namespace quillet::ui
