#include "engine/SessionSetup.h"

#include "engine/DownloadEngine.h"
#include "engine/DownloadTask.h"

namespace {
constexpr int kMaxUploads = 60;
constexpr int kMaxConnections = 70;
constexpr int kNoSessionRateLimit = 0;
constexpr int kNoTorrentLimit = -1;
} // namespace

std::uint16_t SetUpSession(DownloadEngine& engine, std::uint32_t portSeed) {
    engine.ApplySessionSettings();
    std::uint16_t port = engine.OpenListenPort(portSeed);
    if (engine.IsListening()) {
        engine.StartUpnp();
        engine.StartLsd();
        engine.StartEngineServices();
        engine.StartNatpmp();
    } else {
        port = 0;
    }
    engine.SetMaxUploads(kMaxUploads);
    engine.SetUploadRateLimit(kNoSessionRateLimit);
    engine.SetMaxConnections(kMaxConnections);
    engine.SetDownloadRateLimit(kNoSessionRateLimit);
    return port;
}

void ApplyTorrentLimits(DownloadTask& task) {
    task.SetMaxConnections(kMaxConnections);
    task.SetDownloadLimit(kNoTorrentLimit);
    task.SetMaxUploads(kMaxUploads);
    task.SetUploadLimit(kNoTorrentLimit);
}
