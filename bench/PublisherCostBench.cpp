// What the publisher pays: a download of a generated set from a swarm that starts slow and
// becomes fast, with two server peers and the web seed, once with the program's rules for its
// own sources and once with every source taken at once, as a general client would take them.
// Prints, per run, the time and the bytes from the swarm, from the server peers and from the
// web seed. Run it through bench/publisher-cost, which puts it in a network namespace.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>

#include <CLI/CLI.hpp>

#include "Publisher.h"
#include "PublisherCheck.h"
#include "SourceTimers.h"
#include "app/PublisherSources.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadTask.h"
#include "engine/EngineEvent.h"
#include "engine/PeerSnapshot.h"
#include "engine/SessionSetup.h"
#include "tools/swarm/Peer.h"
#include "tools/swarm/Tracker.h"
#include "tools/swarm/WaitFor.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

struct Settings {
    std::uint64_t bytes = 256ull << 20;
    int slowSeconds = 60;     // the swarm is one slow seeder this long
    int slowRate = 30 * 1024; // that seeder's upload limit
    int fastSeeders = 3;      // then these join, unlimited
    int serverPeerRate = 1 << 20;
    std::uint64_t webSeedRate = 2 << 20; // what the web seed server allows per connection
    int callInKiB = 100;
    int releaseKiB = 200;
    fs::path work;
};

struct Cost {
    double seconds = -1;
    std::int64_t swarm = 0;
    std::vector<std::int64_t> servers;
    std::uint64_t webSeed = 0;
};

std::unique_ptr<swarm::Peer> MakePeer(const publisher::Publisher& pub, swarm::Peer::Role role,
                                      const std::string& address, int port, int rate,
                                      const fs::path& dir) {
    swarm::Peer::Options o;
    o.role = role;
    o.address = address;
    o.port = port;
    o.uploadRate = rate;
    o.trustData = true;
    o.dataDir = dir / address;
    return std::make_unique<swarm::Peer>(pub.torrent(), pub.contentRoot().parent_path(), o);
}

Cost Run(const Settings& s, bool rules, const fs::path& dir) {
    swarm::Tracker tracker(swarm::Tracker::Options{});
    publisher::PublisherOptions o;
    o.generatedBytes = s.bytes;
    o.workFolder = s.work / "set";
    o.announceUrls = {tracker.announceUrl()};
    o.webSeedHost = "127.0.0.5";
    o.webSeedBytesPerSecond = s.webSeedRate;
    publisher::Publisher pub(o);
    pub.start();
    const std::vector<PeerEndpoint> serverList{{"127.0.0.2", 31000}, {"127.0.0.3", 31000}};
    std::vector<std::unique_ptr<swarm::Peer>> servers, swarm;
    for (const auto& sp : serverList) {
        servers.push_back(
            MakePeer(pub, swarm::Peer::Role::Server, sp.address, sp.port, s.serverPeerRate, dir));
    }
    swarm.push_back(MakePeer(pub, swarm::Peer::Role::Seeder, "127.0.1.1", 0, s.slowRate, dir));
    for (auto* group : {&servers, &swarm}) {
        for (auto& p : *group) {
            swarm::waitFor([&] { return p->isReady(); }, 600s);
        }
    }

    DownloadEngine engine(12, QStringLiteral("VrtTorrent"));
    SetUpSession(engine, static_cast<std::uint32_t>(std::time(nullptr)));
    const QString url = QString::fromStdString(pub.webSeedUrl());
    DownloadTask task;
    PublisherSources sources(task);
    if (rules) {
        sources.SetUp(engine, PublisherCheck(serverList, url, s.callInKiB, s.releaseKiB));
    }
    SourceTimers timers(sources);
    const auto& t = pub.torrent();
    if (!engine.AddTorrentFromBuffer(t.data(), t.size(),
                                     QString::fromStdString((dir / "down").string()), task)) {
        std::fprintf(stderr, "cannot add the torrent\n");
        std::exit(1);
    }
    ApplyTorrentLimits(task);

    const auto start = Clock::now();
    bool checked = false, joined = false;
    Cost cost;
    while (Clock::now() - start < 1200s) {
        std::this_thread::sleep_for(100ms);
        const auto now = Clock::now();
        EngineEvent e;
        while (engine.NextEngineEvent(e)) {
            if (e.code == EngineEvent::Code::TorrentChecked && !checked) {
                checked = true;
                if (rules) {
                    timers.Start(now);
                } else {
                    for (const auto& sp : serverList) {
                        task.ConnectPeer(sp.address, sp.port);
                    }
                    task.AddUrlSeed(url);
                }
            }
        }
        if (!joined && now - start >= std::chrono::seconds(s.slowSeconds)) {
            joined = true;
            for (int i = 0; i < s.fastSeeders; ++i) {
                swarm.push_back(MakePeer(pub, swarm::Peer::Role::Seeder,
                                         "127.0.1." + std::to_string(i + 2), 0, 0, dir));
                swarm.back()->connect("127.0.0.1", engine.SocketPort());
            }
        }
        timers.Tick(now);
        if (task.isComplete()) {
            cost.seconds = std::chrono::duration<double>(now - start).count();
            break;
        }
    }
    for (const auto& p : swarm) {
        cost.swarm += p->totalUploaded();
    }
    for (const auto& p : servers) {
        cost.servers.push_back(p->totalUploaded());
    }
    cost.webSeed = pub.webSeedBytesSent();
    return cost;
}

double MiB(double bytes) {
    return bytes / 1048576.0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Settings s;
    CLI::App cli("What the publisher pays with its rules and with every source at once.",
                 "publisher_cost_bench");
    cli.add_option("--size", s.bytes, "bytes of the file set")->capture_default_str();
    cli.add_option("--slow-seconds", s.slowSeconds, "how long the swarm stays slow")
        ->capture_default_str();
    cli.add_option("--work", s.work, "where the runs put their files (a temporary folder)");
    CLI11_PARSE(cli, argc, argv);
    if (s.work.empty()) {
        std::string pattern = (fs::temp_directory_path() / "kestrel-cost-XXXXXX").string();
        s.work = mkdtemp(pattern.data());
    }
    std::printf("%.0f MiB; swarm: one seeder at %d KiB/s for %d s, then %d unlimited seeders; "
                "server peers at %d KiB/s; web seed server allows %llu KiB/s\n",
                MiB(double(s.bytes)), s.slowRate / 1024, s.slowSeconds, s.fastSeeders,
                s.serverPeerRate / 1024, static_cast<unsigned long long>(s.webSeedRate / 1024));
    std::printf("%-12s %9s %11s %13s %13s %12s %16s\n", "sources", "seconds", "swarm MiB",
                "server-1 MiB", "server-2 MiB", "web seed MiB", "publisher's MiB");
    for (const bool rules : {true, false}) {
        const fs::path dir = s.work / (rules ? "rules" : "all");
        const Cost c = Run(s, rules, dir);
        const double paid = double(c.servers[0] + c.servers[1]) + double(c.webSeed);
        std::printf("%-12s %9.1f %11.1f %13.1f %13.1f %12.1f %16.1f\n",
                    rules ? "rules" : "all at once", c.seconds, MiB(double(c.swarm)),
                    MiB(double(c.servers[0])), MiB(double(c.servers[1])), MiB(double(c.webSeed)),
                    MiB(paid));
        std::fflush(stdout);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::error_code ec;
    fs::remove_all(s.work, ec);
    return 0;
}
