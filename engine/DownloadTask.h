#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QString>

// Hours, minutes and seconds left at the live download rate.
struct RemainingTime {
    std::uint16_t hours = 0;
    std::uint16_t minutes = 0;
    std::uint16_t seconds = 0;
};

// The window's handle to the one torrent. Every inquiry is its own fresh status query; on an
// invalid handle (no torrent yet, or the torrent is gone) operations do nothing and inquiries
// return 0, false or empty text, except isPaused, which returns true.
class DownloadTask {
public:
    DownloadTask();
    ~DownloadTask();
    DownloadTask(DownloadTask&&) noexcept;
    DownloadTask& operator=(DownloadTask&&) noexcept;

    bool isValid() const;

    int percentDone() const;
    std::uint32_t downloadRate() const;
    std::uint32_t uploadRate() const;
    std::int64_t totalDone() const;
    std::int64_t totalUploaded() const;
    std::int64_t totalSize() const;
    int peerCount() const;
    // Nothing on an invalid handle; all three 65535 when the download rate is 0.
    std::optional<RemainingTime> remainingTime() const;
    bool isPaused() const;
    bool isChecking() const;
    bool isDownloading() const;
    bool isComplete() const;
    QString torrentName() const;
    QString savePath() const;
    // Each file's progress, 0.0 to 1.0, in the torrent's file order.
    std::vector<float> fileProgress() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};
