#include "support/SwarmFixture.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "support/WaitFor.h"

namespace fs = std::filesystem;

std::vector<swarm::Announce> ProgramAnnounces(const swarm::Tracker& tracker) {
    std::vector<swarm::Announce> out;
    for (const auto& a : tracker.announces()) {
        if (a.peerId.rfind(kProgramPeerId, 0) == 0) {
            out.push_back(a);
        }
    }
    return out;
}

void SwarmTest::SetUp() {
    if (!OnlyLoopback()) {
        GTEST_SKIP() << "needs a network namespace of its own (run through ctest)";
    }
    arrange();
}

std::unique_ptr<swarm::Peer> SwarmTest::peerOf(const std::vector<char>& torrent,
                                               const fs::path& source, swarm::Peer::Role role,
                                               const std::string& address, int uploadRate,
                                               int port) {
    swarm::Peer::Options o;
    o.role = role;
    o.address = address;
    o.port = port;
    o.uploadRate = uploadRate;
    // The set is the publisher's own: checking it first would only cost time.
    o.trustData = role != swarm::Peer::Role::Downloader;
    o.dataDir = temp.path() / ("peer-" + address + "-" + std::to_string(port));
    auto p = std::make_unique<swarm::Peer>(torrent, source, o);
    if (role != swarm::Peer::Role::Downloader) {
        EXPECT_TRUE(waitFor([&] { return p->isReady(); })) << address;
    }
    return p;
}

bool SwarmTest::OpenTo(const swarm::Peer& peer, const std::string& address, int port) {
    const std::string remote = address + ":" + std::to_string(port);
    const auto r = peer.uploads();
    return std::any_of(r.begin(), r.end(),
                       [&](const auto& u) { return u.remote == remote && u.open; });
}

bool SwarmTest::ClosedTo(const swarm::Peer& peer, const std::string& address, int port) {
    const std::string remote = address + ":" + std::to_string(port);
    const auto r = peer.uploads();
    return std::any_of(r.begin(), r.end(),
                       [&](const auto& u) { return u.remote == remote && !u.open; });
}

bool SwarmTest::AnyOpen(const swarm::Peer& peer) {
    const auto r = peer.uploads();
    return std::any_of(r.begin(), r.end(), [](const auto& u) { return u.open; });
}

void PublisherSwarm::startPublisher(
    std::uint64_t bytes, const std::function<void(publisher::PublisherOptions&)>& options) {
    tracker = std::make_unique<swarm::Tracker>(swarm::Tracker::Options{});
    publisher::PublisherOptions o;
    o.generatedBytes = bytes;
    o.workFolder = temp.path() / "publisher";
    o.announceUrls = {tracker->announceUrl()};
    o.pieceSize = 256 * 1024;
    if (options) {
        options(o);
    }
    pub = std::make_unique<publisher::Publisher>(o);
    pub->start();
}

std::unique_ptr<swarm::Peer>
PublisherSwarm::peer(swarm::Peer::Role role, const std::string& address, int uploadRate, int port) {
    return peerOf(pub->torrent(), pub->contentRoot().parent_path(), role, address, uploadRate,
                  port);
}

bool PublisherSwarm::HoldsTheSet(const fs::path& folder) const {
    const auto name = pub->contentRoot().filename();
    for (const auto& f : fs::recursive_directory_iterator(pub->contentRoot())) {
        if (!f.is_regular_file()) {
            continue;
        }
        const auto rel = fs::relative(f.path(), pub->contentRoot());
        std::ifstream a(f.path(), std::ios::binary), b(folder / name / rel, std::ios::binary);
        const std::string x((std::istreambuf_iterator<char>(a)), {});
        const std::string y((std::istreambuf_iterator<char>(b)), {});
        if (!b || x != y) {
            return false;
        }
    }
    return true;
}
