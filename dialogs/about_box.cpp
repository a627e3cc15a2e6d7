#include "dialogs/about_box.h"

#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

#include "dialogs/texts.h"
namespace quillet::ui {

namespace {
const QColor kBackground(0, 0, 255);
constexpr QSize kClient(341, 86);
constexpr int kBorder = 1;
constexpr int kCaption = 18;
const QColor kText(255, 255, 0);

// A 64 x 64 picture area inside a 66 x 66 sunken frame.
QLabel* picture(QWidget* box, const char* name, int left, const QPixmap& pm) {
    auto* frame = new QFrame(box);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setLineWidth(1);
    frame->setGeometry(left, 10, 66, 66);
    auto* image = new QLabel(frame);
    image->setObjectName(QString::fromLatin1(name));
    image->setGeometry(1, 1, 64, 64);
    image->setAlignment(Qt::AlignCenter);
    image->setPixmap(pm);
    image->setToolTip(maker::Name);
    return image;
}

QLabel* textLine(QWidget* box, const char* name, int top, const QString& text) {
    auto* label = new QLabel(text, box);
    label->setObjectName(QString::fromLatin1(name));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setLineWidth(1);
    label->setGeometry(85, top, 170, 16);
    label->setIndent(2);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kText);
    label->setPalette(palette);
    // A line longer than its 170 pixels is set smaller rather than cut off.
    QFont font = label->font();
    const int room = label->contentsRect().width() - label->indent();
    while (font.pixelSize() > 9 && QFontMetrics(font).horizontalAdvance(text) > room) {
        font.setPixelSize(font.pixelSize() - 1);
        label->setFont(font);
    }
    return label;
}
} // namespace

TFormTallow::TFormTallow(QWidget* owner, const QIcon& icon) : QDialog(owner) {
    setObjectName(QStringLiteral("FormTallow"));
    // A window manager puts its buttons on every frame it draws, whatever the window asks for:
    // the box draws its own frame, a border and a caption without buttons.
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(maker::Name);
    if (owner)
        setFont(owner->font());
    setFixedSize(kClient.width() + 2 * kBorder, kCaption + kClient.height() + 2 * kBorder);
    move(192, 107); // a fixed place on the screen, not centred on the owner
    setAutoFillBackground(true);
    QPalette frame = palette();
    frame.setColor(QPalette::Window, frame.color(QPalette::Dark));
    setPalette(frame);

    Caption = new QLabel(windowTitle(), this);
    Caption->setObjectName(QStringLiteral("Caption"));
    Caption->setGeometry(kBorder, kBorder, kClient.width(), kCaption);
    Caption->setIndent(4);
    Caption->setAutoFillBackground(true);
    QPalette caption = Caption->palette();
    caption.setColor(QPalette::Window, caption.color(QPalette::Active, QPalette::Highlight));
    caption.setColor(QPalette::WindowText, caption.color(QPalette::Active, QPalette::HighlightedText));
    Caption->setPalette(caption);
    QFont bold = Caption->font();
    bold.setBold(true);
    Caption->setFont(bold);

    Client = new QWidget(this);
    Client->setObjectName(QStringLiteral("Client"));
    Client->setGeometry(QRect(QPoint(kBorder, kBorder + kCaption), kClient));
    Client->setAutoFillBackground(true);
    QPalette blue = Client->palette();
    blue.setColor(QPalette::Window, kBackground);
    Client->setPalette(blue);

    Image1 = picture(Client, "Image1", 8, icon.pixmap(32, 32));
    Image2 = picture(Client, "Image2", 267, icon.pixmap(64, 64));
    Label1 = textLine(Client, "Label1", 10, QString());
    Label2 = textLine(Client, "Label2", 35, dialogs::texts::about::webAddress(maker::Url));
    Label3 = textLine(Client, "Label3", 60, dialogs::texts::about::mailAddress(maker::Mail));
    // Should a font still be too wide, the whole address stays readable as a tool tip.
    Label2->setToolTip(Label2->text());
    Label3->setToolTip(Label3->text());
}

TFormTallow::~TFormTallow() = default;

void TFormTallow::FormClick() { accept(); }

// The pictures and text lines leave their clicks to the box, so any click lands here.
void TFormTallow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        FormClick();
    else
        QDialog::mouseReleaseEvent(event);
}

} // namespace quillet::ui
