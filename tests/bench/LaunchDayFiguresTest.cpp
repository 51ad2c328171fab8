#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CrowdPlan.h"
#include "LaunchFigures.h"
#include "LaunchSettings.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST(LaunchSettingsTest, SweepsPlayersOrRatesAndRefusesAnythingElse) {
    const auto players = ParseSweep("players=8,16,32");
    ASSERT_EQ(players.size(), 3u);
    EXPECT_EQ(players[2].players, 32);
    EXPECT_FALSE(players[0].callInKiB);

    const auto rates = ParseSweep("rates=50:100,400:200");
    ASSERT_EQ(rates.size(), 2u);
    EXPECT_EQ(rates[1].callInKiB, 400);
    EXPECT_EQ(rates[1].releaseKiB, 200);
    EXPECT_FALSE(rates[0].players);

    for (const char* bad : {"players", "players=", "players=8,,16", "players=0", "players=-8",
                            "players=8x", "rates=50", "rates=50:100:150", "sizes=1,2"}) {
        EXPECT_TRUE(ParseSweep(bad).empty()) << bad;
    }
}

TEST(LaunchSettingsTest, SweepPointChangesOnlyWhatItNames) {
    LaunchSettings s;
    s.players = 24;
    s.callInKiB = 100;
    s.releaseKiB = 200;
    const LaunchSettings fewer = Apply(s, ParseSweep("players=8")[0]);
    EXPECT_EQ(fewer.players, 8);
    EXPECT_EQ(fewer.callInKiB, 100);
    const LaunchSettings rates = Apply(s, ParseSweep("rates=50:400")[0]);
    EXPECT_EQ(rates.players, 24);
    EXPECT_EQ(rates.callInKiB, 50);
    EXPECT_EQ(rates.releaseKiB, 400);
}

TEST(LaunchSettingsTest, CommandLineSetsEveryOptionAndRefusesNonsense) {
    const auto c =
        ParseLaunchCommand({"--players", "8", "--join-seconds", "0", "--size", "1048576", "--down",
                            "100:200", "--up", "50:50", "--rates", "10:20", "--policies",
                            "greedy,publisher", "--sweep", "players=2,4", "--out", "figs"});
    ASSERT_TRUE(c);
    EXPECT_EQ(c->settings.players, 8);
    EXPECT_EQ(c->settings.joinSeconds, 0);
    EXPECT_EQ(c->settings.bytes, 1048576u);
    EXPECT_EQ(c->settings.down.low, 100);
    EXPECT_EQ(c->settings.up.high, 50);
    EXPECT_EQ(c->settings.releaseKiB, 20);
    ASSERT_EQ(c->settings.policies.size(), 2u);
    EXPECT_EQ(c->settings.policies[1], Policy::PublisherOnly);
    EXPECT_EQ(c->sweep.size(), 2u);
    EXPECT_EQ(c->out, "figs");

    const std::vector<std::vector<std::string>> bad{
        {"--players"},          {"--players", "0"},        {"--down", "200:100"},
        {"--down", "0:100"},    {"--policies", "rules,x"}, {"--policies", ""},
        {"--size", "0"},        {"--sweep", "players=x"},  {"--colour", "red"},
        {"--players", "2", "x"}};
    for (const auto& args : bad) {
        EXPECT_FALSE(ParseLaunchCommand(args)) << args[0];
    }
}

TEST(CrowdPlanTest, JoinsSpanTheJoinTimeAndLinksStayInTheirRanges) {
    LaunchSettings s;
    s.players = 5;
    s.joinSeconds = 60;
    s.down = {2'000'000, 6'000'000};
    s.up = {500'000, 500'001};
    const auto crowd = PlanCrowd(s);
    ASSERT_EQ(crowd.size(), 5u);
    EXPECT_EQ(crowd.front().joinSeconds, 0);
    EXPECT_EQ(crowd[1].joinSeconds, 15);
    EXPECT_EQ(crowd.back().joinSeconds, 60);
    bool varied = false;
    for (const auto& p : crowd) {
        EXPECT_GE(p.downRate, s.down.low);
        EXPECT_LE(p.downRate, s.down.high);
        EXPECT_GE(p.upRate, s.up.low);
        EXPECT_LE(p.upRate, s.up.high);
        varied |= p.downRate != crowd.front().downRate;
    }
    EXPECT_TRUE(varied);

    s.players = 1;
    EXPECT_EQ(PlanCrowd(s).front().joinSeconds, 0);
}

TEST(CrowdPlanTest, SameSeedGivesTheSameCrowdAndALargerCrowdKeepsTheFirstLinks) {
    LaunchSettings s;
    s.players = 8;
    const auto small = PlanCrowd(s);
    s.players = 24;
    const auto large = PlanCrowd(s);
    for (std::size_t i = 0; i < small.size(); ++i) {
        EXPECT_EQ(small[i].downRate, large[i].downRate);
        EXPECT_EQ(small[i].upRate, large[i].upRate);
    }
    s.crowdSeed = 2;
    EXPECT_NE(PlanCrowd(s).front().downRate, large.front().downRate);
}

TEST(LaunchFiguresTest, PercentileIsTheNearestRank) {
    EXPECT_EQ(Percentile({}, 50), 0);
    EXPECT_EQ(Percentile({7}, 95), 7);
    const std::vector<double> v{5, 1, 4, 2, 3, 10, 9, 8, 7, 6};
    EXPECT_EQ(Percentile(v, 50), 5);
    EXPECT_EQ(Percentile(v, 95), 10);
    EXPECT_EQ(Percentile(v, 100), 10);
    EXPECT_EQ(Percentile(v, 0), 1);
    EXPECT_EQ(Percentile(v, 10), 1);
    EXPECT_EQ(Percentile(v, 11), 2);
}

TEST(LaunchFiguresTest, SharesAreOfWhatTheWholeCrowdNeededAndUnfinishedPlayersLast) {
    PolicyRun run;
    run.setBytes = 1000;
    run.players = {{1, 10}, {2, 30}, {0.5, -1}, {3, 20}};
    run.samples = {{10, 500, 100, 300, 1}, {40, 1500, 500, 1800, 3}};
    const PolicySummary s = Summarize(run);
    EXPECT_DOUBLE_EQ(s.serverPeerShare, 0.375);
    EXPECT_DOUBLE_EQ(s.webSeedShare, 0.125);
    EXPECT_DOUBLE_EQ(s.publisherShare, 0.5);
    EXPECT_DOUBLE_EQ(s.playerShare, 0.45);
    EXPECT_EQ(s.doneMedian, 20);
    EXPECT_TRUE(std::isinf(s.doneP95));
    EXPECT_TRUE(std::isinf(s.doneMax));
    EXPECT_EQ(s.firstByteMedian, 1);
    EXPECT_EQ(s.unfinished, 1);
}

TEST(LaunchFiguresTest, CurveGivesRatesBetweenSamplesPerPolicy) {
    SummaryRow r;
    r.point = "default";
    r.run.policy = Policy::Greedy;
    r.run.samples = {{10, 10'000'000, 0, 0, 0},
                     {20, 30'000'000, 10'000'000, 5'000'000, 2},
                     {25, 30'000'000, 10'000'000, 10'000'000, 3}};
    std::ostringstream out;
    WriteCurveCsv(out, {r});
    const auto lines = Lines(out.str());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], "default,greedy,10,1,0,1,0,0");
    EXPECT_EQ(lines[2], "default,greedy,20,2,1,3,0.5,2");
    EXPECT_EQ(lines[3], "default,greedy,25,0,0,0,1,3");
}

TEST(LaunchFiguresTest, SummaryCsvHasOneRowPerPolicyAndPoint) {
    SummaryRow a;
    a.point = "players=8";
    a.players = 2;
    a.callInKiB = 100;
    a.releaseKiB = 200;
    a.run.policy = Policy::PublisherOnly;
    a.run.setBytes = 1'000'000;
    a.run.players = {{1, 10}, {2, 20}};
    a.run.samples = {{20, 1'500'000, 500'000, 0, 2}};
    SummaryRow b = a;
    b.run.policy = Policy::Rules;
    std::ostringstream out;
    WriteSummaryCsv(out, {a, b});
    const auto lines = Lines(out.str());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "players=8,publisher,2,100,200,1,0.75,0.25,0,2,10,20,20,1,0");
    EXPECT_EQ(lines[2].rfind("players=8,rules,", 0), 0u);
}
