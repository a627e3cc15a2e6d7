#include "dialogs/color_dialog.h"

#include <QMouseEvent>
#include <QPainter>

#include "dialogs/dialog_parts.h"
#include "dialogs/texts.h"
#include "platform/prompter.h"

namespace quillet::ui {

namespace dialogs {
namespace {
// The click is the sample's alone: an event left unaccepted would reach the panel beneath too.
template <class W> void releaseClick(W* widget, QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::LeftButton && widget->rect().contains(event->position().toPoint()))
        emit widget->clicked();
}
} // namespace

void ClickLabel::mousePressEvent(QMouseEvent* event) { event->accept(); }
void ClickLabel::mouseReleaseEvent(QMouseEvent* event) { releaseClick(this, event); }
void ColorPanel::mousePressEvent(QMouseEvent* event) { event->accept(); }
void ColorPanel::mouseReleaseEvent(QMouseEvent* event) { releaseClick(this, event); }

void ColorPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(captionColor);
    painter.drawText(contentsRect(), Qt::AlignCenter, caption);
}
} // namespace dialogs

namespace {
constexpr std::uint32_t kDesktopColorFlag = 0x80000000u;
constexpr std::uint32_t kWindowText = 0x80000008u;

// How a held value looks: a desktop colour reference is drawn in that desktop colour (only the
// window-text colour is ever used here); anything else by its low three bytes, red lowest.
QColor toQColor(std::uint32_t value, const QPalette& palette) {
    if ((value & 0xFF000000u) == kDesktopColorFlag)
        return palette.color(QPalette::WindowText);
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

std::uint32_t fromQColor(const QColor& c) {
    return std::uint32_t(c.red()) | std::uint32_t(c.green()) << 8 | std::uint32_t(c.blue()) << 16;
}
} // namespace

TFormColor::TFormColor(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("FormColor"));
    setWindowTitle(dialogs::texts::color::FormColor);
    dialogs::fixDialogFrame(this, QSize(243, 96));

    Panel1 = new dialogs::ColorPanel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 243, 96);
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setAutoFillBackground(true);
    Panel1->caption = dialogs::texts::color::Panel1;

    auto sample = [this](const char* name, const QString& text, int left, int top, bool underline) {
        auto* label = new dialogs::ClickLabel(text, Panel1);
        label->setObjectName(QString::fromLatin1(name));
        QFont f = font();
        f.setUnderline(underline);
        label->setFont(f);
        label->move(left, top);
        label->adjustSize();
        // The samples were laid out for a narrower font: one that would run off the panel is
        // drawn a little condensed instead of being cut off.
        const int room = Panel1->width() - left - 4;
        if (label->width() > room) {
            f.setLetterSpacing(QFont::PercentageSpacing, 100.0 * room / label->width());
            label->setFont(f);
            label->adjustSize();
        }
        label->setCursor(Qt::PointingHandCursor);
        connect(label, &dialogs::ClickLabel::clicked, this,
                [this, label] { platform::runCommand(this, [this, label] { LabelTextClick(label); }); });
        return label;
    };
    LabelText = sample("LabelText", dialogs::texts::color::LabelText, 28, 16, false);
    LabelVLink = sample("LabelVLink", dialogs::texts::color::LabelVLink, 112, 16, true);
    LabelLink = sample("LabelLink", dialogs::texts::color::LabelLink, 24, 64, true);
    LabelALink = sample("LabelALink", dialogs::texts::color::LabelALink, 108, 64, true);
    connect(Panel1, &dialogs::ColorPanel::clicked, this,
            [this] { platform::runCommand(this, [this] { Panel1Click(); }); });

    // Until the surface is chosen, the plain text keeps the desktop's text colour like the links.
    showPanel(false);
    for (auto* label : {LabelText, LabelVLink, LabelLink, LabelALink})
        paintSample(label, kWindowText);
    dialogs::centreOnScreen(this);
}

TFormColor::~TFormColor() = default;

doc::PageColors TFormColor::colors() const { return colors_; }

bool TFormColor::chooseColor(std::uint32_t& chosen) {
    const auto picked = platform::prompter().chooseColor(this, toQColor(lastChosen_, palette()));
    if (!picked)
        return false;
    lastChosen_ = chosen = fromQColor(*picked);
    return true;
}

void TFormColor::paintSample(dialogs::ClickLabel* label, std::uint32_t value) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, toQColor(value, palette()));
    label->setPalette(p);
}

void TFormColor::showPanel(bool textFollows) {
    QPalette p = Panel1->palette();
    p.setColor(QPalette::Window, toQColor(colors_.background, palette()));
    Panel1->setPalette(p);
    Panel1->captionColor = toQColor(~colors_.background, palette());
    Panel1->update();
    if (textFollows && textFollowsPanel_) {
        colors_.text = doc::textOnSurface(colors_.background);
        paintSample(LabelText, colors_.text);
    }
}

void TFormColor::Panel1Click() {
    if (chooseColor(colors_.background))
        showPanel(true);
}

void TFormColor::LabelTextClick(QObject* sender) {
    const std::pair<QObject*, std::uint32_t*> samples[] = {
        {LabelText, &colors_.text},
        {LabelVLink, &colors_.visitedLink},
        {LabelLink, &colors_.link},
        {LabelALink, &colors_.activeLink},
    };
    for (const auto& [label, value] : samples) {
        if (label != sender || !chooseColor(*value))
            continue;
        if (label == LabelText)
            textFollowsPanel_ = false;
        paintSample(static_cast<dialogs::ClickLabel*>(label), *value);
    }
}

} // namespace quillet::ui
