#include "Artwork.h"

#include <array>
#include <cmath>

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include "Background.h"
#include "Buttons.h"
#include "Palette.h"
#include "ui/SkinLayout.h"

// The pictures' parts are drawn in the files beside this one.
using namespace art;

namespace {

// ---- Progress strip --------------------------------------------------------------------------

void DrawFillStrip(QPainter& p) {
    // One colour per row; these rows are fixed.
    static const std::array<QColor, 13> rows{{{222, 115, 0},
                                              {222, 123, 0},
                                              {246, 230, 205},
                                              {246, 230, 205},
                                              {230, 139, 0},
                                              {230, 148, 0},
                                              {238, 156, 0},
                                              {238, 164, 0},
                                              {238, 172, 0},
                                              {246, 180, 0},
                                              {246, 189, 0},
                                              {246, 197, 0},
                                              {255, 205, 0}}};
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int y = 0; y < 13; ++y) {
        p.fillRect(QRectF(0, y, 5, 1), rows[y]);
    }
}

// ---- About box -------------------------------------------------------------------------------

void DrawAboutPicture(QPainter& p) {
    // The emblem with a soft shadow, and the name under it.
    const QRectF emblem(17, 4, 76, 76);
    QRadialGradient shadow(QPointF(55, 84), 44);
    shadow.setColorAt(0.0, QColor(0, 0, 0, 60));
    shadow.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(QPointF(55, 82), 44, 8);
    DrawEmblem(p, emblem, true);
    QFont font = ArtFont(12, 800);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 2.5);
    p.setFont(font);
    p.setPen(QColor(86, 76, 70));
    p.drawText(QRectF(0, 86, 110, 20), Qt::AlignHCenter | Qt::AlignVCenter,
               QStringLiteral("KESTREL"));
}

void DrawAboutLine(QPainter& p) {
    // An etched groove that fades out at both ends.
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int row = 0; row < 2; ++row) {
        QLinearGradient g(0, 0, 275, 0);
        const QColor c = row == 0 ? QColor(110, 100, 95, 170) : QColor(255, 255, 255, 230);
        QColor clear = c;
        clear.setAlpha(0);
        g.setColorAt(0.0, clear);
        g.setColorAt(0.12, c);
        g.setColorAt(0.88, c);
        g.setColorAt(1.0, clear);
        p.fillRect(QRectF(0, row, 275, 1), g);
    }
}

} // namespace

QPainterPath KestrelPath() {
    // Long pointed wings swept back, a small head and a fanned tail: a falcon seen from below.
    QPainterPath path;
    path.moveTo(50, 20);
    path.cubicTo(53, 20, 54.5, 22.5, 54.5, 25.5);
    path.cubicTo(54.5, 28, 55.5, 31, 57, 33);
    path.cubicTo(70, 30, 85, 26, 98, 22);
    path.cubicTo(88, 34, 74, 46, 56, 52);
    path.cubicTo(55, 56, 54, 58, 54, 61);
    path.lineTo(59, 84);
    path.cubicTo(53, 86, 47, 86, 41, 84);
    path.lineTo(46, 61);
    path.cubicTo(46, 58, 45, 56, 44, 52);
    path.cubicTo(26, 46, 12, 34, 2, 22);
    path.cubicTo(15, 26, 30, 30, 43, 33);
    path.cubicTo(44.5, 31, 45.5, 28, 45.5, 25.5);
    path.cubicTo(45.5, 22.5, 47, 20, 50, 20);
    path.closeSubpath();
    return path;
}

QImage Render(const Artwork& art, int scale) {
    QImage image(art.size * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
    painter.scale(scale, scale);
    art.draw(painter);
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

std::vector<Artwork> AllArtwork() {
    std::vector<Artwork> out;
    out.push_back({QString::number(skin::kBackgroundPicture), skin::kClientSize, DrawBackground});
    out.push_back({QString::number(skin::kFillStripPicture), QSize(5, 13), DrawFillStrip});
    AddPillButtons(out);
    AddSquareButtons(out);
    out.push_back({QString::number(skin::kAboutPicture), QSize(110, 107), DrawAboutPicture});
    out.push_back({QString::number(skin::kAboutLinePicture), QSize(275, 2), DrawAboutLine});
    for (int size : {16, 32, 48}) {
        out.push_back(
            {QString::number(skin::kIconGroup) + QStringLiteral("-%1").arg(size), QSize(size, size),
             [size](QPainter& p) { DrawEmblem(p, QRectF(0, 0, size, size), size >= 32); }});
    }
    return out;
}
