#pragma once

#include <QString>

#include "engine/PeerSnapshot.h"

class DownloadTask;

// The publisher's web seed: held to 80 KiB/s, taken away when the swarm brings enough on its
// own and given back when the download is slow again. Runs on the window's thread, from its
// timers.
class WebSeedControl {
public:
    explicit WebSeedControl(DownloadTask& task) : task_(task) {}

    // From the download check.
    void SetWebSeedUrl(QString url) { url_ = std::move(url); }
    const QString& webSeedUrl() const { return url_; }

    // The first web seed connection among the torrent's peers.
    bool FindWebSeedPeer(PeerSnapshot& out) const;
    // Timer 111: a web seed connection not yet held to the web seed limit is held to it.
    void CapWebSeedRate();
    // Timer 112: a torrent without any web seed gets it back while the download is slow.
    void RestoreWebSeed();
    // Timer 113: the web seed goes once the swarm brings enough besides it.
    void DropWebSeed();

private:
    DownloadTask& task_;
    QString url_;
};
