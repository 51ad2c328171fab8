#pragma once

// The runner of the engine's swarm cases: an engine set up as the program sets it up, its
// torrent, and the pump of its events, which keeps every event and reacts to a file error as
// the window does.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

#include <QString>

#include "engine/DownloadEngine.h"
#include "engine/DownloadTask.h"
#include "engine/EngineEvent.h"
#include "engine/SessionSetup.h"
#include "support/WaitFor.h"

struct EngineRun {
    DownloadEngine engine{12, "VrtTorrent"};
    DownloadTask task;
    std::uint16_t port = 0; // 0 when no port could be opened
    std::vector<EngineEvent> events;

    // The port is drawn from portSeed.
    explicit EngineRun(std::uint32_t portSeed) { port = SetUpSession(engine, portSeed); }

    bool add(const std::vector<char>& torrent, const std::filesystem::path& folder) {
        const bool added = engine.AddTorrentFromBuffer(
            torrent.data(), torrent.size(), QString::fromStdString(folder.string()), task);
        ApplyTorrentLimits(task);
        return added;
    }

    void pump() {
        EngineEvent e;
        while (engine.NextEngineEvent(e)) {
            if (e.code == EngineEvent::Code::FileError) {
                task.PauseAfterFileError();
            }
            events.push_back(e);
        }
    }
    int count(EngineEvent::Code code) const {
        return static_cast<int>(std::count_if(events.begin(), events.end(),
                                              [code](const auto& e) { return e.code == code; }));
    }

    // Pumps until done holds; the deadline only bounds a failing test.
    bool until(const std::function<bool()>& done,
               std::chrono::milliseconds deadline = std::chrono::seconds(120)) {
        return waitFor(
            [&] {
                pump();
                return done();
            },
            deadline);
    }
    bool untilEvent(EngineEvent::Code code) {
        return until([&] { return count(code) > 0; });
    }
    // Pumps until the torrent reports paused and has no connection left, so that no block
    // arrives after it, then once more for the file errors of writes already under way; false
    // when no pause came.
    bool pauseSettles() {
        const bool paused = until(
            [&] { return count(EngineEvent::Code::TorrentPaused) > 0 && task.peerCount() == 0; });
        pump();
        return paused;
    }
};
