#include "Artwork.h"

#include <array>
#include <cmath>

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include "ui/SkinLayout.h"

namespace {

// Palette: a deep night-blue body with amber accents, matching the caption colour of the text.
const QColor kAmber(255, 204, 0);
const QColor kOrange(255, 138, 0);
const QColor kMuted(134, 153, 178);

QFont ArtFont(qreal pixels, int weight,
              const QString& family = QStringLiteral("NanumSquareRound")) {
    QFont font;
    font.setFamilies({family, QStringLiteral("NanumSquare"), QStringLiteral("DejaVu Sans")});
    // Pixel sizes keep the artwork independent of the screen's DPI.
    font.setPixelSize(static_cast<int>(pixels));
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QRectF Ltrb(qreal l, qreal t, qreal r, qreal b) {
    return QRectF(l, t, r - l, b - t);
}

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

// ---- Buttons ---------------------------------------------------------------------------------

struct ButtonLook {
    QColor top, bottom, rim, text, textShadow;
    bool pressed = false;
};

enum class Glyph { None, Pause, Play, Folder };

void DrawGlyph(QPainter& p, Glyph glyph, const QRectF& box, const QColor& color) {
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    switch (glyph) {
    case Glyph::None:
        break;
    case Glyph::Pause:
        p.drawRoundedRect(QRectF(box.left() + 1.5, box.top() + 1, 3, box.height() - 2), 1, 1);
        p.drawRoundedRect(QRectF(box.right() - 4.5, box.top() + 1, 3, box.height() - 2), 1, 1);
        break;
    case Glyph::Play: {
        QPainterPath tri;
        tri.moveTo(box.left() + 2, box.top() + 0.5);
        tri.lineTo(box.right() - 0.5, box.center().y());
        tri.lineTo(box.left() + 2, box.bottom() - 0.5);
        tri.closeSubpath();
        p.drawPath(tri);
        break;
    }
    case Glyph::Folder: {
        QPainterPath folder;
        const QRectF b = box.adjusted(0, 1, 0, -1);
        folder.moveTo(b.left(), b.top() + 1);
        folder.lineTo(b.left() + b.width() * 0.4, b.top() + 1);
        folder.lineTo(b.left() + b.width() * 0.5, b.top() + 2.5);
        folder.lineTo(b.right(), b.top() + 2.5);
        folder.lineTo(b.right(), b.bottom());
        folder.lineTo(b.left(), b.bottom());
        folder.closeSubpath();
        p.drawPath(folder);
        break;
    }
    }
}

void DrawPillButton(QPainter& p, QSizeF size, const ButtonLook& look, const QString& label,
                    Glyph glyph, qreal fontPixels) {
    const QRectF body = QRectF(QPointF(0, 0), size).adjusted(1, 1, -1, -2);
    const qreal r = 7;
    // Drop shadow on the background.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, look.pressed ? 40 : 90));
    p.drawRoundedRect(body.translated(0, look.pressed ? 0.5 : 1.5), r, r);
    // Body.
    QLinearGradient g(body.topLeft(), body.bottomLeft());
    g.setColorAt(0.0, look.top);
    g.setColorAt(1.0, look.bottom);
    p.setBrush(g);
    p.setPen(QPen(look.rim, 1.0));
    p.drawRoundedRect(body.adjusted(0.5, 0.5, -0.5, -0.5), r, r);
    // Gloss on the upper half, or an inner shade when pressed.
    const QRectF inner = body.adjusted(1.5, 1.5, -1.5, -1.5);
    QLinearGradient gloss(inner.topLeft(), QPointF(inner.left(), inner.center().y() + 2));
    if (look.pressed) {
        gloss.setColorAt(0.0, QColor(0, 0, 0, 45));
        gloss.setColorAt(1.0, QColor(0, 0, 0, 0));
    } else {
        gloss.setColorAt(0.0, QColor(255, 255, 255, 120));
        gloss.setColorAt(1.0, QColor(255, 255, 255, 10));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawRoundedRect(QRectF(inner.left(), inner.top(), inner.width(), inner.height() / 2 + 2),
                      r - 1.5, r - 1.5);
    // Label with its glyph, centred; pressed moves it down a pixel.
    QFont font = ArtFont(fontPixels, 800);
    const QFontMetricsF fm(font);
    const qreal glyphW = glyph == Glyph::None ? 0 : 10;
    const qreal gap = glyph == Glyph::None ? 0 : 6;
    const qreal textW = fm.horizontalAdvance(label);
    const qreal total = glyphW + gap + textW;
    const qreal dy = look.pressed ? 1 : 0;
    const qreal x0 = (size.width() - total) / 2;
    const qreal cy = body.center().y() + dy;
    if (look.textShadow.alpha() > 0) {
        DrawGlyph(p, glyph, QRectF(x0, cy - 5 + 1, glyphW, 10), look.textShadow);
    }
    DrawGlyph(p, glyph, QRectF(x0, cy - 5, glyphW, 10), look.text);
    p.setFont(font);
    const qreal baseline = cy + (fm.capHeight()) / 2;
    if (look.textShadow.alpha() > 0) {
        p.setPen(look.textShadow);
        p.drawText(QPointF(x0 + glyphW + gap, baseline + 1), label);
    }
    p.setPen(look.text);
    p.drawText(QPointF(x0 + glyphW + gap, baseline), label);
}

const QColor kNoShadow(0, 0, 0, 0);

ButtonLook Disabled() {
    return {QColor(255, 255, 255), QColor(226, 229, 233), QColor(168, 174, 182),
            QColor(150, 156, 164), kNoShadow};
}

std::array<ButtonLook, 4> PauseLooks() {
    const ButtonLook normal{QColor(255, 230, 110), QColor(247, 190, 0), QColor(176, 124, 0),
                            QColor(74, 48, 0), QColor(255, 246, 200, 150)};
    ButtonLook pressed{QColor(238, 128, 0), QColor(255, 160, 20),
                       QColor(150, 70, 0),  QColor(62, 30, 0),
                       kNoShadow,           true};
    const ButtonLook hover{QColor(255, 196, 80), QColor(255, 140, 0), QColor(176, 86, 0),
                           QColor(66, 34, 0), QColor(255, 230, 170, 140)};
    return {normal, pressed, hover, Disabled()};
}

std::array<ButtonLook, 4> ResumeLooks() {
    const ButtonLook normal{QColor(126, 226, 120), QColor(40, 168, 72), QColor(20, 104, 44),
                            QColor(255, 255, 255), QColor(10, 80, 30, 150)};
    ButtonLook pressed{QColor(28, 140, 58),   QColor(52, 176, 82), QColor(12, 84, 34),
                       QColor(235, 255, 235), kNoShadow,           true};
    const ButtonLook hover{QColor(156, 240, 146), QColor(54, 190, 88), QColor(20, 110, 48),
                           QColor(255, 255, 255), QColor(10, 90, 30, 150)};
    return {normal, pressed, hover, Disabled()};
}

std::array<ButtonLook, 4> FolderLooks() {
    const ButtonLook normal{QColor(110, 232, 226), QColor(16, 164, 178), QColor(8, 100, 112),
                            QColor(255, 255, 255), QColor(0, 70, 80, 160)};
    ButtonLook pressed{QColor(10, 128, 142),
                       QColor(24, 170, 182),
                       QColor(4, 80, 90),
                       QColor(225, 255, 255),
                       kNoShadow,
                       true};
    const ButtonLook hover{QColor(150, 244, 238), QColor(30, 190, 200), QColor(8, 110, 120),
                           QColor(255, 255, 255), QColor(0, 80, 90, 160)};
    return {normal, pressed, hover, Disabled()};
}

// ---- Small squares ---------------------------------------------------------------------------

enum class Mark { Dash, Cross, Question };

struct SquareLook {
    QColor top, bottom, rim, mark;
};

void DrawSquare(QPainter& p, Mark mark, const SquareLook& look) {
    const QRectF box(0.5, 0.5, 14, 13);
    QLinearGradient g(box.topLeft(), box.bottomLeft());
    g.setColorAt(0.0, look.top);
    g.setColorAt(1.0, look.bottom);
    p.setBrush(g);
    p.setPen(QPen(look.rim, 1.0));
    p.drawRoundedRect(box, 3, 3);
    QPen pen(look.mark, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QPointF c(7.5, 7.0);
    switch (mark) {
    case Mark::Dash:
        p.drawLine(QPointF(4.5, 9.5), QPointF(10.5, 9.5));
        break;
    case Mark::Cross:
        p.drawLine(c + QPointF(-3, -3), c + QPointF(3, 3));
        p.drawLine(c + QPointF(3, -3), c + QPointF(-3, 3));
        break;
    case Mark::Question: {
        QPainterPath hook;
        hook.moveTo(5.2, 5.2);
        hook.cubicTo(5.2, 2.6, 9.8, 2.6, 9.8, 5.0);
        hook.cubicTo(9.8, 6.6, 7.5, 6.8, 7.5, 8.6);
        p.drawPath(hook);
        p.setPen(Qt::NoPen);
        p.setBrush(look.mark);
        p.drawEllipse(QPointF(7.5, 10.9), 1.0, 1.0);
        break;
    }
    }
}

std::array<SquareLook, 4> SquareLooks() {
    return {{
        {QColor(44, 56, 72), QColor(24, 31, 42), QColor(74, 90, 112), QColor(200, 212, 226)},
        {QColor(120, 132, 148), QColor(146, 158, 174), QColor(92, 104, 120), QColor(255, 255, 255)},
        {QColor(96, 110, 128), QColor(70, 82, 98), QColor(120, 136, 156), QColor(255, 255, 255)},
        {QColor(222, 226, 232), QColor(206, 211, 218), QColor(182, 188, 196),
         QColor(160, 168, 178)},
    }};
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

Artwork Button(int id, QSize size, const ButtonLook& look, const QString& label, Glyph glyph,
               qreal fontPixels) {
    return {QString::number(id), size,
            [=](QPainter& p) { DrawPillButton(p, size, look, label, glyph, fontPixels); }};
}

void AddSet(std::vector<Artwork>& out, std::array<int, 4> ids, QSize size,
            const std::array<ButtonLook, 4>& looks, const QString& label, Glyph glyph,
            qreal fontPixels) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(Button(ids[i], size, looks[i], label, glyph, fontPixels));
    }
}

void AddSquares(std::vector<Artwork>& out, std::array<int, 4> ids, Mark mark) {
    const auto looks = SquareLooks();
    for (int i = 0; i < 4; ++i) {
        const SquareLook look = looks[i];
        out.push_back({QString::number(ids[i]), QSize(15, 14),
                       [=](QPainter& p) { DrawSquare(p, mark, look); }});
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
    AddSet(out, skin::kPauseImages, QSize(92, 31), PauseLooks(), QStringLiteral("Pause"),
           Glyph::Pause, 13);
    AddSet(out, skin::kResumeImages, QSize(92, 31), ResumeLooks(), QStringLiteral("Resume"),
           Glyph::Play, 13);
    AddSet(out, skin::kButtons[skin::FolderButton].images, QSize(163, 31), FolderLooks(),
           QStringLiteral("Show Containing Folder"), Glyph::Folder, 11);
    AddSquares(out, skin::kButtons[skin::MinimizeButton].images, Mark::Dash);
    AddSquares(out, skin::kButtons[skin::CloseButton].images, Mark::Cross);
    AddSquares(out, skin::kButtons[skin::QuestionButton].images, Mark::Question);
    out.push_back({QString::number(skin::kAboutPicture), QSize(110, 107), DrawAboutPicture});
    out.push_back({QString::number(skin::kAboutLinePicture), QSize(275, 2), DrawAboutLine});
    for (int size : {16, 32, 48}) {
        out.push_back(
            {QString::number(skin::kIconGroup) + QStringLiteral("-%1").arg(size), QSize(size, size),
             [size](QPainter& p) { DrawEmblem(p, QRectF(0, 0, size, size), size >= 32); }});
    }
    return out;
}
