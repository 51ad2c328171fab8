#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

// One numbered picture of the skin, with its double-resolution twin for high-DPI screens.
class SkinPicture {
public:
    SkinPicture() = default;
    // Loads picture `id` from the compiled-in resources; null when there is no such picture.
    static SkinPicture Load(int id);

    bool isNull() const { return normal_.isNull(); }
    // In logical pixels, the same for both resolutions.
    QSize size() const { return normal_.size(); }
    // The version to draw on a device with this pixel ratio.
    const QPixmap& forRatio(qreal devicePixelRatio) const;

private:
    QPixmap normal_;
    QPixmap twice_;
};

// The program's icon (group 212) at 16, 32 and 48 pixels.
QIcon LoadAppIcon();
