#include "ui/CSkinLabel.h"

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTest>

#include "support/Pixels.h"

namespace {

const QColor kBehindLabel(20, 60, 30);

// A plain window that counts the presses reaching it.
class Surface : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

struct LabelOnSurface {
    Surface surface;
    CSkinLabel label{&surface};

    LabelOnSurface(int id, skin::TextFlow flow, QRect rect) {
        surface.resize(500, 80);
        surface.setAutoFillBackground(true);
        QPalette palette = surface.palette();
        palette.setColor(QPalette::Window, kBehindLabel);
        surface.setPalette(palette);
        label.setId(id);
        label.setFlow(flow);
        label.setGeometry(rect);
        surface.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&surface));
    }
};

struct Ink {
    int count = 0;
    int left = -1;
    int right = -1;
    QColor strongest; // the pixel farthest from the background
};

Ink InkIn(const QImage& image, QRect area) {
    Ink ink;
    int best = -1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = At(image, x, y);
            if (c == kBehindLabel) {
                continue;
            }
            ++ink.count;
            ink.left = ink.left < 0 ? x : std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            const int distance = std::abs(c.red() - kBehindLabel.red()) +
                                 std::abs(c.green() - kBehindLabel.green()) +
                                 std::abs(c.blue() - kBehindLabel.blue());
            if (distance > best) {
                best = distance;
                ink.strongest = c;
            }
        }
    }
    return ink;
}

const QRect kWhole(0, 0, 500, 80);

} // namespace

TEST(CSkinLabel, TheIdSelectsColourAndWeight) {
    const QRect rect(10, 10, 400, 18);
    LabelOnSurface caption(104, skin::TextFlow::WrapLeft, rect);
    caption.label.setText("File path 0123");
    const Ink amber = InkIn(OnScreen(&caption.surface), kWhole);
    EXPECT_TRUE(Near(amber.strongest, QColor(255, 204, 0))) << amber.strongest.name().toStdString();

    LabelOnSurface value(105, skin::TextFlow::WrapLeft, rect);
    value.label.setText("File path 0123");
    const Ink white = InkIn(OnScreen(&value.surface), kWhole);
    EXPECT_TRUE(Near(white.strongest, QColor(255, 255, 255)))
        << white.strongest.name().toStdString();
    // The caption style is bold: the same text leaves more ink.
    EXPECT_GT(amber.count, white.count * 11 / 10);
    // Both stay inside their 18-pixel row.
    EXPECT_GE(amber.left, 10);

    LabelOnSurface title(108, skin::TextFlow::WrapLeft, QRect(10, 10, 270, 50));
    title.label.setText("Kestrel");
    const Ink big = InkIn(OnScreen(&title.surface), kWhole);
    EXPECT_TRUE(Near(big.strongest, QColor(255, 255, 255)));
    EXPECT_GT(big.count, white.count);
}

// A style's height is the cell height (ascent plus descent), not the em size, in the skin's faces.
TEST(CSkinLabel, EachStylesFontHasTheStylesCellHeight) {
    for (int id : {skin::kCaptionStyleId, skin::kValueStyleId, skin::kTitleStyleId}) {
        const skin::TextStyle style = skin::TextStyleFor(id);
        const QFont font = skin::FontFor(style);
        EXPECT_TRUE(QFontInfo(font).family().startsWith(u"Nanum"))
            << id << ": " << QFontInfo(font).family().toStdString();
        EXPECT_EQ(QFontMetrics(font).height(), style.cellHeight) << id;
    }
}

TEST(CSkinLabel, ALongValueEndsInAnEllipsisWithinTheLabel) {
    LabelOnSurface f(105, skin::TextFlow::EndEllipsis, QRect(115, 10, 300, 18));
    const QString path =
        " : /home/player/Downloads/" + QString(80, QLatin1Char('x')) + "/setup.bin";
    f.label.setText(path);
    EXPECT_EQ(f.label.text(), path);
    const QString shown = f.label.shownText();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(shown.startsWith(" : /home/player"));
    const Ink ink = InkIn(OnScreen(&f.surface), kWhole);
    EXPECT_GT(ink.right, 115 + 300 - 20) << "the cut text fills the label";
    EXPECT_LT(ink.right, 115 + 300);

    f.label.setText(" : /short/setup.bin");
    EXPECT_EQ(f.label.shownText(), " : /short/setup.bin");
}

TEST(CSkinLabel, AShorterTextLeavesNoRemainsOfTheOld) {
    LabelOnSurface f(105, skin::TextFlow::EndEllipsis, QRect(115, 10, 300, 18));
    f.label.setText(" : 1023.99 MB / 2.00 GB");
    const Ink wide = InkIn(OnScreen(&f.surface), kWhole);
    f.label.setText(" : 0.00 B");
    const Ink narrow = InkIn(OnScreen(&f.surface), kWhole);
    ASSERT_GT(wide.right, narrow.right + 40);
    // Nothing of the old text is left to the right of the new one.
    EXPECT_EQ(InkIn(OnScreen(&f.surface), QRect(narrow.right + 1, 0, 499 - narrow.right, 80)).count,
              0);
    f.label.setText("");
    EXPECT_EQ(InkIn(OnScreen(&f.surface), kWhole).count, 0);
}

TEST(CSkinLabel, RightFlowEndsAtTheLabelsRightEdge) {
    LabelOnSurface f(104, skin::TextFlow::Right, QRect(178, 10, 26, 18));
    f.label.setText("37%");
    const Ink ink = InkIn(OnScreen(&f.surface), kWhole);
    EXPECT_LE(ink.right, 203);
    EXPECT_GE(ink.right, 200);
    EXPECT_GE(ink.left, 178);
}

TEST(CSkinLabel, PressesPassThroughToTheWindow) {
    LabelOnSurface f(104, skin::TextFlow::WrapLeft, QRect(10, 10, 200, 18));
    f.label.setText("Down rate");
    QTest::mousePress(f.surface.windowHandle(), Qt::LeftButton, {}, QPoint(20, 15));
    EXPECT_EQ(f.surface.presses, 1);
}
