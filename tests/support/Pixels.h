#pragma once

#include <cstdlib>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <QWindow>

// Pixel checks at logical coordinates, whatever the device pixel ratio the tests run at.
inline QColor At(const QImage& image, int x, int y) {
    const qreal dpr = image.devicePixelRatio();
    return image.pixelColor(static_cast<int>(x * dpr), static_cast<int>(y * dpr));
}

// True when each channel is within `tolerance` of `expected`: anti-aliased text rarely covers a
// pixel fully, and its strongest pixels land a few steps short of the pen colour.
inline bool Near(const QColor& c, const QColor& expected, int tolerance = 12) {
    return std::abs(c.red() - expected.red()) <= tolerance &&
           std::abs(c.green() - expected.green()) <= tolerance &&
           std::abs(c.blue() - expected.blue()) <= tolerance;
}

// What the window really shows: its backing store, not a fresh render. Remains of old paint
// and repaints that did not happen show here, where QWidget::grab would hide them.
inline QImage OnScreen(QWidget* topLevel) {
    QApplication::processEvents();
    QImage image = topLevel->screen()->grabWindow(topLevel->winId()).toImage();
    image.setDevicePixelRatio(topLevel->devicePixelRatioF());
    return image;
}
