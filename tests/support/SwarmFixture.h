#pragma once

// The loopback swarm fixtures, each on top of the one before:
//   SwarmTest       a network namespace of the test's own (skipped outside one), a temporary
//                   folder, and peers of any file set;
//   PublisherSwarm  the sample publisher (file server and web seed), a tracker, and peers of
//                   the publisher's set.
// The session set-up and the event pump are the runners' (EngineRun, WindowSwarm). A fixture
// of its own does its set-up in arrange(), which runs only where the test is not skipped.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Publisher.h"
#include "support/SwarmHarness.h"
#include "tools/swarm/Peer.h"
#include "tools/swarm/Tracker.h"

// The start of the peer id this program sends to trackers and peers.
inline const std::string kProgramPeerId = "-VR0C10-";
// The announces the tracker had from this program, in order.
std::vector<swarm::Announce> ProgramAnnounces(const swarm::Tracker& tracker);

class SwarmTest : public ::testing::Test {
protected:
    void SetUp() final;
    // The set-up of a fixture on top, after the namespace check; a failed assertion or a skip
    // in it ends the test before its body.
    virtual void arrange() {}

    // A peer of the torrent's set (held complete under source) on an address of its own;
    // a seeder or server peer is ready, holding the set, before it is returned.
    std::unique_ptr<swarm::Peer> peerOf(const std::vector<char>& torrent,
                                        const std::filesystem::path& source, swarm::Peer::Role role,
                                        const std::string& address, int uploadRate = 0,
                                        int port = 0);
    // Whether the peer has a connection to address:port that is open (or closed) now.
    static bool OpenTo(const swarm::Peer& peer, const std::string& address, int port);
    static bool ClosedTo(const swarm::Peer& peer, const std::string& address, int port);
    static bool AnyOpen(const swarm::Peer& peer);

    TempFolder temp;
};

class PublisherSwarm : public SwarmTest {
protected:
    // A tracker and the publisher with a generated set of `bytes` in 256 KiB pieces, announced
    // on that tracker; `options` sets anything else before it starts.
    void startPublisher(std::uint64_t bytes,
                        const std::function<void(publisher::PublisherOptions&)>& options = {});
    std::unique_ptr<swarm::Peer> peer(swarm::Peer::Role role, const std::string& address,
                                      int uploadRate = 0, int port = 0);
    // Whether every file of the publisher's set is under folder with the same bytes.
    bool HoldsTheSet(const std::filesystem::path& folder) const;

    std::unique_ptr<swarm::Tracker> tracker;
    std::unique_ptr<publisher::Publisher> pub;
};
