#include "app/CKestrelDlg.h"

#include <gtest/gtest.h>

#include <deque>

#include <QLabel>
#include <QPaintEvent>
#include <QTest>
#include <QTimer>

#include "Screenshot.h"
#include "support/Pixels.h"
#include "support/RecordingPrompt.h"
#include "ui/CAboutDlg.h"
#include "ui/SkinLayout.h"

namespace {

// Answers the task's inquiries from scripted values. Each branch question takes its next
// scripted answer, so a state change between two reads can be played.
struct StandInTask {
    bool valid = true;
    std::deque<bool> checking, downloading, complete;
    std::int64_t done = 0, size = 0;
    std::uint32_t rate = 0;
    int peers = 0, percent = 0;
    std::optional<RemainingTime> left = RemainingTime{0xFFFF, 0xFFFF, 0xFFFF};
    std::vector<float> files;
    mutable int sizeReads = 0;

    static bool Next(std::deque<bool>& answers) {
        if (answers.empty()) {
            return false;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    bool isValid() const { return valid; }
    bool isChecking() const { return Next(const_cast<std::deque<bool>&>(checking)); }
    bool isDownloading() const { return Next(const_cast<std::deque<bool>&>(downloading)); }
    bool isComplete() const { return Next(const_cast<std::deque<bool>&>(complete)); }
    std::int64_t totalDone() const { return done; }
    std::int64_t totalSize() const {
        ++sizeReads;
        return size;
    }
    std::uint32_t downloadRate() const { return rate; }
    int peerCount() const { return peers; }
    int percentDone() const { return percent; }
    std::optional<RemainingTime> remainingTime() const { return left; }
    std::vector<float> fileProgress() const { return files; }
};

// The real window with its start steps that need the server left out, its skin built and
// shown, and the pieces under test reachable.
class SkinDlg : public CKestrelDlg {
public:
    explicit SkinDlg(Prompt& prompt) : CKestrelDlg(prompt, "http://127.0.0.1:1") {}

    using CKestrelDlg::CreateSkinControls;
    using CKestrelDlg::EnablePauseButton;
    using CKestrelDlg::PauseLook;
    using CKestrelDlg::RefreshStatus;
    using CKestrelDlg::SetPauseButtonLook;
    using CKestrelDlg::ShowFilePath;
    using CKestrelDlg::ShowValueControls;
    template <typename Task>
    void Refresh(const Task& task) {
        RefreshStatusFrom(task);
    }
    void SetListenPort(quint16 port) { listenPort_ = port; }

    CHoverButton& button(int index) {
        return *std::array<CHoverButton*, 5>{&pauseButton_, &folderButton_, &minimizeButton_,
                                             &closeButton_, &questionButton_}[index];
    }
    CSkinLabel& label(int index) {
        return *std::array<CSkinLabel*, 11>{&pathCaption_,  &sizeCaption_,   &rateCaption_,
                                            &peerCaption_,  &percentSuffix_, &pathValue_,
                                            &sizeValue_,    &rateValue_,     &peerValue_,
                                            &percentValue_, &titleLabel_}[index];
    }
    CBitmapProgress& progress() { return progressBar_; }
    const CSkinLabel& text(skin::Label which) { return label(which); }

    int moves = 0;
    QRegion painted;

protected:
    void StartDownload() override {}
    void StartWindowMove() override { ++moves; }
    void paintEvent(QPaintEvent* event) override {
        painted += event->region();
        CKestrelDlg::paintEvent(event);
    }
};

struct ShownWindow {
    RecordingPrompt prompt;
    SkinDlg dlg{prompt};
    ShownWindow() {
        dlg.OnInitDialog(); // no valid task: the value controls stay hidden
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    }
    void showValues() {
        dlg.ShowValueControls();
        dlg.ShowFilePath("/home/player/Games", "Emberway Full Installer");
    }
};

std::string Text(SkinDlg& dlg, skin::Label which) {
    return dlg.text(which).text().toStdString();
}

} // namespace

TEST(CKestrelDlgSkin, WindowIsAFramelessPictureOfItsOwnSize) {
    ShownWindow w;
    EXPECT_EQ(w.dlg.size(), QSize(610, 400));
    EXPECT_TRUE(w.dlg.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(w.dlg.windowFlags() & Qt::WindowType_Mask, Qt::Window); // own taskbar entry
    EXPECT_TRUE(w.dlg.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(w.dlg.windowTitle(), "Emberway Kestrel");
    EXPECT_FALSE(w.dlg.windowIcon().isNull());
    // The background picture covers the window: its title strip and panel show through.
    const QImage shown = w.dlg.grab().toImage();
    const QImage background = SkinPicture::Load(171).forRatio(shown.devicePixelRatio()).toImage();
    for (const QPoint p : {QPoint(300, 10), QPoint(300, 140), QPoint(5, 395), QPoint(500, 330)}) {
        EXPECT_EQ(At(shown, p.x(), p.y()), background.pixelColor(p * background.devicePixelRatio()))
            << p.x() << "," << p.y();
    }
}

TEST(CKestrelDlgSkin, ControlsTakeTheirPlacesTextsAndVisibility) {
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
        EXPECT_EQ(w.dlg.button(i).geometry(), buttons[i]) << i;
        EXPECT_EQ(w.dlg.button(i).text(), texts[i]) << i;
        EXPECT_EQ(w.dlg.button(i).toolTip(), tips[i]) << i;
        EXPECT_TRUE(w.dlg.button(i).isVisible()) << i;
    }
    EXPECT_EQ(w.dlg.progress().geometry(), QRect(41, 232, 386, 13));
    EXPECT_EQ(w.dlg.progress().GetPos(), 50);
    EXPECT_FALSE(w.dlg.progress().isVisible());

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
        const CSkinLabel& label = w.dlg.label(i);
        EXPECT_EQ(label.geometry(), labels[i].rect) << i;
        EXPECT_EQ(label.id(), labels[i].id) << i;
        EXPECT_EQ(label.text(), labels[i].text) << i;
        EXPECT_EQ(label.isVisible(), labels[i].visible) << i;
    }
    EXPECT_EQ(w.dlg.label(skin::PathValue).flow(), skin::TextFlow::EndEllipsis);
    EXPECT_EQ(w.dlg.label(skin::PercentValue).flow(), skin::TextFlow::Right);

    w.showValues();
    for (int i = 0; i < 11; ++i) {
        EXPECT_TRUE(w.dlg.label(i).isVisible()) << i;
    }
    EXPECT_TRUE(w.dlg.progress().isVisible());
}

TEST(CKestrelDlgSkin, LabelsDrawInTheStyleTheirIdSelects) {
    ShownWindow w;
    w.showValues();
    StandInTask task;
    task.downloading = {true};
    task.percent = 100;
    w.dlg.Refresh(task);
    const QImage image = OnScreen(&w.dlg);
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

TEST(CKestrelDlgSkin, ALongPathEndsInAnEllipsis) {
    ShownWindow w;
    w.showValues();
    w.dlg.ShowFilePath("/home/player/a very long folder name/that goes on and on/and on",
                       "Emberway Full Installer");
    const QString shown = w.dlg.text(skin::PathValue).shownText();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_EQ(Text(w.dlg, skin::PathValue),
              " : /home/player/a very long folder name/that goes on and on/and on/"
              "Emberway Full Installer");
}

TEST(CKestrelDlgSkin, PressesOnTheBackgroundOrALabelMoveTheWindowButtonsDoNot) {
    ShownWindow w;
    w.showValues();
    QWindow* window = w.dlg.windowHandle();
    QTest::mousePress(window, Qt::LeftButton, {}, QPoint(300, 340)); // background
    QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(300, 340));
    QTest::mousePress(window, Qt::LeftButton, {}, QPoint(60, 152)); // "File path"
    QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(60, 152));
    QTest::mousePress(window, Qt::LeftButton, {}, QPoint(120, 170)); // size value
    QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(120, 170));
    EXPECT_EQ(w.dlg.moves, 3);
    QTest::mousePress(window, Qt::LeftButton, {}, QPoint(250, 300)); // folder button
    QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(400, 380));
    EXPECT_EQ(w.dlg.moves, 3);
}

TEST(CKestrelDlgSkin, ButtonClicksRunTheirCommands) {
    ShownWindow w;
    QString seen;
    QTimer::singleShot(0, [&seen] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            seen = modal->metaObject()->className();
            modal->close();
        }
    });
    QTest::mouseClick(&w.dlg.button(skin::QuestionButton), Qt::LeftButton);
    EXPECT_EQ(seen, "CAboutDlg");
    QTest::mouseClick(&w.dlg.button(skin::MinimizeButton), Qt::LeftButton);
    EXPECT_TRUE(w.dlg.windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(w.dlg.Ended());
    QTest::mouseClick(&w.dlg.button(skin::CloseButton), Qt::LeftButton);
    EXPECT_TRUE(w.dlg.Ended()); // no task: no question
}

TEST(CKestrelDlgSkin, PauseButtonSwitchesLookAndTipAndShowsItAtOnce) {
    ShownWindow w;
    CHoverButton& pause = w.dlg.button(skin::PauseButton);
    auto shownAt = [&](int id) {
        const QImage image = OnScreen(&w.dlg);
        const QImage picture = SkinPicture::Load(id).forRatio(1.0).toImage();
        return At(image, 109 + 5, 292 + 15) == picture.pixelColor(5, 15) &&
               At(image, 109 + 46, 292 + 4) == picture.pixelColor(46, 4);
    };
    EXPECT_TRUE(shownAt(163));
    w.dlg.SetPauseButtonLook(SkinDlg::PauseLook::Resume);
    EXPECT_EQ(pause.toolTip(), "Resume");
    EXPECT_TRUE(shownAt(167)) << "switched without waiting for the pointer";
    w.dlg.EnablePauseButton(false);
    EXPECT_TRUE(shownAt(168));
    w.dlg.EnablePauseButton(true);
    w.dlg.SetPauseButtonLook(SkinDlg::PauseLook::Pause);
    EXPECT_EQ(pause.toolTip(), "Pause");
    EXPECT_TRUE(shownAt(163));
}

TEST(CKestrelDlgSkin, RefreshWithAnInvalidTaskChangesNothing) {
    ShownWindow w;
    w.showValues();
    w.dlg.RefreshStatus(); // the real task: no torrent yet
    StandInTask task;
    task.valid = false;
    task.downloading = {true};
    w.dlg.Refresh(task);
    EXPECT_EQ(Text(w.dlg, skin::SizeValue), "");
    EXPECT_EQ(Text(w.dlg, skin::PercentValue), "");
    EXPECT_EQ(w.dlg.progress().GetPos(), 50);
}

TEST(CKestrelDlgSkin, DownloadingBranchShowsTheLiveFigures) {
    ShownWindow w;
    w.showValues();
    w.dlg.SetListenPort(23456);
    StandInTask task;
    task.downloading = {true};
    task.done = 10485760;
    task.size = 2147483648LL;
    task.rate = 2000;
    task.left = RemainingTime{0, 8, 20};
    task.peers = 12;
    task.percent = 37;
    w.dlg.Refresh(task);
    EXPECT_EQ(Text(w.dlg, skin::SizeValue), " : 10.00 MB / 2.00 GB");
    EXPECT_EQ(Text(w.dlg, skin::RateValue), " : 1.95 KB/s - About 8m 20s Remains");
    EXPECT_EQ(Text(w.dlg, skin::PeerValue), " : 12 peers (Listen port : 23456)");
    EXPECT_EQ(Text(w.dlg, skin::PercentValue), "37%");
    EXPECT_EQ(w.dlg.progress().GetPos(), 37);

    // Once the listen port is closed the next refresh drops it.
    w.dlg.SetListenPort(0);
    task.downloading = {true};
    w.dlg.Refresh(task);
    EXPECT_EQ(Text(w.dlg, skin::PeerValue), " : 12 peers");
}

TEST(CKestrelDlgSkin, CheckingBranchFollowsTheFirstFile) {
    ShownWindow w;
    w.showValues();
    w.dlg.SetListenPort(23456);
    StandInTask task;
    task.checking = {true};
    task.done = 500;
    task.size = 734003200;
    task.rate = 9999;
    task.peers = 7;
    task.files = {0.4271f, 1.0f};
    w.dlg.Refresh(task);
    EXPECT_EQ(Text(w.dlg, skin::SizeValue), " : 0.00 B / 700.00 MB");
    EXPECT_EQ(Text(w.dlg, skin::RateValue), " : 0.00 B/s");
    EXPECT_EQ(Text(w.dlg, skin::PeerValue), " : 0 peers (Listen port : 23456)");
    EXPECT_EQ(Text(w.dlg, skin::PercentValue), "42%"); // truncated, not rounded
    EXPECT_EQ(w.dlg.progress().GetPos(), 42);
}

TEST(CKestrelDlgSkin, BranchesAreAskedOneAfterTheOther) {
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
    w.dlg.Refresh(task);
    EXPECT_EQ(Text(w.dlg, skin::SizeValue), " : 1.00 MB / 1.00 MB");
    EXPECT_EQ(Text(w.dlg, skin::RateValue), " : 0.00 B/s - About 0m 0s Remains");
    EXPECT_EQ(Text(w.dlg, skin::PeerValue), " : 3 peers");
    EXPECT_EQ(Text(w.dlg, skin::PercentValue), "100%");
    EXPECT_EQ(w.dlg.progress().GetPos(), 100);
    EXPECT_EQ(task.sizeReads, 2) << "each branch asks afresh";

    // A state change between the reads lets a tick pass no branch: the texts keep their
    // content, and the four areas are still repainted.
    w.dlg.painted = QRegion();
    QApplication::processEvents();
    w.dlg.painted = QRegion();
    StandInTask none;
    w.dlg.Refresh(none);
    QApplication::processEvents();
    EXPECT_EQ(Text(w.dlg, skin::PercentValue), "100%");
    for (const QRect& area : skin::kStatusRepaintRects) {
        EXPECT_TRUE(w.dlg.painted.contains(area)) << area.x() << "," << area.y();
    }
    EXPECT_FALSE(w.dlg.painted.contains(QRect(300, 300, 10, 10)));
}

TEST(CKestrelDlgSkin, CompleteBranchShowsAFullBarAndNoRate) {
    ShownWindow w;
    w.showValues();
    StandInTask task;
    task.complete = {true};
    task.done = task.size = 5368709120LL;
    task.rate = 123456;
    task.peers = 4;
    w.dlg.Refresh(task);
    EXPECT_EQ(Text(w.dlg, skin::SizeValue), " : 5.00 GB / 5.00 GB");
    EXPECT_EQ(Text(w.dlg, skin::RateValue), " : 0.00 B/s");
    EXPECT_EQ(Text(w.dlg, skin::PercentValue), "100%");
    const QImage image = OnScreen(&w.dlg);
    EXPECT_EQ(At(image, 41, 232), QColor(222, 115, 0));
    EXPECT_EQ(At(image, 426, 244), QColor(255, 205, 0));
}

TEST(CKestrelDlgSkin, ShorterStatusTextsLeaveNoRemains) {
    ShownWindow w;
    w.showValues();
    StandInTask longer;
    longer.downloading = {true};
    longer.done = 1073741823;
    longer.size = 2147483648LL;
    longer.rate = 1048575;
    longer.left = RemainingTime{65534, 59, 59};
    w.dlg.Refresh(longer);
    const QImage before = OnScreen(&w.dlg);
    StandInTask shorter;
    shorter.downloading = {true};
    w.dlg.Refresh(shorter);
    const QImage after = OnScreen(&w.dlg);
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

// Pictures of the window for a person to look at, under <build>/screenshots.
TEST(Screenshots, MainWindowInEachStateAndTheAboutBox) {
    ShownWindow w;
    SaveScreenshot(w.dlg.grab().toImage(), "main-before-start");

    w.showValues();
    w.dlg.SetListenPort(23456);
    w.dlg.EnablePauseButton(false);
    StandInTask checking;
    checking.checking = {true};
    checking.size = 7516192768LL;
    checking.files = {0.23f};
    w.dlg.Refresh(checking);
    SaveScreenshot(w.dlg.grab().toImage(), "main-checking");

    w.dlg.EnablePauseButton(true);
    StandInTask downloading;
    downloading.downloading = {true};
    downloading.done = 2791728742LL;
    downloading.size = 7516192768LL;
    downloading.rate = 3355443;
    downloading.left = RemainingTime{0, 23, 28};
    downloading.peers = 38;
    downloading.percent = 37;
    w.dlg.Refresh(downloading);
    SaveScreenshot(w.dlg.grab().toImage(), "main-downloading");

    w.dlg.SetPauseButtonLook(SkinDlg::PauseLook::Resume);
    downloading.downloading = {true};
    downloading.rate = 0;
    downloading.left = RemainingTime{0xFFFF, 0xFFFF, 0xFFFF};
    downloading.peers = 0;
    w.dlg.Refresh(downloading);
    SaveScreenshot(w.dlg.grab().toImage(), "main-paused");

    w.dlg.SetPauseButtonLook(SkinDlg::PauseLook::Pause);
    w.dlg.EnablePauseButton(false);
    StandInTask complete;
    complete.complete = {true};
    complete.done = complete.size = 7516192768LL;
    complete.peers = 12;
    w.dlg.Refresh(complete);
    SaveScreenshot(w.dlg.grab().toImage(), "main-complete");

    CAboutDlg about(&w.dlg);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    SaveScreenshot(about.grab().toImage(), "about");
}
