#include "Buttons.h"

#include <array>

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "Palette.h"
#include "ui/SkinLayout.h"

namespace art {

namespace {

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

void AddPillButtons(std::vector<Artwork>& out) {
    AddSet(out, skin::kPauseImages, QSize(92, 31), PauseLooks(), QStringLiteral("Pause"),
           Glyph::Pause, 13);
    AddSet(out, skin::kResumeImages, QSize(92, 31), ResumeLooks(), QStringLiteral("Resume"),
           Glyph::Play, 13);
    AddSet(out, skin::kButtons[skin::FolderButton].images, QSize(163, 31), FolderLooks(),
           QStringLiteral("Show Containing Folder"), Glyph::Folder, 11);
}

void AddSquareButtons(std::vector<Artwork>& out) {
    AddSquares(out, skin::kButtons[skin::MinimizeButton].images, Mark::Dash);
    AddSquares(out, skin::kButtons[skin::CloseButton].images, Mark::Cross);
    AddSquares(out, skin::kButtons[skin::QuestionButton].images, Mark::Question);
}

} // namespace art
