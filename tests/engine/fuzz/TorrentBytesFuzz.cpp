// libFuzzer entry point: torrent bytes, as the file server sends them, through the engine's
// decode-and-add path under the library's limits, then the task's readings of the torrent.
#include <cstddef>
#include <cstdint>
#include <memory>

#include <QString>
#include <QTemporaryDir>

#include "engine/DownloadEngine.h"
#include "engine/DownloadTask.h"
#include "engine/EngineEvent.h"

namespace {

// Every input that decodes stays in the session; a fresh engine now and then keeps the
// torrent list, and the time each add takes, bounded.
constexpr int kAddsPerEngine = 1000;

struct Harness {
    QTemporaryDir folder;
    std::unique_ptr<DownloadEngine> engine;
    int adds = 0;

    DownloadEngine& current() {
        if (!engine || adds >= kAddsPerEngine) {
            engine.reset();
            engine = std::make_unique<DownloadEngine>(12, QStringLiteral("VrtTorrent"));
            engine->ApplySessionSettings();
            // Added torrents stay paused: nothing is announced, connected or written.
            engine->PauseSession();
            adds = 0;
        }
        return *engine;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Harness harness;
    DownloadEngine& engine = harness.current();
    DownloadTask task;
    if (engine.AddTorrentFromBuffer(reinterpret_cast<const char*>(data), size,
                                    harness.folder.path(), task)) {
        ++harness.adds;
        // What the window reads from the torrent's description. The status inquiries are
        // left out: each is a round trip to the network thread and reads no input.
        (void)task.torrentName();
        (void)task.totalSize();
    }
    EngineEvent event;
    while (engine.NextEngineEvent(event)) {
    }
    return 0;
}
