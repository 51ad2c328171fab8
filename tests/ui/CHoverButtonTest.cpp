#include "ui/CHoverButton.h"

#include <gtest/gtest.h>

#include <array>

#include <QTest>

#include "support/Pixels.h"
#include "ui/SkinLayout.h"

namespace {

constexpr QPoint kAt{10, 10}; // the button's place in its window
// Points on the button's body where the four pictures of a set differ.
const std::array<QPoint, 3> kSamples{{{5, 15}, {46, 4}, {86, 16}}};

struct ButtonInWindow {
    QWidget window;
    CHoverButton button{&window};

    ButtonInWindow() {
        window.resize(200, 100);
        button.move(kAt);
        EXPECT_TRUE(button.LoadBitmaps(163, 165, 166, 164));
        button.SizeToContent();
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        // The pointer may still rest where an earlier test left it.
        QTest::mouseMove(&window, QPoint(150, 50));
        QApplication::processEvents();
    }
};

// Which picture of `set` the window shows at the button, or -1 for none.
int Shown(const QImage& image, const skin::ImageSet& set) {
    for (int i = 0; i < 4; ++i) {
        const QImage picture =
            SkinPicture::Load(set[i]).forRatio(image.devicePixelRatio()).toImage();
        const qreal dpr = image.devicePixelRatio();
        bool all = true;
        for (const QPoint& p : kSamples) {
            all = all && At(image, kAt.x() + p.x(), kAt.y() + p.y()) ==
                             picture.pixelColor(static_cast<int>(p.x() * dpr),
                                                static_cast<int>(p.y() * dpr));
        }
        if (all) {
            return i;
        }
    }
    return -1;
}

const QPoint kInside{46, 15};
const QPoint kOutside{150, 50}; // in the window, off the button

} // namespace

TEST(CHoverButton, LoadsASetAndTakesItsNormalPicturesSize) {
    CHoverButton button;
    EXPECT_TRUE(button.LoadBitmaps(159, 161, 162, 132));
    button.move(203, 292);
    button.SizeToContent();
    EXPECT_EQ(button.geometry(), QRect(203, 292, 163, 31));
    EXPECT_EQ(button.sizeHint(), QSize(163, 31));
    // A missing normal picture fails at once; a missing other picture fails the whole load.
    EXPECT_FALSE(button.LoadBitmaps(9999, 161, 162, 132));
    EXPECT_FALSE(button.LoadBitmaps(159, 161, 9999, 132));
    EXPECT_TRUE(button.LoadBitmaps(159, 0, 0, 0));
}

TEST(CHoverButton, StatesShowTheirPicturesWithDisabledOverPressedOverHover) {
    ButtonInWindow f;
    const skin::ImageSet set{163, 165, 166, 164};
    EXPECT_EQ(Shown(OnScreen(&f.window), set), CHoverButton::Normal);

    QTest::mouseMove(&f.button, kInside);
    EXPECT_TRUE(f.button.IsHovering());
    EXPECT_EQ(Shown(OnScreen(&f.window), set), CHoverButton::Hover);

    QTest::mousePress(&f.button, Qt::LeftButton, {}, kInside);
    EXPECT_TRUE(f.button.IsHovering());
    EXPECT_EQ(Shown(OnScreen(&f.window), set), CHoverButton::Pressed);

    f.button.setEnabled(false);
    EXPECT_EQ(Shown(OnScreen(&f.window), set), CHoverButton::Disabled);
    f.button.setEnabled(true);
    QTest::mouseRelease(&f.button, Qt::LeftButton, {}, kInside);
    EXPECT_EQ(Shown(OnScreen(&f.window), set), CHoverButton::Hover);

    // Leaving shows the normal picture at once; coming back shows the hover picture again.
    QTest::mouseMove(&f.window, kOutside);
    EXPECT_FALSE(f.button.IsHovering());
    EXPECT_EQ(Shown(OnScreen(&f.window), set), CHoverButton::Normal);
    QTest::mouseMove(&f.button, kInside);
    EXPECT_EQ(Shown(OnScreen(&f.window), set), CHoverButton::Hover);

    f.button.setEnabled(false);
    EXPECT_EQ(Shown(OnScreen(&f.window), set), CHoverButton::Disabled);
}

TEST(CHoverButton, ClicksReachTheParentAsClickedSignals) {
    ButtonInWindow f;
    int clicks = 0;
    QObject::connect(&f.button, &QAbstractButton::clicked, [&] { ++clicks; });
    QTest::mouseClick(&f.button, Qt::LeftButton, {}, kInside);
    EXPECT_EQ(clicks, 1);
    f.button.setEnabled(false);
    QTest::mouseClick(&f.button, Qt::LeftButton, {}, kInside);
    EXPECT_EQ(clicks, 1) << "a disabled button sends nothing";
}

TEST(CHoverButton, NeverTakesKeyboardFocus) {
    ButtonInWindow f;
    CHoverButton second(&f.window);
    ASSERT_TRUE(second.LoadBitmaps(159, 161, 162, 132));
    second.SizeToContent();
    second.move(10, 60);
    second.show();
    int clicks = 0;
    for (CHoverButton* b : {&f.button, &second}) {
        QObject::connect(b, &QAbstractButton::clicked, [&] { ++clicks; });
    }
    f.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.window));

    QTest::mouseClick(&f.button, Qt::LeftButton, {}, kInside);
    QTest::mouseClick(&second, Qt::LeftButton, {}, kInside);
    EXPECT_EQ(clicks, 2);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(f.button.hasFocus() || second.hasFocus()) << i << " Tabs";
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Tab); // to the focus widget
    }
    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Space);
    EXPECT_EQ(clicks, 2) << "Space clicks no button";
}

TEST(CHoverButton, ANewImageSetShowsOnlyAtTheNextRepaint) {
    ButtonInWindow f;
    const skin::ImageSet pause{163, 165, 166, 164};
    const skin::ImageSet resume{167, 133, 170, 168};
    EXPECT_TRUE(f.button.LoadBitmaps(resume[0], resume[1], resume[2], resume[3]));
    EXPECT_EQ(Shown(OnScreen(&f.window), pause), CHoverButton::Normal);
    // Passing over the button repaints it: the new set's hover, then its normal picture.
    QTest::mouseMove(&f.button, kInside);
    EXPECT_EQ(Shown(OnScreen(&f.window), resume), CHoverButton::Hover);
    QTest::mouseMove(&f.window, kOutside);
    EXPECT_EQ(Shown(OnScreen(&f.window), resume), CHoverButton::Normal);
}
