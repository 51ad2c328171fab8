#include "ui/CAboutDlg.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "support/Pixels.h"

TEST(CAboutDlg, HasItsCaptionSizeAndItems) {
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "Marovel Downloader Information");
    EXPECT_EQ(about.size(), QSize(470, 212));
    ASSERT_NE(about.labelById(1003), nullptr);
    EXPECT_EQ(about.labelById(1003)->text(), "Marovel  Downloader ");
    EXPECT_EQ(about.labelById(1003)->geometry(), QRect(20, 86, 316, 26));
    EXPECT_EQ(about.labelById(1004)->geometry(), QRect(20, 108, 296, 28));
    EXPECT_EQ(about.labelById(1005)->geometry(), QRect(20, 132, 296, 18));
    EXPECT_EQ(about.labelById(1), nullptr);
    EXPECT_EQ(about.closeButton()->text(), "Close");
    EXPECT_EQ(about.closeButton()->geometry(), QRect(178, 166, 100, 32));
    EXPECT_TRUE(about.closeButton()->isDefault());

    // The picture and the separator take their pictures' sizes.
    std::vector<QRect> pictures;
    for (QLabel* label : about.findChildren<QLabel*>()) {
        if (!label->pixmap().isNull()) {
            pictures.push_back(label->geometry());
        }
    }
    EXPECT_EQ(pictures, (std::vector<QRect>{QRect(330, 12, 110, 107), QRect(14, 72, 275, 2)}));
}

TEST(CAboutDlg, NumberedLabelsAreDrawnInTheMutedColourWithoutBackground) {
    CAboutDlg about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    const QImage image = OnScreen(&about);
    const QColor dialog = At(image, 5, 5);
    for (int id : {1003, 1004, 1005}) {
        const QLabel* label = about.labelById(id);
        EXPECT_FALSE(label->autoFillBackground()) << id;
        const QRect area = label->geometry();
        // The darkest pixel is the text colour; the corner shows the dialog's own background.
        QColor darkest = Qt::white;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = At(image, x, y);
                if (c.lightness() < darkest.lightness()) {
                    darkest = c;
                }
            }
        }
        EXPECT_TRUE(Near(darkest, QColor(116, 106, 101), 10))
            << id << " " << darkest.name().toStdString();
        EXPECT_EQ(At(image, area.right(), area.bottom()), dialog) << id;
    }
}

TEST(CAboutDlg, CloseEndsIt) {
    CAboutDlg about;
    QTimer::singleShot(0, about.closeButton(), &QPushButton::click);
    EXPECT_EQ(about.exec(), QDialog::Accepted);
}
