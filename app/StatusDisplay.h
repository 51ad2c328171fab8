#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QString>

#include "engine/DownloadTask.h"

class CSkinControls;

// The status lines of the main window: size, rate with the time left, peers with the listen
// port, the percentage and its bar, and the file path line.
class StatusDisplay {
public:
    explicit StatusDisplay(CSkinControls& skin) : skin_(skin) {}

    // The port the peers line names; 0 when the engine does not listen.
    void SetListenPort(quint16 port) { listenPort_ = port; }
    quint16 ListenPort() const { return listenPort_; }

    // One refresh against anything that answers the task's inquiries. Every figure is its own
    // fresh inquiry and the three branches are tested one after the other: a state change
    // between two reads may run none of them, or two.
    template <typename Task>
    void RefreshStatus(const Task& task) {
        if (!task.isValid()) {
            return;
        }
        if (task.isChecking()) {
            ShowSizeLine(0, static_cast<std::uint64_t>(task.totalSize()));
            ShowRateLine(0, task.remainingTime());
            ShowPeersLine(0);
            // The percentage follows the first file's check; a torrent always has one file.
            const std::vector<float> progress = task.fileProgress();
            ShowPercent(progress.empty() ? 0 : static_cast<int>(progress.front() * 100.0));
        }
        if (task.isDownloading()) {
            ShowSizeLine(static_cast<std::uint64_t>(task.totalDone()),
                         static_cast<std::uint64_t>(task.totalSize()));
            ShowRateLine(task.downloadRate(), task.remainingTime());
            ShowPeersLine(task.peerCount());
            ShowPercent(task.percentDone());
        }
        if (task.isComplete()) {
            ShowSizeLine(static_cast<std::uint64_t>(task.totalDone()),
                         static_cast<std::uint64_t>(task.totalSize()));
            ShowRateLine(0, task.remainingTime());
            ShowPeersLine(task.peerCount());
            ShowPercent(100);
        }
        InvalidateStatusAreas();
    }

    // The line writers; each writes its label, which repaints the area under its old text.
    void ShowSizeLine(std::uint64_t done, std::uint64_t total);
    void ShowRateLine(std::uint32_t rate, std::optional<RemainingTime> left);
    void ShowPeersLine(int count);
    void ShowPercent(int percent);
    // Written once, when the torrent has been added.
    void ShowFilePath(const QString& folder, const QString& name);

private:
    void InvalidateStatusAreas();

    CSkinControls& skin_;
    quint16 listenPort_ = 0;
};
