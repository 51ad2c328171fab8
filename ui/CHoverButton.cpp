#include "ui/CHoverButton.h"

#include <QEnterEvent>
#include <QPainter>

CHoverButton::CHoverButton(QWidget* parent) : QAbstractButton(parent) {
    // Clicked with the mouse only: no tab stop, and Space never presses a button.
    setFocusPolicy(Qt::NoFocus);
}

bool CHoverButton::LoadBitmaps(int normal, int pressed, int hover, int disabled) {
    images_ = {};
    images_[Normal] = SkinPicture::Load(normal);
    if (images_[Normal].isNull()) {
        return false;
    }
    bool all = true;
    const std::array<std::pair<Image, int>, 3> others{
        {{Pressed, pressed}, {Hover, hover}, {Disabled, disabled}}};
    for (const auto& [slot, id] : others) {
        if (id != 0) {
            images_[slot] = SkinPicture::Load(id);
            all = all && !images_[slot].isNull();
        }
    }
    return all;
}

void CHoverButton::SizeToContent() {
    resize(images_[Normal].size());
}

CHoverButton::Image CHoverButton::CurrentImage() const {
    // Disabled wins over pressed, pressed over hover; keyboard focus plays no part.
    if (!isEnabled()) {
        return Disabled;
    }
    if (isDown()) {
        return Pressed;
    }
    return hovering_ ? Hover : Normal;
}

QSize CHoverButton::sizeHint() const {
    return images_[Normal].size();
}

void CHoverButton::paintEvent(QPaintEvent*) {
    const SkinPicture& picture = images_[CurrentImage()];
    if (picture.isNull()) {
        return;
    }
    QPainter painter(this);
    // Every picture is drawn at the pressed picture's size, as the sets are made of one size.
    const QSize size = images_[Pressed].isNull() ? picture.size() : images_[Pressed].size();
    painter.drawPixmap(QRect(QPoint(0, 0), size),
                       picture.forRatio(painter.device()->devicePixelRatioF()));
}

void CHoverButton::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CHoverButton::leaveEvent(QEvent* event) {
    hovering_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}
