#include "ui/SkinLayout.h"

#include <map>
#include <tuple>

#include <QFontMetrics>
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
    font.setWeight(static_cast<QFont::Weight>(style.weight));
    font.setStyleHint(QFont::SansSerif);
    // The style's height is the cell (ascent plus descent), a pixel size sets the em, and faces
    // differ in how far the cell exceeds the em: the largest size whose cell fits is taken.
    // Pixels, not points: the layout is in pixels and must hold at any screen DPI. Found once per
    // style, as labels ask for their font on every paint.
    static std::map<std::tuple<bool, int, int>, int> sizes;
    const auto key = std::make_tuple(style.title, style.weight, style.cellHeight);
    auto found = sizes.find(key);
    if (found == sizes.end()) {
        int pixels = style.cellHeight;
        for (; pixels > 1; --pixels) {
            font.setPixelSize(pixels);
            if (QFontMetrics(font).height() <= style.cellHeight) {
                break;
            }
        }
        found = sizes.emplace(key, pixels).first;
    }
    font.setPixelSize(found->second);
    return font;
}

} // namespace skin
