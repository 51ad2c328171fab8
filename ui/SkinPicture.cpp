#include "ui/SkinPicture.h"

#include <QString>

#include "ui/SkinLayout.h"

// The resources live in a static library; naming their initialiser keeps the linker from
// dropping them.
static void InitSkinResources() {
    Q_INIT_RESOURCE(kestrel);
}

namespace {
void EnsureResources() {
    static const bool done = (InitSkinResources(), true);
    (void)done;
}
} // namespace

SkinPicture SkinPicture::Load(int id) {
    EnsureResources();
    SkinPicture picture;
    picture.normal_.load(QStringLiteral(":/skin/%1.png").arg(id));
    if (picture.twice_.load(QStringLiteral(":/skin/%1@2x.png").arg(id))) {
        picture.twice_.setDevicePixelRatio(2.0);
    }
    return picture;
}

const QPixmap& SkinPicture::forRatio(qreal devicePixelRatio) const {
    return devicePixelRatio > 1.0 && !twice_.isNull() ? twice_ : normal_;
}

QIcon LoadAppIcon() {
    EnsureResources();
    QIcon icon;
    for (int size : {16, 32, 48}) {
        icon.addFile(QStringLiteral(":/skin/%1-%2.png").arg(skin::kIconGroup).arg(size),
                     QSize(size, size));
    }
    return icon;
}
