#include "engine/DownloadTask.h"

// Until a torrent is added the task is empty: every inquiry gives its invalid-handle answer.
struct DownloadTask::Impl {};

DownloadTask::DownloadTask() = default;
DownloadTask::~DownloadTask() = default;
DownloadTask::DownloadTask(DownloadTask&&) noexcept = default;
DownloadTask& DownloadTask::operator=(DownloadTask&&) noexcept = default;

bool DownloadTask::isValid() const {
    return false;
}
int DownloadTask::percentDone() const {
    return 0;
}
std::uint32_t DownloadTask::downloadRate() const {
    return 0;
}
std::uint32_t DownloadTask::uploadRate() const {
    return 0;
}
std::int64_t DownloadTask::totalDone() const {
    return 0;
}
std::int64_t DownloadTask::totalUploaded() const {
    return 0;
}
std::int64_t DownloadTask::totalSize() const {
    return 0;
}
int DownloadTask::peerCount() const {
    return 0;
}
std::optional<RemainingTime> DownloadTask::remainingTime() const {
    return std::nullopt;
}
bool DownloadTask::isPaused() const {
    return true;
}
bool DownloadTask::isChecking() const {
    return false;
}
bool DownloadTask::isDownloading() const {
    return false;
}
bool DownloadTask::isComplete() const {
    return false;
}
QString DownloadTask::torrentName() const {
    return {};
}
QString DownloadTask::savePath() const {
    return {};
}
std::vector<float> DownloadTask::fileProgress() const {
    return {};
}
