#include "ui/CBitmapProgress.h"

#include <gtest/gtest.h>

#include <QTest>

#include "support/Pixels.h"

namespace {

const QColor kBeneath(255, 0, 255);
const QColor kTopRow(222, 115, 0);
const QColor kBottomRow(255, 205, 0);

// A bar on a plain magenta parent, so every pixel the bar does not paint shows magenta.
struct BarOnParent {
    QWidget parent;
    CBitmapProgress bar{&parent};

    explicit BarOnParent(int height) {
        parent.resize(420, 40);
        parent.setAutoFillBackground(true);
        QPalette palette = parent.palette();
        palette.setColor(QPalette::Window, kBeneath);
        parent.setPalette(palette);
        bar.setGeometry(10, 10, 386, height);
        parent.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&parent));
    }
    QImage grab() { return parent.grab().toImage(); }
};

} // namespace

TEST(CBitmapProgress, FillWidthIsTruncatedOverAHundredSteps) {
    const std::vector<std::pair<int, int>> table = {{0, 0},    {1, 3},    {10, 38},  {25, 96},
                                                    {50, 193}, {99, 382}, {100, 386}};
    for (const auto& [pos, width] : table) {
        EXPECT_EQ(CBitmapProgress::FillWidth(386, pos), width) << pos;
    }
}

TEST(CBitmapProgress, PaintsTheStripOverItsShareAndNothingElse) {
    BarOnParent f(20); // taller than the strip: the rows below it stay unpainted
    for (int pos : {1, 10, 25, 50, 99, 100}) {
        f.bar.SetPos(pos);
        const QImage image = f.grab();
        const int fill = CBitmapProgress::FillWidth(386, pos);
        EXPECT_EQ(At(image, 10, 10), kTopRow) << pos;
        EXPECT_EQ(At(image, 10 + fill - 1, 10), kTopRow) << pos;
        EXPECT_EQ(At(image, 10 + fill - 1, 22), kBottomRow) << pos;
        EXPECT_EQ(At(image, 10, 23), kBeneath) << pos << ": the fill is 13 pixels high";
        if (fill < 386) {
            EXPECT_EQ(At(image, 10 + fill, 10), kBeneath) << pos;
            EXPECT_EQ(At(image, 10 + fill, 22), kBeneath) << pos;
        }
    }
    f.bar.SetPos(0);
    const QImage empty = f.grab();
    for (int x = 10; x < 396; x += 7) {
        EXPECT_EQ(At(empty, x, 12), kBeneath) << x;
    }
}

// The window's own pixels: a step too small for QProgressBar's repaint rule must show too.
TEST(CBitmapProgressOnScreen, EveryPositionChangeRepaints) {
    BarOnParent f(13);
    for (int pos : {0, 1, 2, 3, 2, 1, 0}) {
        f.bar.SetPos(pos);
        const QImage image = OnScreen(&f.parent);
        const int fill = CBitmapProgress::FillWidth(386, pos);
        EXPECT_EQ(At(image, 10, 22), fill > 0 ? kBottomRow : kBeneath) << pos;
        EXPECT_EQ(At(image, 10 + fill, 22), kBeneath) << pos;
    }
}

TEST(CBitmapProgress, PositionsOutsideTheRangeAreClamped) {
    CBitmapProgress bar;
    EXPECT_EQ(bar.minimum(), 0);
    EXPECT_EQ(bar.maximum(), 100);
    EXPECT_EQ(bar.GetPos(), 0);
    bar.SetPos(250);
    EXPECT_EQ(bar.GetPos(), 100);
    bar.SetPos(-3);
    EXPECT_EQ(bar.GetPos(), 0);
    bar.SetPos(37);
    EXPECT_EQ(bar.GetPos(), 37);
}
