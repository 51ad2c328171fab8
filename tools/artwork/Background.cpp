#include "Background.h"

#include <array>
#include <cmath>

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "Artwork.h"
#include "Palette.h"
#include "ui/SkinLayout.h"

namespace art {

// ---- Emblem ----------------------------------------------------------------------------------

void DrawEmblem(QPainter& p, const QRectF& box, bool detailed) {
    const qreal radius = box.width() * 0.23;
    QLinearGradient fill(box.topLeft(), box.bottomRight());
    fill.setColorAt(0.0, QColor(255, 214, 64));
    fill.setColorAt(0.55, QColor(255, 150, 20));
    fill.setColorAt(1.0, QColor(222, 84, 10));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(box, radius, radius);
    if (detailed) {
        // A soft sheen over the top half and a fine rim.
        QLinearGradient sheen(box.topLeft(), QPointF(box.left(), box.center().y()));
        sheen.setColorAt(0.0, QColor(255, 255, 255, 110));
        sheen.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.setBrush(sheen);
        p.drawRoundedRect(box.adjusted(1, 1, -1, -box.height() * 0.45), radius * 0.9, radius * 0.9);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(140, 50, 0, 150), box.width() / 64.0));
        p.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    }
    // The bird, white, with a faint shadow below it.
    const qreal inset = box.width() * (detailed ? 0.12 : 0.06);
    const QRectF birdBox = box.adjusted(inset, inset, -inset, -inset);
    QTransform toBox;
    toBox.translate(birdBox.left(), birdBox.top());
    toBox.scale(birdBox.width() / 100.0, birdBox.height() / 100.0);
    const QPainterPath bird = toBox.map(KestrelPath());
    p.setPen(Qt::NoPen);
    if (detailed) {
        p.setBrush(QColor(120, 40, 0, 70));
        p.drawPath(bird.translated(0, box.height() / 40.0));
    }
    p.setBrush(QColor(255, 255, 255));
    p.drawPath(bird);
}

namespace {

// ---- Background ------------------------------------------------------------------------------

void DrawNetwork(QPainter& p) {
    // Peers sharing pieces: a few nodes joined by fine lines, to the right of the status panel.
    const std::array<QPointF, 8> nodes{{{468, 166},
                                        {512, 150},
                                        {556, 174},
                                        {494, 200},
                                        {540, 222},
                                        {470, 240},
                                        {520, 262},
                                        {566, 252}}};
    const std::array<std::pair<int, int>, 12> links{{{0, 1},
                                                     {1, 2},
                                                     {0, 3},
                                                     {1, 3},
                                                     {2, 4},
                                                     {3, 4},
                                                     {3, 5},
                                                     {4, 6},
                                                     {5, 6},
                                                     {4, 7},
                                                     {6, 7},
                                                     {2, 7}}};
    p.setPen(QPen(QColor(120, 170, 220, 46), 1.0));
    for (const auto& [a, b] : links) {
        p.drawLine(nodes[a], nodes[b]);
    }
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const bool hub = i == 3 || i == 4;
        const qreal r = hub ? 4.0 : 2.6;
        QRadialGradient glow(nodes[i], r * 3);
        glow.setColorAt(0.0, hub ? QColor(255, 204, 0, 90) : QColor(140, 190, 240, 70));
        glow.setColorAt(1.0, QColor(0, 0, 0, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(nodes[i], r * 3, r * 3);
        p.setBrush(hub ? QColor(255, 204, 0, 210) : QColor(170, 205, 240, 170));
        p.drawEllipse(nodes[i], r, r);
    }
}

} // namespace

void DrawBackground(QPainter& p) {
    const int w = skin::kClientSize.width();
    const int h = skin::kClientSize.height();
    const QRectF all(0, 0, w, h);
    QLinearGradient body(0, 0, 0, h);
    body.setColorAt(0.0, QColor(30, 43, 62));
    body.setColorAt(0.45, QColor(22, 31, 45));
    body.setColorAt(1.0, QColor(12, 17, 25));
    p.fillRect(all, body);

    // Warm dawn glow behind the hero bird.
    QRadialGradient dawn(QPointF(500, 70), 260);
    dawn.setColorAt(0.0, QColor(255, 150, 40, 70));
    dawn.setColorAt(0.5, QColor(255, 120, 30, 22));
    dawn.setColorAt(1.0, QColor(255, 120, 30, 0));
    p.fillRect(all, dawn);

    // Faint ridge lines along the lower edge of the hero area.
    for (int i = 0; i < 3; ++i) {
        QPainterPath ridge;
        const qreal base = 118 + i * 6;
        ridge.moveTo(0, base + 10);
        ridge.cubicTo(140, base - 18 + i * 4, 300, base + 20, w, base - 22 + i * 5);
        ridge.lineTo(w, h);
        ridge.lineTo(0, h);
        ridge.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(8, 12, 18, 38 + i * 10));
        p.drawPath(ridge);
    }

    // The hero bird, large and translucent, on the right.
    {
        QTransform t;
        t.translate(470, 30);
        t.rotate(-10);
        t.scale(1.18, 1.02);
        const QPainterPath bird = t.map(KestrelPath());
        QLinearGradient wing(QPointF(450, 30), QPointF(560, 130));
        wing.setColorAt(0.0, QColor(255, 214, 90, 150));
        wing.setColorAt(1.0, QColor(255, 120, 20, 40));
        p.setBrush(wing);
        p.drawPath(bird);
    }

    // Title strip along the top edge; the small buttons sit on its right end.
    {
        const QRectF strip(0, 0, w, 28);
        QLinearGradient g(0, 0, 0, 28);
        g.setColorAt(0.0, QColor(18, 25, 36, 250));
        g.setColorAt(1.0, QColor(10, 14, 21, 250));
        p.fillRect(strip, g);
        p.fillRect(QRectF(0, 27, w, 1), QColor(255, 255, 255, 22));
        QLinearGradient accent(0, 0, w, 0);
        accent.setColorAt(0.0, QColor(255, 204, 0, 0));
        accent.setColorAt(0.25, QColor(255, 204, 0, 160));
        accent.setColorAt(0.75, QColor(255, 138, 0, 160));
        accent.setColorAt(1.0, QColor(255, 138, 0, 0));
        p.fillRect(QRectF(0, 28, w, 1), accent);
        DrawEmblem(p, QRectF(9, 6, 16, 16), false);
        p.setFont(ArtFont(11, 700));
        p.setPen(QColor(196, 208, 224));
        p.drawText(QRectF(31, 0, 300, 28), Qt::AlignVCenter | Qt::AlignLeft,
                   QStringLiteral("Emberway Kestrel"));
    }

    // Subtitle under the title label (the label draws "Kestrel" at 30, 30).
    {
        QFont sub = ArtFont(10, 700);
        sub.setLetterSpacing(QFont::AbsoluteSpacing, 2.2);
        p.setFont(sub);
        p.setPen(kMuted);
        p.drawText(QPointF(32, 76), QStringLiteral("FULL GAME DOWNLOADER"));
        p.fillRect(QRectF(32, 84, 34, 2), kAmber);
    }

    // The dark framed status panel.
    const QRectF panel = Ltrb(22, 134, 588, 284);
    {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 70));
        p.drawRoundedRect(panel.translated(0, 3), 10, 10);
        QLinearGradient g(panel.topLeft(), panel.bottomLeft());
        g.setColorAt(0.0, QColor(11, 16, 23, 235));
        g.setColorAt(1.0, QColor(7, 10, 15, 240));
        p.setBrush(g);
        p.setPen(QPen(QColor(58, 76, 100), 1.0));
        p.drawRoundedRect(panel.adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
        p.setPen(QPen(QColor(255, 255, 255, 14), 1.0));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(panel.adjusted(1.5, 1.5, -1.5, -1.5), 9, 9);
    }

    DrawNetwork(p);

    // Four bullets just left of the captions (rows 148, 166, 184 and 202, 18 pixels each).
    for (int row = 0; row < 4; ++row) {
        const QPointF c(41.5, 148 + row * 18 + 7.5);
        QRadialGradient glow(c, 7);
        glow.setColorAt(0.0, QColor(255, 204, 0, 90));
        glow.setColorAt(1.0, QColor(255, 204, 0, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(c, 7, 7);
        QPainterPath diamond;
        diamond.moveTo(c + QPointF(0, -3.2));
        diamond.lineTo(c + QPointF(3.2, 0));
        diamond.lineTo(c + QPointF(0, 3.2));
        diamond.lineTo(c + QPointF(-3.2, 0));
        diamond.closeSubpath();
        QLinearGradient g(c + QPointF(0, -3), c + QPointF(0, 3));
        g.setColorAt(0.0, QColor(255, 230, 120));
        g.setColorAt(1.0, kOrange);
        p.setBrush(g);
        p.drawPath(diamond);
    }

    // Hairline between the text rows and the progress trough.
    {
        QLinearGradient g(40, 0, 430, 0);
        g.setColorAt(0.0, QColor(255, 255, 255, 0));
        g.setColorAt(0.5, QColor(255, 255, 255, 26));
        g.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.fillRect(QRectF(40, 224, 390, 1), g);
    }

    // The trough around the progress bar (41, 232 to 427, 245).
    {
        const QRectF trough = Ltrb(37, 228, 431, 249);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 20));
        p.drawRoundedRect(trough.translated(0, 1), 5, 5);
        QLinearGradient g(trough.topLeft(), trough.bottomLeft());
        g.setColorAt(0.0, QColor(2, 3, 5));
        g.setColorAt(1.0, QColor(14, 19, 27));
        p.setBrush(g);
        p.setPen(QPen(QColor(0, 0, 0, 200), 1.0));
        p.drawRoundedRect(trough.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
        const QRectF track = Ltrb(41, 232, 427, 245);
        QLinearGradient t(track.topLeft(), track.bottomLeft());
        t.setColorAt(0.0, QColor(22, 28, 38));
        t.setColorAt(1.0, QColor(34, 44, 58));
        p.fillRect(track, t);
        // Quarter marks under the track.
        p.setPen(QPen(QColor(255, 255, 255, 40), 1.0));
        for (int q = 1; q < 4; ++q) {
            const qreal x = 41 + 386 * q / 4.0 + 0.5;
            p.drawLine(QPointF(x, 250.5), QPointF(x, 253.5));
        }
    }

    // Footer.
    {
        QLinearGradient g(0, 0, w, 0);
        g.setColorAt(0.0, QColor(255, 255, 255, 0));
        g.setColorAt(0.5, QColor(255, 255, 255, 24));
        g.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.fillRect(QRectF(24, 348, 562, 1), g);
        p.setFont(ArtFont(10, h, QStringLiteral("NanumGothic")));
        p.setPen(QColor(104, 122, 146));
        p.drawText(QRectF(24, 356, 562, 30), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Keep Kestrel open: the download goes on while you wait."));
        p.drawText(QRectF(24, 356, 562, 30), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("\u00A9 Emberway"));
    }
}

} // namespace art
