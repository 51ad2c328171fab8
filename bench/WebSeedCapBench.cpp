// The web seed's cap over time: the publisher's web seed alone feeds the engine, which holds it
// to 80 KiB/s as the window does (timer 111 every 700 ms). Four runs side by side, each with a
// fresh engine and folder: the baseline without the cap, the cap from the first connection
// (measured once the flow has settled, and once from the moment the web seed is given back,
// which counts what the server sends ahead into the receive buffer), and the cap put on a
// connection that was already running (it is closed and comes back held). Prints, per run,
// what the web seed's server sent: KiB/s over the measured span and the fullest 5 s, and both
// as a ratio of the cap. Run it through bench/web-seed-cap, which
// puts it in a network namespace.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <QCoreApplication>

#include <CLI/CLI.hpp>

#include "Publisher.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadTask.h"
#include "engine/EngineEvent.h"
#include "engine/SessionSetup.h"
#include "engine/WebSeedControl.h"
#include "engine/WebSeedRules.h"
#include "tools/swarm/WaitFor.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

enum class Cap { None, FromTheStart, OnARunningConnection };

struct Figures {
    double meanKiB = 0;
    double worstKiB = 0;
};

// KiB/s over [from, to) and in its fullest 5 s, from the server's chunk-by-chunk record.
Figures Measure(const std::vector<publisher::FlowSample>& flow, Clock::time_point from,
                Clock::time_point to) {
    std::vector<publisher::FlowSample> inside;
    std::copy_if(flow.begin(), flow.end(), std::back_inserter(inside),
                 [&](const auto& s) { return s.at >= from && s.at < to; });
    Figures f;
    std::uint64_t total = 0;
    for (const auto& s : inside) {
        total += s.bytes;
    }
    f.meanKiB = total / std::chrono::duration<double>(to - from).count() / 1024;
    f.worstKiB = publisher::FullestSpan(inside, 5s) / 5.0 / 1024;
    return f;
}

// One run: the engine set up as the program sets it up, the web seed given back by the
// control, then `seconds` measured after `settle` seconds, the cap ticked as timer 111 does.
// With no settling the span starts as the web seed is given back.
Figures Run(const publisher::Publisher& pub, const fs::path& folder, Cap cap, int settle,
            int seconds) {
    DownloadEngine engine(12, "VrtTorrent");
    SetUpSession(engine, static_cast<std::uint32_t>(std::rand()));
    if (cap == Cap::FromTheStart) {
        engine.HoldWebSeeds(kWebSeedDownloadLimit);
    }
    DownloadTask task;
    const auto& t = pub.torrent();
    if (!engine.AddTorrentFromBuffer(t.data(), t.size(), QString::fromStdString(folder.string()),
                                     task)) {
        std::fprintf(stderr, "the torrent was refused\n");
        std::exit(1);
    }
    ApplyTorrentLimits(task);
    swarm::waitFor(
        [&] {
            EngineEvent e;
            bool checked = false;
            while (engine.NextEngineEvent(e)) {
                checked = checked || e.code == EngineEvent::Code::TorrentChecked;
            }
            return checked;
        },
        60s);
    WebSeedControl web(task);
    web.SetWebSeedUrl(QString::fromStdString(pub.webSeedUrl()));
    const auto restored = Clock::now();
    web.RestoreWebSeed();
    PeerSnapshot seed;
    swarm::waitFor([&] { return web.FindWebSeedPeer(seed) && seed.downRate > 0; }, 60s);
    const auto tick = [&] {
        if (cap != Cap::None) {
            web.CapWebSeedRate();
        }
        std::this_thread::sleep_for(700ms);
    };
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::seconds(settle)) {
        tick();
    }
    const auto from = settle == 0 ? restored : Clock::now();
    while (Clock::now() - from < std::chrono::seconds(seconds)) {
        tick();
    }
    return Measure(pub.webSeedFlow(), from, Clock::now());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::uint64_t bytes = 64ull << 20;
    int seconds = 30;
    CLI::App cli("How the web seed's cap holds from the first byte.", "web_seed_cap_bench");
    cli.add_option("--size", bytes, "bytes of the file set")->capture_default_str();
    cli.add_option("--seconds", seconds, "how long to measure")->capture_default_str();
    CLI11_PARSE(cli, argc, argv);
    const fs::path work =
        fs::temp_directory_path() / ("web-seed-cap-" + std::to_string(::getpid()));
    publisher::PublisherOptions o;
    o.generatedBytes = bytes;
    o.workFolder = work / "publisher";
    o.pieceSize = 256 * 1024;
    o.webSeedHost = "127.0.0.5";
    o.webSeedBytesPerSecond = 300 * 1024; // what the server allows per connection
    publisher::Publisher pub(o);
    pub.start();

    const double cap = kWebSeedDownloadLimit / 1024.0;
    std::printf("web seed alone, server allows 300 KiB/s per connection; cap %.0f KiB/s; "
                "%d s measured\n",
                cap, seconds);
    std::printf("%-26s %10s %12s %10s %12s\n", "run", "KiB/s", "worst 5 s", "/cap", "worst/cap");
    const struct {
        const char* name;
        Cap cap;
        int settle;
    } runs[] = {{"no cap (baseline)", Cap::None, 5},
                {"cap from the start", Cap::FromTheStart, 5},
                {"cap, from the first byte", Cap::FromTheStart, 0},
                {"cap on a running one", Cap::OnARunningConnection, 4}};
    int n = 0;
    for (const auto& r : runs) {
        const Figures f = Run(pub, work / ("down" + std::to_string(n++)), r.cap, r.settle, seconds);
        std::printf("%-26s %10.1f %12.1f %10.2f %12.2f\n", r.name, f.meanKiB, f.worstKiB,
                    f.meanKiB / cap, f.worstKiB / cap);
        std::fflush(stdout);
    }
    pub.stop();
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return 0;
}
