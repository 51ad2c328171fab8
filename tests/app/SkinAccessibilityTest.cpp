#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QTest>

#include "StandInTask.h"
#include "app/StatusDisplay.h"
#include "ui/CSkinWindow.h"
#include "ui/SkinLayout.h"

namespace {

QAccessibleInterface* Of(QWidget& widget) {
    return QAccessible::queryAccessibleInterface(&widget);
}

struct SkinnedWindow {
    CSkinWindow window;
    StatusDisplay status{window.Skin()};
    SkinnedWindow() {
        skin().CreateSkinControls([](int) {});
        skin().ShowValueControls();
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    CSkinControls& skin() { return window.Skin(); }
};

} // namespace

// A screen reader walking the window from its top finds every button by name, as a button.
TEST(SkinAccessibility, ButtonsAreNamedAndDescribedPushButtons) {
    SkinnedWindow w;
    QAccessibleInterface* top = Of(w.window);
    ASSERT_NE(top, nullptr);
    std::map<QString, QAccessibleInterface*> buttons;
    for (int i = 0; i < top->childCount(); ++i) {
        QAccessibleInterface* child = top->child(i);
        if (child->role() == QAccessible::Button) {
            buttons[child->text(QAccessible::Name)] = child;
        }
    }
    const std::map<QString, QString> expected{
        {"Pause", "Pauses the download"},
        {"Show folder", "Opens the folder the download is saved in"},
        {"Minimise", "Minimises the window; the download goes on"},
        {"Close", "Closes the program"},
        {"About", "Shows the program's version"},
    };
    ASSERT_EQ(buttons.size(), expected.size());
    for (const auto& [name, description] : expected) {
        ASSERT_TRUE(buttons.count(name)) << name.toStdString();
        EXPECT_EQ(buttons[name]->text(QAccessible::Description), description) << name.toStdString();
    }
}

TEST(SkinAccessibility, PauseButtonIsNamedForWhatItsLookSays) {
    SkinnedWindow w;
    QAccessibleInterface* pause = Of(w.skin().button(skin::PauseButton));
    w.skin().SetPauseButtonLook(CSkinControls::PauseLook::Resume);
    EXPECT_EQ(pause->text(QAccessible::Name), "Resume");
    EXPECT_EQ(pause->text(QAccessible::Description), "Resumes the download");
    w.skin().SetPauseButtonLook(CSkinControls::PauseLook::Pause);
    EXPECT_EQ(pause->text(QAccessible::Name), "Pause");
    EXPECT_EQ(pause->text(QAccessible::Description), "Pauses the download");
}

// The values are static text read whole, each beside its caption; the bar is a progress bar with
// its value. A screen reader asking again after a refresh hears the new figures. (Qt passes the
// change events on only to an assistive bridge, which the offscreen platform has not.)
TEST(SkinAccessibility, ValuesPercentageAndBarExposeWhatTheyShowAsItChanges) {
    SkinnedWindow w;
    StandInTask task;
    task.downloading = {true};
    task.done = 3 * 1024 * 1024;
    task.size = 7 * 1024 * 1024;
    task.peers = 4;
    task.percent = 42;
    const QString folder = QStringLiteral("/home/player/Games/") + QString(200, QLatin1Char('x'));
    w.status.ShowFilePath(folder, QStringLiteral("Emberway Full Installer"));
    w.status.RefreshStatus(task);

    CSkinLabel& path = w.skin().label(skin::PathValue);
    QAccessibleInterface* pathIface = Of(path);
    EXPECT_EQ(pathIface->role(), QAccessible::StaticText);
    // The whole path, though the label shows it cut with an ellipsis.
    EXPECT_NE(path.shownText(), path.text());
    EXPECT_EQ(pathIface->text(QAccessible::Name), path.text());
    EXPECT_EQ(pathIface->text(QAccessible::Description), "File path");
    for (const auto& [value, caption] :
         std::vector<std::pair<skin::Label, QString>>{{skin::SizeValue, "File size"},
                                                      {skin::RateValue, "Down rate"},
                                                      {skin::PeerValue, "Peer"}}) {
        CSkinLabel& label = w.skin().label(value);
        EXPECT_FALSE(label.text().isEmpty()) << caption.toStdString();
        EXPECT_EQ(Of(label)->text(QAccessible::Name), label.text()) << caption.toStdString();
        EXPECT_EQ(Of(label)->text(QAccessible::Description), caption);
    }

    CSkinLabel& percent = w.skin().label(skin::PercentValue);
    CBitmapProgress& bar = w.skin().progressBar();
    EXPECT_EQ(Of(percent)->text(QAccessible::Name), "42%");
    EXPECT_EQ(Of(percent)->text(QAccessible::Description), "Percent done");
    QAccessibleInterface* barIface = Of(bar);
    EXPECT_EQ(barIface->role(), QAccessible::ProgressBar);
    EXPECT_EQ(barIface->text(QAccessible::Name), "Download progress");
    ASSERT_NE(barIface->valueInterface(), nullptr);
    EXPECT_EQ(barIface->valueInterface()->currentValue().toInt(), 42);
    EXPECT_EQ(barIface->valueInterface()->maximumValue().toInt(), 100);

    task.downloading = {true};
    task.percent = 43;
    w.status.RefreshStatus(task);
    EXPECT_EQ(Of(percent)->text(QAccessible::Name), "43%");
    EXPECT_EQ(barIface->valueInterface()->currentValue().toInt(), 43);
    const QString size = Of(w.skin().label(skin::SizeValue))->text(QAccessible::Name);
    task.done += 1024 * 1024;
    task.downloading = {true};
    w.status.RefreshStatus(task);
    EXPECT_NE(Of(w.skin().label(skin::SizeValue))->text(QAccessible::Name), size);
}
