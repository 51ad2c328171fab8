#pragma once

#include <functional>
#include <vector>

#include <QImage>
#include <QPainterPath>
#include <QSize>
#include <QString>

class QPainter;

// One picture the generator draws: its file name stem, its size in logical pixels and how to
// draw it at that size (the painter is already scaled for the output resolution).
struct Artwork {
    QString stem;
    QSize size;
    std::function<void(QPainter&)> draw;
};

// Every picture of the skin, in resource-number order, and the icon sizes.
std::vector<Artwork> AllArtwork();

// Draws `art` at `scale` times its size, anti-aliased, on a transparent canvas.
QImage Render(const Artwork& art, int scale);

// The kestrel in flight, seen from below, on a 100 x 100 canvas.
QPainterPath KestrelPath();
