#include "dialogs/site_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <functional>

#include "dialogs/texts.h"
#include "platform/codepage.h"
#include "platform/prompter.h"
#include "platform/settings_path.h"

namespace quillet::ui {

namespace {
namespace texts = dialogs::texts::site;

constexpr int kWidth = 262;
constexpr int kListHeight = 108;
constexpr int kPanelHeight = 378;
constexpr int kLabelX = 8;
constexpr int kEditX = 92;
constexpr int kEditWidth = 156;
constexpr int kRowHeight = 21;

// Reports the presses the dialog reacts to; the list does its own work first, as a click
// selects before the dialog looks at the selection. Only the left button chooses a site: the
// others would move the selection, and with it the fields "接続" connects with. The second
// press of a double click is a press like the first.
class SiteListBox : public QListWidget {
public:
    using QListWidget::QListWidget;
    std::function<void(Qt::MouseButton)> onMouseDown;
    std::function<void(int key)> onKeyDown;

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton)
            QListWidget::mousePressEvent(event);
        onMouseDown(event->button());
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override { mousePressEvent(event); }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton)
            QListWidget::mouseReleaseEvent(event);
    }
    void keyPressEvent(QKeyEvent* event) override {
        onKeyDown(event->key());
        if (event->key() == Qt::Key_Escape)
            return; // handled: the dialog must not see it a second time
        QListWidget::keyPressEvent(event);
    }
};

// A field as the settings file and the server get it. A character the code page cannot hold
// is refused instead of being sent as something else.
std::string fieldBytes(const QLineEdit* edit) {
    return platform::cp932().encodeExactly(edit->text(), edit->accessibleName());
}

// A value from the file. Bytes that are not CP932 (a file edited in another code page) show as
// U+FFFD, which fieldBytes refuses, so they are never sent or stored in place of the original.
QString shown(const std::string& bytes) {
    if (auto text = platform::cp932().decode(bytes))
        return *std::move(text);
    QString text;
    for (unsigned char c : bytes)
        text += c < 0x80 ? QChar(c) : QChar(QChar::ReplacementCharacter);
    return text;
}
} // namespace

TFormLogin::TFormLogin(QWidget* owner) : TFormLogin(owner, platform::settingsFilePath()) {}

TFormLogin::TFormLogin(QWidget* owner, QString settingsPath)
    : QDialog(owner), settingsPath_(std::move(settingsPath)) {
    setObjectName(QStringLiteral("FormLogin"));
    setWindowTitle(texts::FormLogin);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    if (owner)
        setFont(owner->font()); // a window does not inherit its owner's font by itself

    auto* list = new SiteListBox(this);
    ListBox1 = list;
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(0, 0, kWidth, kListHeight);
    list->onMouseDown = [this](Qt::MouseButton button) { ListBox1MouseDown(button); };
    list->onKeyDown = [this](int key) { ListBox1KeyDown(key); };
    // Whatever moves the selection (keys, a drag) brings that site's details, so Enter connects
    // to the highlighted site; only a click toggles the panel.
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, [this] { fillFields(selectedRow()); });

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setGeometry(0, kListHeight, kWidth, kPanelHeight);
    ScrollBox1->setWidgetResizable(true);
    auto* panel = new QWidget;
    ScrollBox1->setWidget(panel);

    auto label = [panel](const QString& text, int x, int y) {
        auto* l = new QLabel(text, panel);
        l->move(x, y + 3);
        l->adjustSize();
        return l;
    };
    auto edit = [&](const char* name, const QString& caption, int y, int width) {
        auto* e = new QLineEdit(panel);
        e->setObjectName(QLatin1String(name));
        e->setAccessibleName(caption);
        e->setGeometry(kEditX, y, width, kRowHeight);
        label(caption, kLabelX, y)->setBuddy(e);
        return e;
    };
    auto check = [panel](const char* name, const QString& caption, int x, int y) {
        auto* c = new QCheckBox(caption, panel);
        c->setObjectName(QLatin1String(name));
        c->move(x, y);
        c->adjustSize();
        return c;
    };
    auto button = [panel](const char* name, const QString& caption, const QRect& geometry) {
        auto* b = new QPushButton(caption, panel);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(geometry);
        return b;
    };

    EditTITLE = edit("EditTITLE", texts::EditTITLE, 8, kEditWidth);
    EditHost = edit("EditHost", texts::EditHost, 33, kEditWidth);
    EditPort = edit("EditPort", texts::EditPort, 58, 48);
    label(texts::PortNote, kEditX + 56, 58);
    EditUser = edit("EditUser", texts::EditUser, 83, kEditWidth);
    EditPassword = edit("EditPassword", texts::EditPassword, 108, 104);
    EditPassword->setEchoMode(QLineEdit::Password);
    EditPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // "*"
    SavePasswd = check("SavePasswd", texts::SavePasswd, kEditX + 112, 110);

    auto* divider = new QFrame(panel);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    divider->setGeometry(4, 136, kEditX + kEditWidth, 2);
    label(texts::Optional, kLabelX, 138);

    EditHome = edit("EditHome", texts::EditHome, 160, kEditWidth - 30);
    ButtonDir = button("ButtonDir", texts::ButtonDir, QRect(kEditX + kEditWidth - 26, 160, 26, kRowHeight));
    UseProxy = check("UseProxy", texts::UseProxy, kLabelX, 186);
    EditProxy = edit("EditProxy", texts::EditProxy, 208, kEditWidth);
    EditProxyPort = edit("EditProxyPort", texts::EditProxyPort, 233, 48);

    // How to connect: two choices each, and the certificate pinned for the site.
    constexpr int kSecondChoiceX = kEditX + 80;
    auto choice = [&](const char* name, const QString& caption, int x, int y, QButtonGroup* group) {
        auto* r = new QRadioButton(caption, panel);
        r->setObjectName(QLatin1String(name));
        r->move(x, y);
        r->adjustSize();
        group->addButton(r);
        return r;
    };
    auto* modes = new QButtonGroup(this);
    label(texts::DataConnection, kLabelX, 260);
    RadioPassive = choice("RadioPassive", texts::RadioPassive, kEditX, 262, modes);
    RadioActive = choice("RadioActive", texts::RadioActive, kSecondChoiceX, 262, modes);
    auto* securities = new QButtonGroup(this);
    label(texts::Security, kLabelX, 283);
    RadioTLS = choice("RadioTLS", texts::RadioTLS, kEditX, 285, securities);
    RadioPlain = choice("RadioPlain", texts::RadioPlain, kSecondChoiceX, 285, securities);
    // Below them, the pinned certificate over TLS, the warning in its place without.
    constexpr int kSecurityNoteY = 307;
    LabelPlainWarning = new QLabel(texts::LabelPlainWarning, panel);
    LabelPlainWarning->setObjectName(QStringLiteral("LabelPlainWarning"));
    LabelPlainWarning->setWordWrap(true);
    LabelPlainWarning->setStyleSheet(QStringLiteral("color: #c00000"));
    LabelPlainWarning->setGeometry(kLabelX, kSecurityNoteY, kEditX + kEditWidth - kLabelX, 32);
    connect(RadioPlain, &QRadioButton::toggled, this, [this] { showSecurity(); });

    pinRow_ = new QWidget(panel);
    pinRow_->setGeometry(0, kSecurityNoteY + 2, kWidth, kRowHeight);
    auto* pinCaption = new QLabel(texts::Certificate, pinRow_);
    pinCaption->move(kLabelX, 3);
    LabelPin = new QLabel(pinRow_);
    LabelPin->setObjectName(QStringLiteral("LabelPin"));
    LabelPin->setGeometry(kEditX, 0, kEditWidth - 48, kRowHeight);
    LabelPin->setAccessibleName(pinCaption->text());
    ButtonPinClear = new QPushButton(texts::ButtonPinClear, pinRow_);
    ButtonPinClear->setObjectName(QStringLiteral("ButtonPinClear"));
    ButtonPinClear->setGeometry(kEditX + kEditWidth - 44, 0, 44, kRowHeight);
    connect(ButtonPinClear, &QPushButton::clicked, this, [this] { showPin({}); });

    constexpr int kButtonY = kPanelHeight - 32;
    constexpr int kButtonWidth = 56, kButtonGap = 6;
    auto rowButton = [&](const char* name, const QString& caption, int i) {
        return button(name, caption,
                      QRect(kLabelX + i * (kButtonWidth + kButtonGap), kButtonY, kButtonWidth, 25));
    };
    ButtonOK = rowButton("ButtonOK", texts::ButtonOK, 0);
    ButtonADD = rowButton("ButtonADD", texts::ButtonADD, 1);
    ButtonDEL = rowButton("ButtonDEL", texts::ButtonDEL, 2);
    ButtonNG = rowButton("ButtonNG", texts::ButtonNG, 3);
    ButtonOK->setDefault(true);

    QWidget* order[] = {ListBox1,     EditTITLE,   EditHost,  EditPort,   EditUser,       EditPassword,
                        SavePasswd,   EditHome,    ButtonDir, UseProxy,   EditProxy,      EditProxyPort,
                        RadioPassive, RadioActive, RadioTLS,  RadioPlain, ButtonPinClear, ButtonOK,
                        ButtonADD,    ButtonDEL,   ButtonNG};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(ButtonOK, &QPushButton::clicked, this, &TFormLogin::accept);
    connect(ButtonNG, &QPushButton::clicked, this, &TFormLogin::reject);
    connect(ButtonADD, &QPushButton::clicked, this,
            [this] { platform::runCommand(this, [this] { ButtonADDClick(); }); });
    connect(ButtonDEL, &QPushButton::clicked, this, [this] { ButtonDELClick(); });
    connect(ButtonDir, &QPushButton::clicked, this, [this] { ButtonDirClick(); });

    FormCreate();
    // Centred on the screen at the size FormCreate chose.
    if (QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

TFormLogin::~TFormLogin() = default;

bool TFormLogin::panelShown() const { return !ScrollBox1->isHidden(); }

void TFormLogin::showPanel(bool shown) {
    ScrollBox1->setVisible(shown);
    setFixedSize(kWidth, kListHeight + (shown ? kPanelHeight : 0));
}

void TFormLogin::FormCreate() {
    showPanel(false);
    for (QLineEdit* e : {EditTITLE, EditHost, EditUser, EditPassword, EditHome, EditProxy, EditProxyPort})
        e->clear();
    EditPort->setText(texts::EditPortDefault);
    SavePasswd->setChecked(true);
    UseProxy->setChecked(false);
    setOptions(doc::DataMode::Passive, doc::Security::TlsRequired, {}); // a new site's

    sites_.clear();
    ListBox1->clear();
    readFailed_ = false;
    try {
        sites_ = doc::loadSiteList(QFile::encodeName(settingsPath_).toStdString());
    } catch (...) {
        // Closing would replace the file with an empty list: leave it for the user to repair.
        readFailed_ = true;
        platform::showException(this, std::current_exception());
    }
    for (const doc::SiteEntry& site : sites_)
        ListBox1->addItem(shown(site.title));
    if (sites_.empty()) {
        showPanel(true); // the fields for a first site show at once, ready for typing
        EditTITLE->setFocus();
    }
}

int TFormLogin::selectedRow() const {
    const QList<QListWidgetItem*> items = ListBox1->selectedItems();
    return items.isEmpty() ? -1 : ListBox1->row(items.first());
}

void TFormLogin::fillFields(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= sites_.size())
        return;
    const doc::SiteEntry& site = sites_[static_cast<std::size_t>(row)];
    EditTITLE->setText(shown(site.title));
    EditHost->setText(shown(site.host));
    EditPort->setText(shown(site.port));
    EditUser->setText(shown(site.user));
    EditPassword->setText(shown(site.password));
    EditHome->setText(shown(site.home));
    EditProxy->setText(shown(site.proxy));
    EditProxyPort->setText(shown(site.proxyPort));
    SavePasswd->setChecked(!site.password.empty());
    UseProxy->setChecked(!site.proxy.empty() || !site.proxyPort.empty());
    setOptions(site.mode, site.security, site.pin);
}

void TFormLogin::setOptions(doc::DataMode mode, doc::Security security, const std::string& pin) {
    (mode == doc::DataMode::Active ? RadioActive : RadioPassive)->setChecked(true);
    (security == doc::Security::Plain ? RadioPlain : RadioTLS)->setChecked(true);
    showSecurity();
    showPin(pin);
}

doc::DataMode TFormLogin::chosenMode() const {
    return RadioActive->isChecked() ? doc::DataMode::Active : doc::DataMode::Passive;
}

doc::Security TFormLogin::chosenSecurity() const {
    return RadioPlain->isChecked() ? doc::Security::Plain : doc::Security::TlsRequired;
}

void TFormLogin::showPin(const std::string& pin) {
    pin_ = pin;
    // The whole fingerprint does not fit: its start tells certificates apart, the tip shows all.
    const QString fingerprint = shown(pin);
    LabelPin->setText(fingerprint.isEmpty() ? texts::NoPin
                                            : LabelPin->fontMetrics().elidedText(fingerprint, Qt::ElideRight,
                                                                                 LabelPin->width()));
    LabelPin->setToolTip(fingerprint);
    ButtonPinClear->setEnabled(!pin.empty());
}

void TFormLogin::showSecurity() {
    const bool plain = RadioPlain->isChecked();
    LabelPlainWarning->setVisible(plain);
    pinRow_->setVisible(!plain);
}

void TFormLogin::ListBox1MouseDown(Qt::MouseButton button) {
    if (button != Qt::LeftButton)
        return;
    showPanel(!panelShown());
    fillFields(selectedRow());
}

void TFormLogin::ListBox1KeyDown(int key) {
    if (key == Qt::Key_Escape)
        reject();
}

void TFormLogin::ButtonADDClick() {
    if (EditTITLE->text().isEmpty())
        return;
    sites_.push_back({fieldBytes(EditTITLE), fieldBytes(EditHost), fieldBytes(EditPort), fieldBytes(EditUser),
                      SavePasswd->isChecked() ? fieldBytes(EditPassword) : std::string(),
                      fieldBytes(EditProxy), fieldBytes(EditProxyPort), fieldBytes(EditHome), chosenMode(),
                      chosenSecurity(), pin_});
    ListBox1->addItem(EditTITLE->text());
}

void TFormLogin::ButtonDELClick() {
    const int row = selectedRow();
    if (row < 0)
        return;
    // The fields keep what they show and no neighbour becomes selected.
    const QSignalBlocker quiet(ListBox1);
    delete ListBox1->takeItem(row);
    sites_.erase(sites_.begin() + row);
    ListBox1->selectionModel()->clear();
}

void TFormLogin::ButtonDirClick() {
    if (auto folder = platform::prompter().chooseFolder(this, texts::ChooseFolder, QDir::currentPath()))
        EditHome->setText(*folder);
}

LoginTarget TFormLogin::target() const {
    const bool proxied = UseProxy->isChecked();
    return commands::loginTarget({fieldBytes(EditTITLE), fieldBytes(EditHost),
                                  platform::cp932().encode(EditPort->text()), fieldBytes(EditUser),
                                  fieldBytes(EditPassword), proxied ? fieldBytes(EditProxy) : std::string(),
                                  proxied ? platform::cp932().encode(EditProxyPort->text()) : std::string(),
                                  std::string(), chosenMode(), chosenSecurity(), pin_});
}

void TFormLogin::accept() {
    try {
        (void)target();
    } catch (...) {
        platform::showException(this, std::current_exception());
        return;
    }
    QDialog::accept();
}

void TFormLogin::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TFormLogin::FormClose() {
    if (readFailed_)
        return;
    // A file that cannot be written must not keep the dialog open: say so once and close.
    platform::runCommand(this, [this] { SaveIni(); });
}

void TFormLogin::SaveIni() {
    QDir().mkpath(QFileInfo(settingsPath_).absolutePath()); // the per-user folder may be new
    doc::saveSiteList(QFile::encodeName(settingsPath_).toStdString(), sites_);
}

} // namespace quillet::ui
