#pragma once
// The page colour dialog for a new page: a mock-up of the page whose surface and four text
// samples each pick their colour with the colour chooser. It has no buttons; whatever it shows
// when it is closed becomes the new page's colours.

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <cstdint>

#include "document/page_format.h"

namespace quillet::ui {

namespace dialogs {
// A label that reports a click; the samples are clicked, not edited.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The page surface: its colour, with the caption drawn in the middle.
class ColorPanel : public QFrame {
    Q_OBJECT
public:
    using QFrame::QFrame;
    QString caption;
    QColor captionColor;
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};
} // namespace dialogs

class TFormColor : public QDialog {
    Q_OBJECT
public:
    explicit TFormColor(QWidget* owner);
    ~TFormColor() override;

    // The five colours as held: platform values (red in the lowest byte; a top byte of 0x80
    // names a desktop colour).
    doc::PageColors colors() const;

    void Panel1Click();
    void LabelTextClick(QObject* sender);

    dialogs::ColorPanel* Panel1 = nullptr;
    dialogs::ClickLabel* LabelText = nullptr;
    dialogs::ClickLabel* LabelVLink = nullptr;
    dialogs::ClickLabel* LabelLink = nullptr;
    dialogs::ClickLabel* LabelALink = nullptr;

private:
    bool chooseColor(std::uint32_t& chosen);
    void paintSample(dialogs::ClickLabel* label, std::uint32_t value);
    // The surface in its colour and the caption in the complement; the plain-text sample
    // follows when asked and no colour of its own was chosen.
    void showPanel(bool textFollows);

    doc::PageColors colors_;
    std::uint32_t lastChosen_ = 0; // the chooser opens on the colour chosen last, black at first
    bool textFollowsPanel_ = true;
};

} // namespace quillet::ui
