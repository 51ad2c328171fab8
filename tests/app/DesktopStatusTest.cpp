#include "app/DesktopStatus.h"

#include <gtest/gtest.h>

#include "RecordingDesktop.h"
#include "StandInTask.h"

namespace {
constexpr int kCleared = RecordingDesktop::kCleared;

// One refresh of a downloading task at percent.
void RefreshAt(DesktopStatus& status, StandInTask& task, int percent) {
    task.percent = percent;
    task.downloading = {true};
    status.Refresh(task);
}
} // namespace

TEST(DesktopStatus, SendsOnlyChangesOfTheWholePercentageWhileDownloading) {
    RecordingDesktop desktop;
    DesktopStatus status(desktop);
    StandInTask task;

    task.downloading = {false}; // checking: nothing on the entry yet
    status.Refresh(task);
    for (int percent : {0, 0, 1, 1, 1, 2, 57, 57, 99}) {
        RefreshAt(status, task, percent);
    }
    task.valid = false;
    RefreshAt(status, task, 100);

    EXPECT_EQ(desktop.progress, (std::vector<int>{0, 1, 2, 57, 99}));
    EXPECT_TRUE(desktop.notices.empty());
}

TEST(DesktopStatus, CompletionInTheBackgroundClearsTheEntryAndNotifiesOnce) {
    RecordingDesktop desktop;
    DesktopStatus status(desktop);
    StandInTask task;
    RefreshAt(status, task, 98);

    status.Finished(false);
    status.Finished(false);
    RefreshAt(status, task, 100); // a refresh after the end shows nothing again
    status.Closing();

    EXPECT_EQ(desktop.progress, (std::vector<int>{98, kCleared}));
    EXPECT_EQ(desktop.notices,
              std::vector<QString>{"Download complete / The game installer has been downloaded."});
}

TEST(DesktopStatus, CompletionInFrontOfThePlayerOnlyClearsTheEntry) {
    RecordingDesktop desktop;
    DesktopStatus status(desktop);
    StandInTask task;
    RefreshAt(status, task, 40);

    status.Finished(true);
    status.Finished(false); // a later finish, say after a recheck, is no new completion

    EXPECT_EQ(desktop.progress, (std::vector<int>{40, kCleared}));
    EXPECT_TRUE(desktop.notices.empty());
}

TEST(DesktopStatus, CloseClearsAShownEntryOnly) {
    RecordingDesktop desktop;
    DesktopStatus status(desktop);
    status.Closing(); // closed before any download: nothing was shown, nothing to take off
    EXPECT_TRUE(desktop.progress.empty());

    StandInTask task;
    RefreshAt(status, task, 12);
    status.Closing();
    EXPECT_EQ(desktop.progress, (std::vector<int>{12, kCleared}));
}
