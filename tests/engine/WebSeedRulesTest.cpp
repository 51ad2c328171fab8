#include "engine/WebSeedRules.h"

#include <gtest/gtest.h>

TEST(WebSeedRules, CapRestoreAndDropAtTheirBoundaries) {
    EXPECT_FALSE(ShouldCapWebSeed(81920));
    for (int limit : {-1, 0, 81919, 81921, 307200}) {
        EXPECT_TRUE(ShouldCapWebSeed(limit)) << limit;
    }

    struct Restore {
        std::uint32_t rate;
        bool has, restore;
    };
    for (const Restore& c :
         {Restore{71680, false, true}, Restore{71681, false, false}, Restore{0, false, true},
          Restore{0, true, false}, Restore{71680, true, false}}) {
        EXPECT_EQ(ShouldRestoreWebSeed(c.rate, c.has), c.restore) << c.rate << " " << c.has;
    }

    struct Drop {
        std::uint32_t rate, webSeed;
        bool drop;
    };
    for (const Drop& c : {
             Drop{184320, 81920, true},  // the swarm's share exactly 102,400
             Drop{184319, 81920, false}, // 102,399
             Drop{102400, 0, true}, Drop{102399, 0, false},
             Drop{81920, 81920, false}, // all of it from the web seed
             Drop{50000, 81920, false}, // the web seed's own figure above the total
         }) {
        EXPECT_EQ(ShouldDropWebSeed(c.rate, c.webSeed), c.drop) << c.rate << " " << c.webSeed;
    }

    EXPECT_FALSE(HasWebSeedTimers(0));
    EXPECT_FALSE(HasWebSeedTimers(5));
    EXPECT_TRUE(HasWebSeedTimers(6));
}
