#pragma once

#include <optional>

#include <QString>

class Desktop;

// What the window shows of the download outside itself: the whole percentage on its taskbar
// entry while downloading, taken off at completion and at close, and one notification when the
// download completes while the player looks at another window.
class DesktopStatus {
public:
    explicit DesktopStatus(Desktop& desktop) : desktop_(desktop) {}

    // From the status refresh. A desktop repaints the entry for every signal: only a change of
    // the whole percentage is sent, at most 100 times over a whole download.
    template <typename Task>
    void Refresh(const Task& task) {
        if (task.isValid() && task.isDownloading() && !finished_) {
            ShowPercent(task.percentDone());
        }
    }
    void ShowPercent(int percent);
    // The download is complete; windowActive says whether the player is looking at the window.
    // Only the first call counts.
    void Finished(bool windowActive);
    void Closing();

    static QString CompleteSummary();
    static QString CompleteBody();

private:
    void Clear();

    Desktop& desktop_;
    // The percentage on the taskbar entry; none when nothing shows.
    std::optional<int> shown_;
    bool finished_ = false;
};
