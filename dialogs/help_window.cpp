#include "dialogs/help_window.h"

#include "dialogs/texts.h"
#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

namespace quillet::ui {

namespace {
constexpr int kWidth = 353;
constexpr int kHeight = 278;

} // namespace

TFormHelp::TFormHelp(QWidget* owner) : QWidget(owner, Qt::Tool) {
    setObjectName(QStringLiteral("FormHelp"));
    setWindowTitle(dialogs::texts::help::FormHelp);
    // A window does not inherit its owner's font by itself.
    if (owner)
        setFont(owner->font());
    resize(kWidth, kHeight);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    const QStringList& lines = dialogs::texts::help::Memo1;
    // The lines were broken by hand for a narrower font. Wrapped again they would leave a
    // character or two on lines of their own, so they stay whole, in a size that fits them all.
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    const int room = kWidth - 2 * Memo1->frameWidth() - style()->pixelMetric(QStyle::PM_ScrollBarExtent) -
                     2 * static_cast<int>(Memo1->document()->documentMargin()) - Memo1->cursorWidth();
    QFont text = font();
    auto widest = [&lines](const QFont& f) {
        const QFontMetrics metrics(f);
        int most = 0;
        for (const QString& line : lines)
            most = std::max(most, metrics.horizontalAdvance(line));
        return most;
    };
    while (text.pixelSize() > 9 && widest(text) > room)
        text.setPixelSize(text.pixelSize() - 1);
    Memo1->setFont(text);
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));

    auto* fill = new QVBoxLayout(this);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(Memo1);
}

TFormHelp::~TFormHelp() = default;

} // namespace quillet::ui
