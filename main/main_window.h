#pragma once
// The main window: the page path, the entry's title and body, the title settings, and the
// buttons of every command. Handlers stay thin: they read the controls, call document/, and
// write the result back.

#include <QStringList>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "commands/entry_text.h"
#include "document/page_format.h"
#include "main/texts.h"
#include "platform/open_dialog.h"

class QAbstractButton;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QToolButton;
class QFrame;
class QProgressBar;
class QShortcut;
class QRubberBand;

namespace quillet::net {
class TNMFTP;
}
namespace quillet::platform {
struct CertificateInfo;
class PageCodec;
} // namespace quillet::platform

namespace quillet::ui {

class ToolBarPanel;
class TFormHelp;
struct LoginTarget;

class TFormQuillet : public QWidget {
    Q_OBJECT
public:
    explicit TFormQuillet(QWidget* parent = nullptr);
    ~TFormQuillet() override;

    // Title decoration (written by the title-style commands, read by Save).
    bool TitleBold = false;
    bool TitleItalic = false;
    qint32 TitleColor = 0; // 0xRRGGBB, 0 = none
    std::string TitleSize; // FONT SIZE token, empty = none
    QString TitleMarkTag;  // the title-mark image tag; in the page's encoding at Save
    // The newest entry was taken into the editor and has not been saved since.
    bool EntryRecalled = false;

    // Command handlers, by the names the rest of the program knows them by.
    void SpeedButtonSAVEClick(QObject* sender);
    void SpeedButtonPREVClick();
    void SpeedButtonCloseClick();

    // Choosing or creating a page (main_window_open.cpp).
    void ButtonHtmlClick();
    void OpenDocument();

    // Reworking the newest entry (main_window_rework.cpp).
    void SpeedButtonDELClick();
    void SpeedButtonMODClick();
    void SpeedButtonCANCELClick();

    // Publishing (main_window_publish.cpp).
    void SpeedButtonCONClick();
    void SpeedButtonDISClick();
    void SpeedButtonUPClick();
    void SpeedButtonDNClick();
    // An FTP command is running: the FTP buttons are off until it has unwound.
    bool ftpBusy() const { return ftpBusy_; }
    // Stops the running transfer (Esc, the cancel button, closing the window).
    void cancelTransfer();

    // Markup and title style (main_window_markup.cpp).
    void SpeedButtonStyleClick(QObject* sender);
    void SpeedButtonListClick();
    void SpeedButtonFontClick();
    void SpeedButtonTtlFontClick();
    void CheckBoxTitleMarkClick();

    // The body lines as the editor shows them (wrapped lines apart).
    QStringList bodyText() const;
    // The same as page bytes in that encoding.
    std::vector<std::string> bodyLines(const platform::PageCodec& codec) const;
    // The page path as the file system names it.
    std::string pagePath() const;
    // Shows the encoding of the page named in EditHtml, which is what Quillet writes in.
    void showPageEncoding();
    void setStatusText(const QString& text);
    QString statusText() const;

    // Layout, panels, help and about (main_window_layout.cpp).
    void SpeedButtonPanelClick(QObject* sender);
    void SpeedButtonHelpClick();
    void SpeedButtonAboutClick();
    // A bar was dragged and let go; docks or floats it, then lays the window out.
    void CoolBarDrop(ToolBarPanel* bar, const QPoint& topLeft, const QPoint& cursor);
    // A floating bar is dragged by its window's title bar, and let go.
    void CoolBarDragOver(ToolBarPanel* bar, const QPoint& topLeft, const QPoint& cursor);
    void CoolBarTitleDrop(ToolBarPanel* bar, const QPoint& topLeft, const QPoint& cursor);
    void dockBar(ToolBarPanel* bar, const QPoint& pointInWindow);
    void floatBar(ToolBarPanel* bar, const QPoint& screenPoint);
    void CoolBarEndDock(ToolBarPanel* bar);
    // The help window while it is present (shown or closed), else null.
    TFormHelp* helpWindow() const { return FormHelp; }

    ToolBarPanel* commandBar() const { return CoolBar1; }
    ToolBarPanel* markupBar() const { return CoolBar2; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildTopBand();
    void buildCommandBar();
    void buildMarkupBar();
    void FormCreate();
    void FormResize();
    void FormClose();
    void floatToolBars();
    void followFrames();
    void connectReworkHandlers();
    void connectLayoutHandlers();
    void connectOpenHandlers();
    void createDocument(const std::string& path);
    void connectPublishHandlers();
    void setConnectedLook(bool connected);
    void updateFtpButtons();
    void showTransferProgress();
    // The certificate question of a connect; a yes pins the certificate to the site.
    bool trustCertificate(const LoginTarget& site, const platform::CertificateInfo& certificate);
    template <class F> void runFtpCommand(F&& command);
    void setTitleMarkChecked(bool on);
    void connectMarkupHandlers();
    bool confirmDiscardRecalled();
    // The title or body holds text the author typed since the last Save or Edit-last.
    bool authorTyped() const;
    void editorNowUntyped();
    QToolButton* speedButton(QWidget* parent, const char* name, const QString& caption, int left, int top,
                             int width, int height);
    // Connects a button to a handler run under the default error display.
    template <class F> void onClick(QAbstractButton* button, F handler);
    commands::EntryText entryFromControls() const;

    bool placedOnce_ = false;
    bool barsDragged_ = false;
    TFormHelp* FormHelp = nullptr;
    QRubberBand* dockOutline_ = nullptr; // where a bar dragged by its title bar would dock
    bool connectedLook_ = false;         // the buttons' state, set by Connect and Disconnect only
    bool ftpBusy_ = false;
    bool transferCanceled_ = false;
    bool closeAfterFtp_ = false; // the window was closed during an FTP command
    bool closeConfirmed_ = false;
    // The title and body as Save or Edit-last left them; at first the placeholders.
    QString untypedTitle_;
    QString untypedBody_;

public:
    // Controls, named as the program names them.
    QFrame* Splitter1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* EditHtml = nullptr;
    QPushButton* ButtonHtml = nullptr;
    QLineEdit* EditURL = nullptr;
    QLineEdit* EditTitle = nullptr;
    QCheckBox* CheckBoxTitleMark = nullptr;
    QToolButton* SpeedButtonTtlFont = nullptr;
    QCheckBox* CheckBoxIndent = nullptr;
    QToolButton* SpeedButtonHelp = nullptr;
    QToolButton* SpeedButtonPanel1 = nullptr;
    QToolButton* SpeedButtonPanel2 = nullptr;
    QToolButton* SpeedButtonAbout = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    // The one file-open dialog of the run: page choosing and the title mark share it.
    platform::OpenDialog OpenDialog1;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* statusLabel_ = nullptr;
    QLabel* LabelEncoding = nullptr; // the page's encoding
    QLabel* progressLabel_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QToolButton* cancelButton_ = nullptr;
    QShortcut* cancelShortcut_ = nullptr;
    // The window's FTP client.
    std::unique_ptr<net::TNMFTP> NMFTP1;
    // The settings file of the site list; empty for the program's own.
    QString SettingsPath;

    ToolBarPanel* CoolBar1 = nullptr;
    QToolButton* SpeedButtonSAVE = nullptr;
    QToolButton* SpeedButtonCANCEL = nullptr;
    QToolButton* SpeedButtonMOD = nullptr;
    QToolButton* SpeedButtonRep = nullptr;
    QToolButton* SpeedButtonDEL = nullptr;
    QToolButton* SpeedButtonPREV = nullptr;
    QToolButton* SpeedButtonCON = nullptr;
    QToolButton* SpeedButtonDIS = nullptr;
    QToolButton* SpeedButtonUP = nullptr;
    QToolButton* SpeedButtonDN = nullptr;
    QToolButton* SpeedButtonClose = nullptr;

    ToolBarPanel* CoolBar2 = nullptr;
    QToolButton* SpeedButtonBold = nullptr;
    QToolButton* SpeedButtonItalic = nullptr;
    QToolButton* SpeedButtonUnder = nullptr;
    QToolButton* SpeedButtonLine = nullptr;
    QToolButton* SpeedButtonPhrase = nullptr;
    QToolButton* SpeedButtonPRE = nullptr;
    QToolButton* SpeedButtonTT = nullptr;
    QToolButton* SpeedButtonBR = nullptr;
    QToolButton* SpeedButtonBig = nullptr;
    QToolButton* SpeedButtonSmall = nullptr;
    QToolButton* SpeedButtonList = nullptr;
    QToolButton* SpeedButtonFont = nullptr;
};

} // namespace quillet::ui
