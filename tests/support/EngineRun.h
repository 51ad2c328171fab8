#pragma once

// The runner of the engine's swarm cases: an engine set up as the program sets it up, its
// torrent, and the pump of its events, which reacts to a file error as the window does, then
// keeps the event and calls the test's reactions to it (EngineEvents).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <QString>

#include "engine/DownloadEngine.h"
#include "engine/DownloadTask.h"
#include "engine/EngineEvent.h"
#include "engine/SessionSetup.h"
#include "support/EngineEvents.h"
#include "support/WaitFor.h"

// A port seed that follows the run's --gtest_random_seed, offset so that the test programs
// draw apart from each other.
inline std::uint32_t RunSeed(std::uint32_t offset) {
    return static_cast<std::uint32_t>(::testing::UnitTest::GetInstance()->random_seed()) + offset;
}

// Whether the task has a connection to address (and port, unless 0).
inline bool HasPeer(const DownloadTask& task, const std::string& address, std::uint16_t port = 0) {
    const auto peers = task.peers();
    return std::any_of(peers.begin(), peers.end(), [&](const auto& p) {
        return p.address == address && (port == 0 || p.port == port);
    });
}

struct EngineRun : EngineEvents {
    DownloadEngine engine{12, "VrtTorrent"};
    DownloadTask task;
    std::uint16_t port = 0; // 0 when no port could be opened

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
            take(e);
        }
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
        return until([&] { return seen(code); });
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
