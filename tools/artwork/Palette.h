#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

// What every picture of the skin shares: its colours, its font and a rectangle by its edges.
namespace art {

// Palette: a deep night-blue body with amber accents, matching the caption colour of the text.
inline const QColor kAmber(255, 204, 0);
inline const QColor kOrange(255, 138, 0);
inline const QColor kMuted(134, 153, 178);

inline QFont ArtFont(qreal pixels, int weight,
                     const QString& family = QStringLiteral("NanumSquareRound")) {
    QFont font;
    font.setFamilies({family, QStringLiteral("NanumSquare"), QStringLiteral("DejaVu Sans")});
    // Pixel sizes keep the artwork independent of the screen's DPI.
    font.setPixelSize(static_cast<int>(pixels));
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

inline QRectF Ltrb(qreal l, qreal t, qreal r, qreal b) {
    return QRectF(l, t, r - l, b - t);
}

} // namespace art
