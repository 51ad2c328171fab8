#include "ui/CBitmapProgress.h"

#include <algorithm>

#include <QPainter>

#include "ui/SkinLayout.h"
#include "ui/SkinPicture.h"

CBitmapProgress::CBitmapProgress(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setTextVisible(false);
}

void CBitmapProgress::SetPos(int pos) {
    const int clamped = std::clamp(pos, minimum(), maximum());
    if (clamped == value()) {
        return;
    }
    setValue(clamped);
    // QProgressBar repaints only steps it judges visible, from a record its own paint keeps; this
    // paint replaces its own, so every change asks for a repaint.
    update();
}

int CBitmapProgress::GetPos() const {
    // A fresh bar reports minimum - 1 until a position is set.
    return std::max(value(), minimum());
}

int CBitmapProgress::FillWidth(int width, int pos) {
    // Divide first, then multiply, in double: this order decides the truncated results.
    return static_cast<int>(width / 100.0 * pos);
}

void CBitmapProgress::paintEvent(QPaintEvent*) {
    // Loaded for each paint; paints follow the 300 ms status refresh, so this stays cheap.
    const SkinPicture strip = SkinPicture::Load(skin::kFillStripPicture);
    const int fill = FillWidth(width(), GetPos());
    if (strip.isNull() || fill <= 0) {
        return;
    }
    QPainter painter(this);
    // Each row of the strip is one colour: a plain horizontal stretch keeps the rows exact.
    painter.drawPixmap(QRect(0, 0, fill, strip.size().height()),
                       strip.forRatio(painter.device()->devicePixelRatioF()));
}
