#include "main/main_window.h"

#include <QAbstractTextDocumentLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextLayout>
#include <QToolButton>
#include <QWindow>
#include <algorithm>

#include "commands/entry_text.h"
#include "dialogs/program_icon.h"
#include "document/entry_writer.h"
#include "document/file_io.h"
#include "document/page_encoding.h"
#include "main/main_window_private.h"
#include "main/tool_bar.h"
#include "net/ftp_client.h"
#include "platform/codepage.h"
#include "platform/message_pump.h"
#include "platform/prompter.h"
#include "platform/shell.h"
#include "platform/texts.h"

namespace quillet::ui {

using platform::Answer;
using platform::Buttons;
using platform::prompter;

namespace {
constexpr int kClientWidth = 455;
constexpr int kClientHeight = 460;
constexpr int kBandHeight = 113;

QFont windowFont() {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP")});
    font.setPixelSize(12);
    return font;
}

QFont editorFont() {
    QFont font;
    font.setFamilies(
        {QStringLiteral("MS UI Gothic"), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP")});
    font.setPixelSize(12);
    return font;
}

// The captions were laid out for narrower bitmap fonts: a caption that does not fit its
// control is drawn a little condensed, and if need be a pixel or two smaller, rather than cut
// off or run into the control's edges.
void fitCaption(QWidget* widget, const QString& text, int room) {
    QFont f = widget->font();
    constexpr double kTightest = 85.0; // per cent of the normal spacing
    const int given = QFontInfo(f).pixelSize();
    for (int size = given; size >= 9; --size) {
        f.setPixelSize(size);
        const int needed = QFontMetrics(f).horizontalAdvance(text);
        if (needed <= room && size == given)
            return;
        if (needed * kTightest / 100.0 <= room || size == 9) {
            f.setLetterSpacing(QFont::PercentageSpacing, std::clamp(100.0 * room / needed, kTightest, 100.0));
            widget->setFont(f);
            return;
        }
    }
}

// Room a caption leaves inside a button: its frame and a margin on either side.
constexpr int kCaptionMargin = 8;
// The band's controls keep this distance from the window's left edge.
constexpr int kBandMargin = 4;

// The status line takes the room the transfer's progress leaves, so the progress is never cut;
// a text longer than that room is cut in the middle (a path's end tells most) and shown whole
// in the tool tip.
class StatusLine : public QLabel {
public:
    using QLabel::QLabel;
    QSize sizeHint() const override { return {0, QLabel::sizeHint().height()}; }
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect room = contentsRect();
        style()->drawItemText(&painter, room, Qt::AlignLeft | Qt::AlignVCenter, palette(), isEnabled(),
                              fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width()),
                              foregroundRole());
    }
};

} // namespace

TFormQuillet::TFormQuillet(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FormQuillet"));
    setWindowTitle(texts::FormQuillet);
    setFont(windowFont());
    resize(kClientWidth, kClientHeight);

    buildTopBand();
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setFont(editorFont());
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setPlainText(texts::Memo1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    statusLabel_ = new StatusLine(StatusBar1);
    StatusBar1->addWidget(statusLabel_, 1);
    LabelEncoding = new QLabel(StatusBar1);
    LabelEncoding->setObjectName(QStringLiteral("LabelEncoding"));
    LabelEncoding->setContentsMargins(4, 0, 6, 0); // clear of the window's edge: no size grip
    StatusBar1->addPermanentWidget(LabelEncoding);
    progressLabel_ = new QLabel(StatusBar1);
    progressBar_ = new QProgressBar(StatusBar1);
    progressBar_->setMaximumWidth(90);
    progressBar_->setTextVisible(false);
    cancelButton_ = new QToolButton(StatusBar1);
    cancelButton_->setObjectName(QStringLiteral("ButtonCancelTransfer"));
    cancelButton_->setText(texts::ButtonCancelTransfer);
    cancelButton_->setToolTip(texts::ButtonCancelTransferTip);
    StatusBar1->addPermanentWidget(progressLabel_);
    StatusBar1->addPermanentWidget(progressBar_);
    StatusBar1->addPermanentWidget(cancelButton_);
    progressLabel_->hide();
    progressBar_->hide();
    cancelButton_->hide();

    // A failure inside a socket or timer notification reaches the same error box as a command's.
    platform::setExceptionReporter(
        [this](std::exception_ptr error) { platform::showException(this, error); });
    NMFTP1 = std::make_unique<net::TNMFTP>();
    NMFTP1->setObjectName(QStringLiteral("NMFTP1"));
    buildCommandBar();
    buildMarkupBar();
    connectReworkHandlers();
    connectLayoutHandlers();
    connectOpenHandlers();
    connectMarkupHandlers();
    connectPublishHandlers();
    connect(EditHtml, &QLineEdit::textChanged, this, [this] { showPageEncoding(); });
    FormCreate();
}

TFormQuillet::~TFormQuillet() { platform::setExceptionReporter(nullptr); }

QToolButton* TFormQuillet::speedButton(QWidget* parent, const char* name, const QString& caption, int left,
                                       int top, int width, int height) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(caption);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setGeometry(left, top, width, height);
    b->setFocusPolicy(Qt::NoFocus); // speed buttons never take the focus from the editor
    fitCaption(b, caption, width - kCaptionMargin);
    return b;
}

void TFormQuillet::buildTopBand() {
    Splitter1 = new QFrame(this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setGeometry(0, 0, kClientWidth, kBandHeight);

    auto label = [this](const char* name, const QString& text, int l, int t, int w, int h) {
        auto* lb = new QLabel(text, Splitter1);
        lb->setObjectName(QString::fromLatin1(name));
        lb->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // Right-aligned: a wider font grows the label to the left, never over its edit and
        // never into the window's margin; what still does not fit is condensed.
        const int needed = lb->fontMetrics().horizontalAdvance(text) + 2;
        const int grow = std::min(std::max(0, needed - w), std::max(0, l - kBandMargin));
        lb->setGeometry(l - grow, t - 2, w + grow, h + 4);
        fitCaption(lb, text, w + grow - 2);
        return lb;
    };
    auto edit = [this](const char* name, const QString& text, int l, int t, int w, int h) {
        auto* e = new QLineEdit(text, Splitter1);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(l, t, w, h);
        return e;
    };
    auto check = [this](const char* name, const QString& text, int l, int t, int w, int h) {
        auto* c = new QCheckBox(text, Splitter1);
        c->setObjectName(QString::fromLatin1(name));
        c->setGeometry(l, t, w, h);
        return c;
    };

    Label2 = label("Label2", texts::Label2, 4, 8, 80, 12);
    EditHtml = edit("EditHtml", texts::EditHtml, 87, 4, 86, 20);
    ButtonHtml = new QPushButton(texts::ButtonHtml, Splitter1);
    ButtonHtml->setObjectName(QStringLiteral("ButtonHtml"));
    ButtonHtml->setGeometry(176, 4, 25, 21);
    Label1 = label("Label1", texts::Label1, 212, 8, 80, 12);
    EditURL = edit("EditURL", QString(), 295, 4, 137, 20);
    Label4 = label("Label4", texts::Label4, 9, 40, 39, 12);
    EditTitle = edit("EditTitle", texts::EditTitle, 51, 34, 382, 22);
    CheckBoxTitleMark = check("CheckBoxTitleMark", texts::CheckBoxTitleMark, 4, 76, 85, 17);
    SpeedButtonTtlFont =
        speedButton(Splitter1, "SpeedButtonTtlFont", texts::SpeedButtonTtlFont, 92, 68, 77, 29);
    CheckBoxIndent = check("CheckBoxIndent", texts::CheckBoxIndent, 176, 76, 97, 17);
    SpeedButtonHelp = speedButton(Splitter1, "SpeedButtonHelp", texts::SpeedButtonHelp, 292, 64, 45, 43);
    SpeedButtonPanel1 =
        speedButton(Splitter1, "SpeedButtonPanel1", texts::SpeedButtonPanel1, 340, 64, 45, 21);
    SpeedButtonPanel2 =
        speedButton(Splitter1, "SpeedButtonPanel2", texts::SpeedButtonPanel2, 340, 86, 45, 21);
    SpeedButtonAbout = speedButton(Splitter1, "SpeedButtonAbout", QString(), 388, 64, 45, 43);
    SpeedButtonAbout->setToolButtonStyle(Qt::ToolButtonIconOnly);
    SpeedButtonAbout->setIcon(programIcon());
    SpeedButtonAbout->setIconSize(QSize(32, 32));
}

void TFormQuillet::buildCommandBar() {
    CoolBar1 = new ToolBarPanel("CoolBar1", 157, 228, this);
    auto button = [this](const char* name, const QString& caption, int l, int t, int w) {
        return speedButton(CoolBar1, name, caption, l, t, w, 22);
    };
    SpeedButtonSAVE = button("SpeedButtonSAVE", texts::SpeedButtonSAVE, 11, 4, 64);
    SpeedButtonCANCEL = button("SpeedButtonCANCEL", texts::SpeedButtonCANCEL, 77, 4, 64);
    SpeedButtonMOD = button("SpeedButtonMOD", texts::SpeedButtonMOD, 11, 28, 130);
    SpeedButtonRep = button("SpeedButtonRep", texts::SpeedButtonRep, 11, 52, 130);
    SpeedButtonDEL = button("SpeedButtonDEL", texts::SpeedButtonDEL, 11, 76, 130);
    SpeedButtonPREV = button("SpeedButtonPREV", texts::SpeedButtonPREV, 11, 100, 130);
    SpeedButtonCON = button("SpeedButtonCON", texts::SpeedButtonCON, 11, 124, 64);
    SpeedButtonDIS = button("SpeedButtonDIS", texts::SpeedButtonDIS, 77, 124, 64);
    SpeedButtonUP = button("SpeedButtonUP", texts::SpeedButtonUP, 11, 148, 130);
    SpeedButtonDN = button("SpeedButtonDN", texts::SpeedButtonDN, 11, 172, 130);
    SpeedButtonClose = button("SpeedButtonClose", texts::SpeedButtonClose, 11, 196, 130);

    onClick(SpeedButtonSAVE, [this] { SpeedButtonSAVEClick(SpeedButtonSAVE); });
    onClick(SpeedButtonRep, [this] { SpeedButtonSAVEClick(SpeedButtonRep); });
    onClick(SpeedButtonPREV, [this] { SpeedButtonPREVClick(); });
    onClick(SpeedButtonClose, [this] { SpeedButtonCloseClick(); });
}

void TFormQuillet::buildMarkupBar() {
    CoolBar2 = new ToolBarPanel("CoolBar2", 157, 85, this);
    const int cols[] = {4, 40, 76, 112};
    const int rows[] = {5, 29, 53};
    auto button = [&](const char* name, const QString& caption, int row, int col) {
        return speedButton(CoolBar2, name, caption, cols[col], rows[row], 36, 22);
    };
    SpeedButtonBold = button("SpeedButtonBold", texts::SpeedButtonBold, 0, 0);
    SpeedButtonItalic = button("SpeedButtonItalic", texts::SpeedButtonItalic, 0, 1);
    SpeedButtonUnder = button("SpeedButtonUnder", texts::SpeedButtonUnder, 0, 2);
    SpeedButtonLine = button("SpeedButtonLine", texts::SpeedButtonLine, 0, 3);
    SpeedButtonPhrase = button("SpeedButtonPhrase", texts::SpeedButtonPhrase, 1, 0);
    SpeedButtonPRE = button("SpeedButtonPRE", texts::SpeedButtonPRE, 1, 1);
    SpeedButtonTT = button("SpeedButtonTT", texts::SpeedButtonTT, 1, 2);
    SpeedButtonBR = button("SpeedButtonBR", texts::SpeedButtonBR, 1, 3);
    SpeedButtonBig = button("SpeedButtonBig", texts::SpeedButtonBig, 2, 0);
    SpeedButtonSmall = button("SpeedButtonSmall", texts::SpeedButtonSmall, 2, 1);
    SpeedButtonList = button("SpeedButtonList", texts::SpeedButtonList, 2, 2);
    SpeedButtonFont = button("SpeedButtonFont", texts::SpeedButtonFont, 2, 3);

    QFont bold = font();
    bold.setBold(true);
    SpeedButtonBold->setFont(bold);
    QFont italic = font();
    italic.setItalic(true);
    SpeedButtonItalic->setFont(italic);
    QFont underline = font();
    underline.setUnderline(true);
    SpeedButtonUnder->setFont(underline);
}

void TFormQuillet::FormCreate() {
    setConnectedLook(false);
    // The bars float from the start; they are placed beside the window when it is first shown.
    FormResize();
    TitleMarkTag.clear();
    EntryRecalled = false;
    editorNowUntyped();
    showPageEncoding();
}

namespace {
// The desktop's frame around a window, as the desktop reports it now. QWidget's own frame
// geometry is taken once, before the window manager has framed the window, and stays stale.
QMargins frameOf(const QWidget* window) {
    const QWindow* handle = window->windowHandle();
    return handle ? handle->frameMargins() : QMargins();
}
} // namespace

void TFormQuillet::floatToolBars() {
    // Beside the main window's frame, the command bar's frame level with its top; the markup
    // bar's frame directly below the command bar's client area.
    const QRect client(mapToGlobal(QPoint(0, 0)), size());
    const QMargins frame = frameOf(this);
    const int left = client.left() + frame.left() + client.width() + frame.right();
    const int top = client.top() - frame.top();
    CoolBar1->floatAt(QPoint(left, top));
    const int commandClientTop = top + frameOf(CoolBar1->floatWindow()).top();
    CoolBar2->floatAt(QPoint(left, commandClientTop + CoolBar1->height()));
}

void TFormQuillet::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

void TFormQuillet::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (placedOnce_)
        return;
    placedOnce_ = true;
    if (QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    floatToolBars();
    followFrames();
}

std::string TFormQuillet::pagePath() const { return QFile::encodeName(EditHtml->text()).toStdString(); }

void TFormQuillet::setStatusText(const QString& text) {
    statusLabel_->setText(text);
    statusLabel_->setToolTip(text);
}

QString TFormQuillet::statusText() const { return statusLabel_->text(); }

void TFormQuillet::showPageEncoding() {
    QString shown, tip;
    const std::string path = pagePath();
    try {
        if (!EditHtml->text().isEmpty() && doc::fileExists(path)) {
            const doc::PageEncoding encoding = doc::pageEncoding(path);
            shown = texts::encodingShown(QString::fromStdString(encoding.name),
                                         encoding.declaration.bom == doc::ByteOrderMark::Utf8);
        }
    } catch (const doc::EncodingRefusedError& e) {
        shown = texts::encodingRefusedShown(QString::fromUtf8(e.label().c_str()));
        tip = platform::texts::encodingRefused(e);
    } catch (const std::exception&) {
        // An unreadable page says so when a command opens it.
    }
    LabelEncoding->setText(shown);
    LabelEncoding->setToolTip(tip.isEmpty() ? shown : tip.replace(QChar('\r'), QChar('\n')));
}

QStringList TFormQuillet::bodyText() const {
    // A line is what the editor shows as one line, so wrapped paragraphs are taken apart; a
    // line separator breaks the line it ends on the screen only, as a LF inside a page line.
    QTextDocument* document = Memo1->document();
    auto* layout = qobject_cast<QPlainTextDocumentLayout*>(document->documentLayout());
    QStringList lines;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (layout)
            layout->ensureBlockLayout(block);
        const QTextLayout* textLayout = block.layout();
        const QString text = block.text();
        if (!textLayout || textLayout->lineCount() <= 1) {
            lines << text;
            continue;
        }
        QString line;
        for (int i = 0; i < textLayout->lineCount(); ++i) {
            const QTextLine shown = textLayout->lineAt(i);
            line += text.mid(shown.textStart(), shown.textLength());
            if (i + 1 < textLayout->lineCount() && line.endsWith(QChar::LineSeparator))
                continue;
            lines << line;
            line.clear();
        }
    }
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

std::vector<std::string> TFormQuillet::bodyLines(const platform::PageCodec& codec) const {
    std::vector<std::string> bytes;
    for (const QString& line : bodyText())
        bytes.push_back(commands::pageText(codec, line));
    return bytes;
}

commands::EntryText TFormQuillet::entryFromControls() const {
    commands::EntryText entry;
    entry.title = EditTitle->text();
    entry.body = bodyText();
    entry.indent = CheckBoxIndent->isChecked();
    entry.titleMark = CheckBoxTitleMark->isChecked();
    entry.bold = TitleBold;
    entry.italic = TitleItalic;
    entry.color = TitleColor;
    entry.size = TitleSize;
    entry.markTag = TitleMarkTag;
    return entry;
}

void TFormQuillet::SpeedButtonSAVEClick(QObject* sender) {
    const bool replaceAll = sender == SpeedButtonRep;
    if (replaceAll) {
        if (const auto check = commands::checkReplaceAll(bodyText()); check != doc::ReplaceAllCheck::Passed) {
            prompter().confirm(this, commands::replaceAllRefusal(check), Buttons::Ok);
            return;
        }
    }
    // A recalled entry stays flagged until it is really in the page: clearing the flag after a
    // failed or impossible write would let the window close without the warning.
    // The entry is made in the encoding the page declares when it is rewritten.
    const auto outcome = commands::saveEntry(pagePath(), entryFromControls(),
                                             replaceAll ? doc::SaveMode::ReplaceAll : doc::SaveMode::Insert);
    switch (outcome) {
    case doc::WriteOutcome::PageMissing:
        return;
    case doc::WriteOutcome::NoMarker:
        prompter().confirm(this, texts::noInsertionMarker(EditHtml->text()), Buttons::Ok);
        return;
    case doc::WriteOutcome::Written:
        EntryRecalled = false;
        EditTitle->clear();
        Memo1->clear();
        editorNowUntyped();
        TitleBold = false;
        TitleItalic = false;
        return;
    }
}

void TFormQuillet::SpeedButtonPREVClick() {
    const std::string path = pagePath();
    if (!doc::fileExists(path))
        return;
    const QString page = EditHtml->text();
    platform::openWithDesktop(page, this, [this, page] { setStatusText(texts::previewFailed(page)); });
}

void TFormQuillet::SpeedButtonCloseClick() { close(); }

bool TFormQuillet::confirmDiscardRecalled() {
    if (!EntryRecalled)
        return true;
    return prompter().confirm(this, texts::RecalledNotSaved, Buttons::OkCancel) == Answer::Ok;
}

void TFormQuillet::closeEvent(QCloseEvent* event) {
    // However the window is closed, a recalled entry that is not saved is only in the editor.
    if (!closeConfirmed_ && !confirmDiscardRecalled()) {
        event->ignore();
        return;
    }
    closeConfirmed_ = true;
    // Nothing may go while an FTP wait is on the stack: stop the transfer, close afterwards.
    if (ftpBusy_) {
        closeAfterFtp_ = true;
        cancelTransfer();
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TFormQuillet::FormClose() {
    if (!NMFTP1->Connected())
        return;
    // Say QUIT, but never let a silent server keep the window open; meanwhile no FTP command
    // may start, and a second close only cuts the wait short.
    ftpBusy_ = true;
    updateFtpButtons();
    NMFTP1->TimeOut = 3000;
    try {
        NMFTP1->Disconnect();
    } catch (...) {
    }
    ftpBusy_ = false;
    closeAfterFtp_ = false;
}

} // namespace quillet::ui
