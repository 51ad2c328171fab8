// The window with its real engine against the sample publisher's sources while they fail in
// the ways real ones do and then recover: the web seed as the only source, a server peer
// restarted, and the player's whole network away for a while. The rules' looks are not waited
// out: the test ticks their timers itself where their periods would end.
#include "app/CKestrelDlg.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/DownloadEngine.h"
#include "engine/PeerSnapshot.h"
#include "engine/WebSeedRules.h"
#include "support/WindowSwarm.h"

using namespace std::chrono_literals;
using publisher::Fault;
using Steady = std::chrono::steady_clock;

namespace {

// The fault lasts this long; the window keeps running meanwhile.
void lasts(std::chrono::milliseconds span) {
    const auto end = Steady::now() + span;
    waitFor([&] { return Steady::now() >= end; }, span + 1s);
}

struct WebSeedFault {
    const char* name;
    std::function<void(publisher::Publisher&)> begin;
    std::function<void(publisher::Publisher&)> end;
    // Whether the failure reaches the server as a request (a refused connection does not).
    bool answered;
};

const WebSeedFault kFaults[] = {
    {"Unavailable503WithRetryAfter", [](auto& p) { p.setFault("/seed/*", Fault::unavailable(5s)); },
     [](auto& p) { p.clearFaults(); }, true},
    {"Unavailable503", [](auto& p) { p.setFault("/seed/*", Fault::unavailable()); },
     [](auto& p) { p.clearFaults(); }, true},
    {"ServerError500", [](auto& p) { p.setFault("/seed/*", Fault::serverError()); },
     [](auto& p) { p.clearFaults(); }, true},
    {"ConnectionRefused", [](auto& p) { p.setWebSeedUp(false); },
     [](auto& p) { p.setWebSeedUp(true); }, false},
    {"ResetMidBody", [](auto& p) { p.setFault("/seed/*", Fault::reset()); },
     [](auto& p) { p.clearFaults(); }, true},
    {"NoContentLength", [](auto& p) { p.setFault("/seed/*", Fault::noLength()); },
     [](auto& p) { p.clearFaults(); }, true},
};

void PrintTo(const WebSeedFault& fault, std::ostream* out) {
    *out << fault.name;
}

class WebSeedFaults : public WindowSwarm, public ::testing::WithParamInterface<WebSeedFault> {
protected:
    // No tracker, no server peer: the web seed, allowing 300 KiB/s, is the only source.
    void arrange() override {
        startPublisher(2 * 1024 * 1024, [](publisher::PublisherOptions& o) {
            o.announceUrls.clear();
            o.webSeedHost = "127.0.0.5";
            o.webSeedBytesPerSecond = 300 * 1024;
        });
        ASSERT_TRUE(startChecked(dlg));
    }
    std::size_t seedRequests() const {
        std::size_t n = 0;
        for (const auto& r : pub->requests()) {
            n += r.path.rfind("/seed/", 0) == 0 ? 1 : 0;
        }
        return n;
    }
    bool listed() const { return !dlg->Task().urlSeeds().empty(); }
    void restoreLook() { dlg->OnTimer(CKestrelDlg::kWebSeedRestoreTimer); }

    std::unique_ptr<CKestrelDlg> dlg;
};

} // namespace

// Whatever ended the web seed's service, it serves again once the fault is over: at the
// restore rule's next look at the latest, held to its cap from the first byte. While the
// fault lasts, a failure the library reports costs one attempt per look and no more.
TEST_P(WebSeedFaults, TheWebSeedServesAgainAfterTheFaultEnds) {
    const WebSeedFault& fault = GetParam();
    fault.begin(*pub);
    restoreLook();
    ASSERT_TRUE(listed());
    if (fault.answered) {
        ASSERT_TRUE(until([&] { return seedRequests() > 0; }));
    }
    lasts(3s);
    if (!listed()) {
        // Taken off after the failure: nothing more is asked until the next look, which asks
        // again and is taken off again.
        const std::size_t asked = seedRequests();
        lasts(3s);
        EXPECT_EQ(seedRequests(), asked);
        restoreLook();
        EXPECT_TRUE(listed());
        ASSERT_TRUE(until([&] { return seedRequests() > asked && !listed(); }));
    }

    fault.end(*pub);
    const std::uint64_t sentAtEnd = pub->webSeedBytesSent();
    const auto ended = Steady::now();
    restoreLook();
    ASSERT_TRUE(until([&] { return pub->webSeedBytesSent() > sentAtEnd; }, 75s));
    const double firstByte = std::chrono::duration<double>(Steady::now() - ended).count();
    PeerSnapshot seed;
    ASSERT_TRUE(until([&] { return dlg->WebSeed().FindWebSeedPeer(seed); }));
    EXPECT_EQ(seed.downloadLimit, kWebSeedDownloadLimit);
    // The web seed alone completes the set: no file stays behind with the failure.
    ASSERT_TRUE(until([&] { return dlg->Task().isComplete(); }, 90s));
    EXPECT_TRUE(HoldsTheSet(temp.path() / "save"));
    std::printf("[ fault    ] %s: first byte %.1f s, complete %.1f s after the fault ended "
                "(restore look at once)\n",
                fault.name, firstByte,
                std::chrono::duration<double>(Steady::now() - ended).count());
}

INSTANTIATE_TEST_SUITE_P(Table, WebSeedFaults, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

constexpr std::uint16_t kServerPeerPort = 6921;
const std::string kServerPeerAddress = "127.0.0.2";
const std::vector<std::string> kSeederAddresses{"127.0.0.11", "127.0.0.12"};
// Where the program's own connections come from.
const std::string kProgramAddress = "127.0.0.1";

// The window against every source the publisher has, slow enough that the download runs for a
// while: two seeders found through the tracker, one server peer (called in whatever the rate,
// never let go) and the web seed. Each source can stop and come back on its own address and
// port.
class PublisherOutage : public WindowSwarm {
protected:
    void arrange() override {
        startPublisher(4 * 1024 * 1024, [](publisher::PublisherOptions& o) {
            o.webSeedHost = "127.0.0.5";
            o.webSeedBytesPerSecond = 300 * 1024;
            o.serverPeerPort = kServerPeerPort;
            o.serverPeerAddresses = {kServerPeerAddress};
            o.callInKiB = 100'000;
            o.releaseKiB = 100'000;
        });
        startServerPeer();
        startSeeders();
        ASSERT_TRUE(startChecked(dlg));
    }
    void startServerPeer() {
        server = peer(swarm::Peer::Role::Server, kServerPeerAddress, 16 * 1024, kServerPeerPort);
    }
    // On the ports they had before, if they ran before.
    void startSeeders() {
        seederPorts.resize(kSeederAddresses.size());
        seeders.clear();
        for (std::size_t i = 0; i < kSeederAddresses.size(); ++i) {
            seeders.push_back(
                peer(swarm::Peer::Role::Seeder, kSeederAddresses[i], 24 * 1024, seederPorts[i]));
            seederPorts[i] = seeders.back()->listenPort();
        }
    }
    std::int64_t swarmUploaded() const {
        std::int64_t n = 0;
        for (const auto& s : seeders) {
            n += s->totalUploaded();
        }
        return n;
    }
    bool serverPeerDelivers() const {
        std::uint32_t rate = 0;
        return dlg->ServerPeers().ServerPeerDownloadRate(rate);
    }
    std::unique_ptr<CKestrelDlg> dlg;
    std::unique_ptr<swarm::Peer> server;
    std::vector<std::unique_ptr<swarm::Peer>> seeders;
    std::vector<int> seederPorts;
};

double SecondsSince(Steady::time_point t) {
    return std::chrono::duration<double>(Steady::now() - t).count();
}

} // namespace

// The server peer the window called in is restarted, and is down across one look of the
// balance rule: the look after it is back connects to it at once.
TEST_F(PublisherOutage, ARestartedServerPeerServesAgainAtTheNextBalanceLook) {
    ASSERT_TRUE(until([&] { return server->totalUploaded() > 0; }));
    server.reset();
    ASSERT_TRUE(until([&] { return !serverPeerDelivers(); }));
    dlg->OnTimer(CKestrelDlg::kServerPeerTimer);
    ASSERT_EQ(dlg->ServerPeers().chosenServerPeer().size(), 1u);
    lasts(3s);

    startServerPeer();
    const auto back = Steady::now();
    dlg->OnTimer(CKestrelDlg::kServerPeerTimer);
    ASSERT_TRUE(until([&] { return server->totalUploaded() > 0; }, 30s));
    std::printf("[ restart  ] server peer: first byte %.1f s after it was back (look at once)\n",
                SecondsSince(back));
}

// The player's network goes for a while: every connection ends and nothing answers, the
// tracker's port resets every announce. Nobody outside ever called in, so the program no
// longer listens and no source can call it back: it has to find each one again.
TEST_F(PublisherOutage, AfterTheNetworkComesBackEverySourceDeliversAgainAndTheSetIsRight) {
    dlg->OnTimer(CKestrelDlg::kListenCheckTimer);
    ASSERT_FALSE(dlg->Engine()->IsListening());
    dlg->OnTimer(CKestrelDlg::kWebSeedRestoreTimer);
    ASSERT_TRUE(until([&] {
        return swarmUploaded() > 0 && server->totalUploaded() > 0 && pub->webSeedBytesSent() > 0;
    }));

    const auto gone = Steady::now();
    tracker->setUp(false);
    pub->setWebSeedUp(false);
    server.reset();
    seeders.clear();
    // Until the program's announce failed (the seeders' last words to the tracker fail too,
    // from their own addresses).
    ASSERT_TRUE(until([&] { return tracker->resets(kProgramAddress) > 0; }, 60s));
    EXPECT_FALSE(dlg->Task().isComplete());
    const double outage = SecondsSince(gone);

    tracker->setUp(true);
    pub->setWebSeedUp(true);
    startServerPeer();
    startSeeders();
    const auto back = Steady::now();
    const std::size_t announced = ProgramAnnounces(*tracker).size();
    const std::uint64_t webSeedSent = pub->webSeedBytesSent();
    // The rules' next looks come at once rather than within their minute and two.
    dlg->OnTimer(CKestrelDlg::kWebSeedRestoreTimer);
    dlg->OnTimer(CKestrelDlg::kServerPeerTimer);
    std::optional<double> trackerAt, swarmAt, serverAt, webSeedAt;
    const auto mark = [&](std::optional<double>& at, bool seen) {
        if (!at && seen) {
            at = SecondsSince(back);
        }
    };
    until(
        [&] {
            mark(trackerAt, ProgramAnnounces(*tracker).size() > announced);
            mark(swarmAt, swarmUploaded() > 0);
            mark(serverAt, server->totalUploaded() > 0);
            mark(webSeedAt, pub->webSeedBytesSent() > webSeedSent);
            return trackerAt && swarmAt && serverAt && webSeedAt;
        },
        60s);
    const auto shown = [](const std::optional<double>& at) {
        return at ? std::to_string(*at).substr(0, 4) + " s" : std::string("none in 60 s");
    };
    std::printf("[ network  ] away %.0f s, %zu announces reset; first byte after it came back: "
                "tracker announce %s, swarm %s, server peer %s, web seed %s\n",
                outage, tracker->resets(kProgramAddress), shown(trackerAt).c_str(),
                shown(swarmAt).c_str(), shown(serverAt).c_str(), shown(webSeedAt).c_str());
    EXPECT_TRUE(trackerAt);
    EXPECT_TRUE(swarmAt);
    EXPECT_TRUE(serverAt);
    EXPECT_TRUE(webSeedAt);
    ASSERT_TRUE(until([&] { return dlg->Task().isComplete(); }, 120s));
    EXPECT_TRUE(HoldsTheSet(temp.path() / "save"));
}
