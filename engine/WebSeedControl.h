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
    // The library reported that a web seed failed. The library keeps a failed web seed listed
    // but never asks it again (an error status marks its file missing for good, a failed
    // lookup waits half an hour), so it is taken off the torrent, and the restore rule puts
    // the web seed back, fresh, at its next look: one attempt a look while it keeps failing.
    // A failing URL other than the web seed's own (where it redirected to) takes the web seed
    // off with it, since the redirect left the web seed's own entry without the file.
    void OnWebSeedFailed(const QString& failedUrl);

private:
    DownloadTask& task_;
    QString url_;
};
