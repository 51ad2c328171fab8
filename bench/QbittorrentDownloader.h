#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

namespace httplib {
class Client;
}

// qbittorrent-nox as a downloader, driven through its web API: one process for all runs, a
// profile folder of its own, the legal notice accepted and no web login from loopback.
class QbittorrentDownloader {
public:
    QbittorrentDownloader(const std::filesystem::path& profile, int webPort, int peerPort);
    ~QbittorrentDownloader();
    QbittorrentDownloader(const QbittorrentDownloader&) = delete;
    QbittorrentDownloader& operator=(const QbittorrentDownloader&) = delete;

    static bool available();
    std::string version();
    pid_t pid() const { return pid_; }

    void add(const std::vector<char>& torrent, const std::filesystem::path& saveFolder);
    // It has run its on-finished program. (Its web API refreshes torrent states only every
    // 1.5 s, too coarse to time a download of a few seconds.)
    bool isComplete() const;
    // Removes the torrent and its files, and waits until it is gone.
    void remove();

private:
    pid_t pid_ = -1;
    std::filesystem::path finishedFlag_;
    std::unique_ptr<httplib::Client> client_;
};
