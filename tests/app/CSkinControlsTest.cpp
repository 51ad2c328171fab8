#include "app/StatusDisplay.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QTest>

#include "StandInTask.h"
#include "support/Pixels.h"
#include "ui/CSkinWindow.h"
#include "ui/SkinLayout.h"

namespace {

// Records the areas a widget was asked to paint.
class PaintRecorder : public QObject {
public:
    QRegion painted;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
};

// The skinned window with its controls built and shown and the status lines beside them;
// button clicks are recorded by command id.
struct ShownWindow {
    CSkinWindow window;
    StatusDisplay status{window.Skin()};
    std::vector<int> commands;
    ShownWindow() {
        skin().CreateSkinControls([this](int id) { commands.push_back(id); });
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    CSkinControls& skin() { return window.Skin(); }
    void showValues() {
        skin().ShowValueControls();
        status.ShowFilePath("/home/player/Games", "Emberway Full Installer");
    }
    std::string text(skin::Label which) { return skin().label(which).text().toStdString(); }
};

} // namespace

TEST(CSkinControls, WindowIsAFramelessPictureOfItsOwnSize) {
    ShownWindow w;
    EXPECT_EQ(w.window.size(), QSize(610, 400));
    EXPECT_TRUE(w.window.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(w.window.windowFlags() & Qt::WindowType_Mask, Qt::Window); // own taskbar entry
    EXPECT_TRUE(w.window.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(w.window.windowIcon().isNull());
    // The background picture covers the window: its title strip and panel show through.
    const QImage shown = w.window.grab().toImage();
    const QImage background = SkinPicture::Load(171).forRatio(shown.devicePixelRatio()).toImage();
    for (const QPoint p : {QPoint(300, 10), QPoint(300, 140), QPoint(5, 395), QPoint(500, 330)}) {
        EXPECT_EQ(At(shown, p.x(), p.y()), background.pixelColor(p * background.devicePixelRatio()))
            << p.x() << "," << p.y();
    }
}

TEST(CSkinControls, ControlsTakeTheirPlacesTextsAndVisibility) {
    ShownWindow w;
    const std::array<QRect, 5> buttons{{{109, 292, 92, 31},
                                        {203, 292, 163, 31},
                                        {570, 7, 15, 14},
                                        {587, 7, 15, 14},
                                        {553, 7, 15, 14}}};
    const std::array<const char*, 5> texts{"Pause/Resume", "ShowContainingFolder", "Minimize",
                                           "Close", "Question"};
    const std::array<const char*, 5> tips{"Pause", "Show the download folder", "Minimise", "Close",
                                          "About"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(w.skin().button(static_cast<skin::Button>(i)).geometry(), buttons[i]) << i;
        EXPECT_EQ(w.skin().button(static_cast<skin::Button>(i)).text(), texts[i]) << i;
        EXPECT_EQ(w.skin().button(static_cast<skin::Button>(i)).toolTip(), tips[i]) << i;
        EXPECT_TRUE(w.skin().button(static_cast<skin::Button>(i)).isVisible()) << i;
    }
    EXPECT_EQ(w.skin().progressBar().geometry(), QRect(41, 232, 386, 13));
    EXPECT_EQ(w.skin().progressBar().GetPos(), 50);
    EXPECT_FALSE(w.skin().progressBar().isVisible());

    struct Expected {
        QRect rect;
        int id;
        const char* text;
        bool visible;
    };
    const std::array<Expected, 11> labels{{
        {{50, 148, 450, 18}, 104, "File path", true},
        {{50, 166, 450, 18}, 104, "File size", true},
        {{50, 184, 450, 18}, 104, "Down rate", true},
        {{50, 202, 450, 18}, 104, "Peer", true},
        {{205, 262, 295, 258}, 105, "/100%", false},
        {{115, 148, 300, 18}, 105, "", false},
        {{115, 166, 300, 18}, 105, "", false},
        {{115, 184, 300, 18}, 105, "", false},
        {{80, 202, 320, 18}, 105, "", false},
        {{178, 262, 26, 258}, 104, "", false},
        {{30, 30, 270, 50}, 108, "Kestrel", true},
    }};
    for (int i = 0; i < 11; ++i) {
        const CSkinLabel& label = w.skin().label(static_cast<skin::Label>(i));
        EXPECT_EQ(label.geometry(), labels[i].rect) << i;
        EXPECT_EQ(label.id(), labels[i].id) << i;
        EXPECT_EQ(label.text(), labels[i].text) << i;
        EXPECT_EQ(label.isVisible(), labels[i].visible) << i;
    }
    EXPECT_EQ(w.skin().label(skin::PathValue).flow(), skin::TextFlow::EndEllipsis);
    EXPECT_EQ(w.skin().label(skin::PercentValue).flow(), skin::TextFlow::Right);

    w.showValues();
    for (int i = 0; i < 11; ++i) {
        EXPECT_TRUE(w.skin().label(static_cast<skin::Label>(i)).isVisible()) << i;
    }
    EXPECT_TRUE(w.skin().progressBar().isVisible());
}

TEST(CSkinControls, LabelsDrawInTheStyleTheirIdSelects) {
    ShownWindow w;
    w.showValues();
    StandInTask task;
    task.downloading = {true};
    task.percent = 100;
    w.status.RefreshStatus(task);
    const QImage image = OnScreen(&w.window);
    // The strongest ink of each label against the dark panel.
    auto brightest = [&](const QRect& area) {
        QColor best = Qt::black;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = At(image, x, y);
                if (c.red() + c.green() + c.blue() > best.red() + best.green() + best.blue()) {
                    best = c;
                }
            }
        }
        return best;
    };
    // Bold amber covers whole pixels; the thin white strokes of 12-pixel text reach only light
    // grey, so white is told by a bright, colourless tint.
    const QColor amber(255, 204, 0);
    auto whiteInk = [](const QColor& c) {
        return c.red() > 200 && std::abs(c.red() - c.blue()) < 10 &&
               std::abs(c.red() - c.green()) < 10;
    };
    EXPECT_TRUE(Near(brightest(QRect(50, 148, 60, 18)), amber)) << "caption";
    EXPECT_TRUE(Near(brightest(QRect(178, 262, 26, 18)), amber)) << "percentValue";
    EXPECT_TRUE(whiteInk(brightest(QRect(205, 262, 40, 18)))) << "percentSuffix";
    EXPECT_TRUE(whiteInk(brightest(QRect(115, 166, 200, 18)))) << "sizeValue";
    // "100%" ends against x = 204, directly left of "/100%".
    int right = 0;
    for (int x = 178; x < 205; ++x) {
        for (int y = 262; y < 280; ++y) {
            if (At(image, x, y).green() > 150 && At(image, x, y).blue() < 80) {
                right = std::max(right, x);
            }
        }
    }
    EXPECT_GE(right, 201);
    EXPECT_LE(right, 203);
}

TEST(CSkinControls, ALongPathEndsInAnEllipsis) {
    ShownWindow w;
    w.showValues();
    w.status.ShowFilePath("/home/player/a very long folder name/that goes on and on/and on",
                          "Emberway Full Installer");
    const QString shown = w.skin().label(skin::PathValue).shownText();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_EQ(w.text(skin::PathValue),
              " : /home/player/a very long folder name/that goes on and on/and on/"
              "Emberway Full Installer");
}

TEST(CSkinControls, PressesOnTheBackgroundOrALabelMoveTheWindowButtonsDoNot) {
    ShownWindow w;
    w.showValues();
    // Labels let presses through to the window, which starts its move; buttons keep theirs.
    for (const QPoint p : {QPoint(300, 340), QPoint(60, 152), QPoint(120, 170)}) {
        EXPECT_EQ(w.window.childAt(p), nullptr) << p.x() << "," << p.y();
    }
    EXPECT_EQ(w.window.childAt(QPoint(250, 300)), &w.skin().button(skin::FolderButton));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(300, 340), QPointF(300, 340),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    press.ignore();
    QApplication::sendEvent(&w.window, &press);
    EXPECT_TRUE(press.isAccepted());
}

TEST(CSkinControls, ButtonClicksRunTheirCommands) {
    ShownWindow w;
    QTest::mouseClick(&w.skin().button(skin::MinimizeButton), Qt::LeftButton);
    QTest::mouseClick(&w.skin().button(skin::PauseButton), Qt::LeftButton);
    QTest::mouseClick(&w.skin().button(skin::FolderButton), Qt::LeftButton);
    QTest::mouseClick(&w.skin().button(skin::CloseButton), Qt::LeftButton);
    QTest::mouseClick(&w.skin().button(skin::QuestionButton), Qt::LeftButton);
    EXPECT_EQ(w.commands, (std::vector<int>{102, 100, 101, 103, 106}));
}

TEST(CSkinControls, PauseButtonSwitchesLookAndTipAndShowsItAtOnce) {
    ShownWindow w;
    CHoverButton& pause = w.skin().button(skin::PauseButton);
    auto shownAt = [&](int id) {
        const QImage image = OnScreen(&w.window);
        const QImage picture = SkinPicture::Load(id).forRatio(1.0).toImage();
        return At(image, 109 + 5, 292 + 15) == picture.pixelColor(5, 15) &&
               At(image, 109 + 46, 292 + 4) == picture.pixelColor(46, 4);
    };
    EXPECT_TRUE(shownAt(163));
    w.skin().SetPauseButtonLook(CSkinControls::PauseLook::Resume);
    EXPECT_EQ(pause.toolTip(), "Resume");
    EXPECT_TRUE(shownAt(167)) << "switched without waiting for the pointer";
    w.skin().EnablePauseButton(false);
    EXPECT_TRUE(shownAt(168));
    w.skin().EnablePauseButton(true);
    w.skin().SetPauseButtonLook(CSkinControls::PauseLook::Pause);
    EXPECT_EQ(pause.toolTip(), "Pause");
    EXPECT_TRUE(shownAt(163));
}

TEST(StatusDisplay, RefreshWithAnInvalidTaskChangesNothing) {
    ShownWindow w;
    w.showValues();
    w.status.RefreshStatus(DownloadTask()); // no torrent yet
    StandInTask task;
    task.valid = false;
    task.downloading = {true};
    w.status.RefreshStatus(task);
    EXPECT_EQ(w.text(skin::SizeValue), "");
    EXPECT_EQ(w.text(skin::PercentValue), "");
    EXPECT_EQ(w.skin().progressBar().GetPos(), 50);
}

TEST(StatusDisplay, DownloadingBranchShowsTheLiveFigures) {
    ShownWindow w;
    w.showValues();
    w.status.SetListenPort(23456);
    StandInTask task;
    task.downloading = {true};
    task.done = 10485760;
    task.size = 2147483648LL;
    task.rate = 2000;
    task.left = RemainingTime{0, 8, 20};
    task.peers = 12;
    task.percent = 37;
    w.status.RefreshStatus(task);
    EXPECT_EQ(w.text(skin::SizeValue), " : 10.00 MB / 2.00 GB");
    EXPECT_EQ(w.text(skin::RateValue), " : 1.95 KB/s - About 8m 20s Remains");
    EXPECT_EQ(w.text(skin::PeerValue), " : 12 peers (Listen port : 23456)");
    EXPECT_EQ(w.text(skin::PercentValue), "37%");
    EXPECT_EQ(w.skin().progressBar().GetPos(), 37);

    // Once the listen port is closed the next refresh drops it.
    w.status.SetListenPort(0);
    task.downloading = {true};
    w.status.RefreshStatus(task);
    EXPECT_EQ(w.text(skin::PeerValue), " : 12 peers");
}

TEST(StatusDisplay, CheckingBranchFollowsTheFirstFile) {
    ShownWindow w;
    w.showValues();
    w.status.SetListenPort(23456);
    StandInTask task;
    task.checking = {true};
    task.done = 500;
    task.size = 734003200;
    task.rate = 9999;
    task.peers = 7;
    task.files = {0.4271f, 1.0f};
    w.status.RefreshStatus(task);
    EXPECT_EQ(w.text(skin::SizeValue), " : 0.00 B / 700.00 MB");
    EXPECT_EQ(w.text(skin::RateValue), " : 0.00 B/s");
    EXPECT_EQ(w.text(skin::PeerValue), " : 0 peers (Listen port : 23456)");
    EXPECT_EQ(w.text(skin::PercentValue), "42%"); // truncated, not rounded
    EXPECT_EQ(w.skin().progressBar().GetPos(), 42);
}

TEST(StatusDisplay, BranchesAreAskedOneAfterTheOther) {
    ShownWindow w;
    w.showValues();
    // Still checking, all pieces present: the complete branch runs last and its texts stay.
    StandInTask task;
    task.checking = {true};
    task.complete = {true};
    task.done = task.size = 1048576;
    task.peers = 3;
    task.files = {0.5f};
    task.left = RemainingTime{0, 0, 0}; // data still moving
    w.status.RefreshStatus(task);
    EXPECT_EQ(w.text(skin::SizeValue), " : 1.00 MB / 1.00 MB");
    EXPECT_EQ(w.text(skin::RateValue), " : 0.00 B/s - About 0m 0s Remains");
    EXPECT_EQ(w.text(skin::PeerValue), " : 3 peers");
    EXPECT_EQ(w.text(skin::PercentValue), "100%");
    EXPECT_EQ(w.skin().progressBar().GetPos(), 100);
    EXPECT_EQ(task.sizeReads, 2) << "each branch asks afresh";

    // A state change between the reads lets a tick pass no branch: the texts keep their
    // content, and the four areas are still repainted.
    PaintRecorder recorder;
    w.window.installEventFilter(&recorder);
    QApplication::processEvents();
    recorder.painted = QRegion();
    StandInTask none;
    w.status.RefreshStatus(none);
    QApplication::processEvents();
    EXPECT_EQ(w.text(skin::PercentValue), "100%");
    for (const QRect& area : skin::kStatusRepaintRects) {
        EXPECT_TRUE(recorder.painted.contains(area)) << area.x() << "," << area.y();
    }
    EXPECT_FALSE(recorder.painted.contains(QRect(300, 300, 10, 10)));
}

TEST(StatusDisplay, CompleteBranchShowsAFullBarAndNoRate) {
    ShownWindow w;
    w.showValues();
    StandInTask task;
    task.complete = {true};
    task.done = task.size = 5368709120LL;
    task.rate = 123456;
    task.peers = 4;
    w.status.RefreshStatus(task);
    EXPECT_EQ(w.text(skin::SizeValue), " : 5.00 GB / 5.00 GB");
    EXPECT_EQ(w.text(skin::RateValue), " : 0.00 B/s");
    EXPECT_EQ(w.text(skin::PercentValue), "100%");
    const QImage image = OnScreen(&w.window);
    EXPECT_EQ(At(image, 41, 232), QColor(222, 115, 0));
    EXPECT_EQ(At(image, 426, 244), QColor(255, 205, 0));
}

TEST(StatusDisplay, ShorterStatusTextsLeaveNoRemains) {
    ShownWindow w;
    w.showValues();
    StandInTask longer;
    longer.downloading = {true};
    longer.done = 1073741823;
    longer.size = 2147483648LL;
    longer.rate = 1048575;
    longer.left = RemainingTime{65534, 59, 59};
    w.status.RefreshStatus(longer);
    const QImage before = OnScreen(&w.window);
    StandInTask shorter;
    shorter.downloading = {true};
    w.status.RefreshStatus(shorter);
    const QImage after = OnScreen(&w.window);
    // Right of the short texts the window shows the bare background again.
    const QImage background = SkinPicture::Load(171).forRatio(1.0).toImage();
    int changed = 0;
    for (int y = 166; y < 202; ++y) {
        for (int x = 240; x < 415; ++x) {
            EXPECT_EQ(At(after, x, y), background.pixelColor(x, y)) << x << "," << y;
            changed += At(before, x, y) != At(after, x, y);
        }
    }
    EXPECT_GT(changed, 100) << "the long texts did reach there";
}
