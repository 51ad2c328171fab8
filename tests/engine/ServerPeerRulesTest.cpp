#include "engine/ServerPeerRules.h"

#include <gtest/gtest.h>

#include <set>

#include "engine/ListenPortDraw.h"

TEST(ServerPeerRules, CallsInOnlyWhenEveryConditionHolds) {
    const CallInState ready{2, false, true, false, false};
    EXPECT_TRUE(MayCallInServerPeer(ready));
    struct Case {
        const char* what;
        CallInState state;
    };
    for (const Case& c : {Case{"no server peers", {0, false, true, false, false}},
                          Case{"one already chosen", {2, true, true, false, false}},
                          Case{"no torrent", {2, false, false, false, false}},
                          Case{"paused", {2, false, true, true, false}},
                          Case{"complete", {2, false, true, false, true}}}) {
        EXPECT_FALSE(MayCallInServerPeer(c.state)) << c.what;
    }
}

TEST(ServerPeerRules, RatesAtTheirBoundaries) {
    struct Case {
        std::uint32_t rate, callIn;
        bool below;
    };
    for (const Case& c : {Case{51199, 51200, true}, Case{51200, 51200, false},
                          Case{51201, 51200, false}, Case{0, 0, false}, Case{0, 1, true}}) {
        EXPECT_EQ(IsBelowCallInRate(c.rate, c.callIn), c.below) << c.rate << " vs " << c.callIn;
    }
    struct Release {
        std::uint32_t rate, serverPeer, release;
        bool go;
    };
    for (const Release& c : {
             Release{300000, 95200, 204800, false}, // the swarm's share equals the release rate
             Release{300001, 95200, 204800, true},  // one byte more
             Release{95200, 95200, 0, false},       // nothing besides the server peer
             Release{95201, 95200, 0, true},
             Release{1000, 5000, 0, false}, // the peer's own figure above the total: no share
             Release{0, 0, 0, false},
             Release{0xFFFFFFFFu, 0, 0xFFFFFFFEu, true},
         }) {
        EXPECT_EQ(ShouldReleaseServerPeer(c.rate, c.serverPeer, c.release), c.go)
            << c.rate << " - " << c.serverPeer << " vs " << c.release;
    }
}

TEST(ServerPeerRules, TheDrawCoversTheListAndOnePeerIsAlwaysChosen) {
    std::set<std::size_t> seen;
    for (std::uint32_t seed = 0; seed < 200; ++seed) {
        PortRandom random(HighResolutionSeed() + seed);
        const auto r = static_cast<std::uint32_t>(random.next());
        EXPECT_EQ(ServerPeerIndex(r, 1), 0u);
        const std::size_t i = ServerPeerIndex(r, 3);
        ASSERT_LT(i, 3u);
        seen.insert(i);
    }
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(ServerPeerIndex(32767, 2), 1u);
    EXPECT_EQ(ServerPeerIndex(32767, 65535), 32767u);
}
