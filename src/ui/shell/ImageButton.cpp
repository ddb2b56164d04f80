#include "ui/shell/ImageButton.h"

#include "pictures/Pictures.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace ostero::ui {

namespace {

constexpr int kHoverBrightness = 10; // the face lights up a little under the pointer

} // namespace

TImageButton::TImageButton(QWidget* parent) : QToolButton(parent) {
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
    connect(this, &QAbstractButton::toggled, this, [this](bool on) {
        if (on && Group_ != 0)
            ReleaseGroup();
    });
}

void TImageButton::SetPicture(const QImage& picture) {
    Picture_ = picture;
    updateGeometry();
    update();
}

void TImageButton::SetDisabledPicture(const QImage& picture) {
    DisabledPicture_ = picture;
    update();
}

void TImageButton::SetGroup(int group) {
    Group_ = group;
    setCheckable(group != 0);
    if (isChecked())
        ReleaseGroup();
}

void TImageButton::ReleaseGroup() {
    if (parentWidget() == nullptr)
        return;
    for (auto* other : parentWidget()->findChildren<TImageButton*>(Qt::FindDirectChildrenOnly))
        if (other != this && other->Group_ == Group_)
            other->setChecked(false);
}

void TImageButton::nextCheckState() {
    // A button of a group stays down when clicked again; only another one releases it.
    if (Group_ != 0)
        setChecked(true);
    else
        QToolButton::nextCheckState();
}

void TImageButton::SetAutoWidth(bool on) {
    AutoWidth_ = on;
    setSizePolicy(on ? QSizePolicy::Fixed : QSizePolicy::Preferred, sizePolicy().verticalPolicy());
    updateGeometry();
}

void TImageButton::AdjustWidth() {
    resize(NeededWidth(), height());
}

void TImageButton::SetBrightness(int percent) {
    Brightness_ = std::max(0, percent);
    update();
}

void TImageButton::SetColor(const QColor& color) {
    Color_ = color;
    update();
}

void TImageButton::SetGradientColor(const QColor& color) {
    GradientColor_ = color;
    update();
}

void TImageButton::SetMargin(int margin) {
    Margin_ = std::max(0, margin);
    updateGeometry();
    update();
}

QColor TImageButton::Scaled(const QColor& color, int percent) const {
    const auto scale = [percent](int channel) {
        return std::min(255, static_cast<int>(std::lround(channel * percent / 100.0)));
    };
    return QColor(scale(color.red()), scale(color.green()), scale(color.blue()));
}

QColor TImageButton::FaceTop() const {
    return Scaled(Color_, Brightness_);
}

QColor TImageButton::FaceBottom() const {
    return Scaled(GradientColor_, Brightness_);
}

int TImageButton::NeededWidth() const {
    const QSize caption = fontMetrics().size(Qt::TextShowMnemonic, text());
    int width = Margin_ + caption.width() + Margin_;
    if (!Picture_.isNull())
        width += Picture_.width() + (text().isEmpty() ? 0 : Margin_);
    return width;
}

QSize TImageButton::sizeHint() const {
    const int content = std::max(Picture_.isNull() ? 0 : Picture_.height(), fontMetrics().height());
    return {NeededWidth(), content + 2 * Margin_};
}

QSize TImageButton::minimumSizeHint() const {
    return AutoWidth_ ? sizeHint() : QSize(2 * Margin_, sizeHint().height());
}

void TImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool pressed = isDown();
    const bool sunken = pressed || isChecked();
    const bool hover = isEnabled() && underMouse() && !sunken;
    const int percent = Brightness_ + (hover ? kHoverBrightness : 0);
    const QColor top = Scaled(Color_, percent);
    const QColor bottom = Scaled(GradientColor_, percent);

    // A flat (auto-raised) button shows its face only under the pointer or pressed, so it sits
    // on its toolbar's own gradient.
    const bool face = !autoRaise() || hover || sunken;
    if (face) {
        QLinearGradient gradient(0, 0, 0, height());
        // Down: the face turns over, dark at the top, as if pushed in.
        gradient.setColorAt(0, sunken ? bottom : top);
        gradient.setColorAt(1, sunken ? top : bottom);
        painter.fillRect(rect(), gradient);
        // A light top edge and a dark bottom edge part stacked buttons cleanly.
        painter.setPen(sunken ? bottom.darker(150) : top.lighter(125));
        painter.drawLine(0, 0, width() - 1, 0);
        painter.setPen(sunken ? top.lighter(125) : bottom.darker(150));
        painter.drawLine(0, height() - 1, width() - 1, height() - 1);
        if (isChecked()) // the active page's button carries a light mark on its left
            painter.fillRect(0, 0, 3, height(), top.lighter(160));
    }

    const int shift = pressed ? 1 : 0;
    int left = Margin_ + shift;
    if (!Picture_.isNull()) {
        const QImage picture = isEnabled()                 ? Picture_
                               : DisabledPicture_.isNull() ? pictures::DisabledImage(Picture_)
                                                           : DisabledPicture_;
        painter.drawImage(left, (height() - picture.height()) / 2 + shift, picture);
        left += picture.width() + Margin_;
    }

    // Light text on a dark face, dark text on a light one (a flat button's toolbar has the same
    // colours as its face).
    const bool darkFace = (qGray(top.rgb()) + qGray(bottom.rgb())) / 2 < 128;
    QColor textColor = darkFace ? QColor(Qt::white) : palette().color(QPalette::ButtonText);
    if (!isEnabled())
        textColor = darkFace ? QColor(160, 160, 160)
                             : palette().color(QPalette::Disabled, QPalette::ButtonText);
    QFont captionFont = font();
    captionFont.setUnderline(hasFocus()); // where the keyboard is, without a focus frame
    painter.setFont(captionFont);
    painter.setPen(textColor);
    const QRect textRect(left, shift, width() - left - Margin_, height());
    painter.drawText(
        textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic,
        QFontMetrics(captionFont)
            .elidedText(text(), Qt::ElideRight, textRect.width(), Qt::TextShowMnemonic));
}

} // namespace ostero::ui
