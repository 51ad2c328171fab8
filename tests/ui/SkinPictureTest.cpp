#include "ui/SkinPicture.h"

#include <gtest/gtest.h>

#include <array>

#include <QImage>

#include "ui/SkinLayout.h"

namespace {

struct Expected {
    int id;
    QSize size;
};

std::vector<Expected> AllPictures() {
    std::vector<Expected> all{
        {171, {610, 400}}, {152, {5, 13}}, {216, {110, 107}}, {217, {275, 2}}};
    for (int id : {163, 165, 166, 164, 167, 133, 170, 168}) {
        all.push_back({id, {92, 31}});
    }
    for (int id : {159, 161, 162, 132}) {
        all.push_back({id, {163, 31}});
    }
    for (int id : {172, 174, 175, 173, 131, 157, 158, 156, 194, 196, 193, 195}) {
        all.push_back({id, {15, 14}});
    }
    return all;
}

} // namespace

TEST(SkinPicture, EveryPictureHasItsSizeAndASharpTwiceAsLargeTwin) {
    for (const auto& [id, size] : AllPictures()) {
        const SkinPicture picture = SkinPicture::Load(id);
        ASSERT_FALSE(picture.isNull()) << id;
        EXPECT_EQ(picture.size(), size) << id;
        const QPixmap& twice = picture.forRatio(2.0);
        EXPECT_EQ(twice.devicePixelRatio(), 2.0) << id;
        EXPECT_EQ(twice.size(), size * 2) << id;
        EXPECT_EQ(picture.forRatio(1.0).devicePixelRatio(), 1.0) << id;
    }
    EXPECT_TRUE(SkinPicture::Load(9999).isNull());
}

TEST(SkinPicture, ButtonSetsOfTheLayoutAllExist) {
    for (const auto& button : skin::kButtons) {
        for (int id : button.images) {
            EXPECT_FALSE(SkinPicture::Load(id).isNull()) << id;
        }
    }
    for (int id : skin::kResumeImages) {
        EXPECT_FALSE(SkinPicture::Load(id).isNull()) << id;
    }
}

TEST(SkinPicture, FillStripRowsHaveTheirExactColoursAtBothResolutions) {
    const std::array<QColor, 13> rows{{{222, 115, 0},
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
    const SkinPicture strip = SkinPicture::Load(skin::kFillStripPicture);
    for (qreal dpr : {1.0, 2.0}) {
        const QImage image = strip.forRatio(dpr).toImage();
        const int scale = static_cast<int>(dpr);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                EXPECT_EQ(image.pixelColor(x, y), rows[y / scale])
                    << "dpr " << dpr << " at " << x << "," << y;
            }
        }
    }
}

TEST(SkinPicture, AppIconHasTheThreeSizes) {
    const QIcon icon = LoadAppIcon();
    const QList<QSize> sizes = icon.availableSizes();
    for (int size : {16, 32, 48}) {
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
    }
}
