#include "ui/SkinLayout.h"

#include <QStringList>

namespace skin {

namespace {
// The skin was laid out for a fixed-pitch Korean face whose Latin letters are half a cell wide;
// NanumGothicCoding keeps that pitch, so captions and values line up as designed.
const QStringList kTextFaces{QStringLiteral("NanumGothicCoding"), QStringLiteral("NanumGothic"),
                             QStringLiteral("DejaVu Sans Mono")};
// A heavy rounded display face for the title.
const QStringList kTitleFaces{QStringLiteral("NanumSquareRound"), QStringLiteral("NanumSquare"),
                              QStringLiteral("DejaVu Sans")};
} // namespace

TextStyle TextStyleFor(int id) {
    switch (id) {
    case kCaptionStyleId:
        return {QColor(255, 204, 0), 12, 700, false};
    case kValueStyleId:
        return {QColor(255, 255, 255), 12, 400, false};
    case kTitleStyleId:
        return {QColor(255, 255, 255), 26, 956, true};
    default:
        return {QColor(), 12, 400, false};
    }
}

QFont FontFor(const TextStyle& style) {
    QFont font;
    font.setFamilies(style.title ? kTitleFaces : kTextFaces);
    // Pixels, not points: the layout is in pixels and must hold at any screen DPI.
    font.setPixelSize(style.cellHeight);
    font.setWeight(static_cast<QFont::Weight>(style.weight));
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace skin
