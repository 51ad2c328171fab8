#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QString>

#include "engine/PeerSnapshot.h"

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
    // The peers connected at this moment, in the library's order.
    std::vector<PeerSnapshot> peers() const;
    // The torrent's web seed URLs.
    std::vector<QString> urlSeeds() const;

    // Operations; each does nothing on an invalid handle.
    void Pause();
    // Also clears a file error and retries the disk, so a disk that still fails reports
    // once per resume.
    void Resume();
    // Announces to the tracker again after `seconds`, whatever interval the tracker asked
    // for.
    void ForceReannounce(int seconds);
    // Leads to a connection attempt to this endpoint now, also when earlier attempts failed.
    void ConnectPeer(const std::string& address, std::uint16_t port);
    // Closes the torrent's connection to this endpoint, if there is one.
    void DisconnectPeer(const std::string& address, std::uint16_t port);
    // From now until the next call, BitTorrent connections to these endpoints are refused and
    // the open ones closed (one coming in from such an address is refused whatever its port).
    // Trackers and web seeds on the same addresses are untouched.
    void KeepPeersOut(const std::vector<PeerEndpoint>& endpoints);
    std::vector<PeerEndpoint> keptOutPeers() const;
    // Web seeds come and go by URL; removing one also closes its connection.
    void AddUrlSeed(const QString& url);
    void RemoveUrlSeed(const QString& url);
    // Holds every web seed connection to this limit from its start, the later ones included;
    // the web seed connection open at this endpoint is closed when it started unheld, so that
    // it comes back under the limit.
    void SetPeerDownloadLimit(const std::string& address, std::uint16_t port, int bytesPerSecond);
    // Per-torrent limits; -1 is no limit.
    void SetMaxConnections(int connections);
    void SetDownloadLimit(int bytesPerSecond);
    void SetMaxUploads(int uploadSlots);
    void SetUploadLimit(int bytesPerSecond);

    // Stops the torrent after the file error it reported. The library only switches it to
    // upload mode on a full or read-only disk; every file error leaves it paused, so the
    // window shows it stopped. Does nothing on an invalid handle.
    void PauseAfterFileError();

    // The library objects behind the task, defined in engine/'s private header.
    struct Impl;

private:
    friend class DownloadEngine;
    friend struct EngineInternals;
    std::unique_ptr<Impl> impl_;
};
