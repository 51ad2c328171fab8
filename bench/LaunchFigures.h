#pragma once

#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <string>
#include <vector>

#include "LaunchSettings.h"

// One player's times, in seconds from its own join; negative when it never got there.
struct PlayerTimes {
    double firstByte = -1;
    double done = -1;
};

// Bytes sent so far, read every 10 s from the first join on.
struct LaunchSample {
    double seconds = 0;
    std::int64_t serverPeers = 0; // every server peer's uploads together
    std::int64_t webSeed = 0;
    std::int64_t players = 0; // the players' uploads to each other
    int done = 0;             // players holding the whole set
};

// What one policy did over the crowd.
struct PolicyRun {
    Policy policy = Policy::Rules;
    std::uint64_t setBytes = 0;
    std::vector<PlayerTimes> players;
    std::vector<LaunchSample> samples; // the last one holds the totals
};

// Shares are of everything the crowd needed (players times the set); times in seconds, with
// a player that never finished counted as taking forever.
struct PolicySummary {
    double publisherShare = 0;
    double serverPeerShare = 0;
    double webSeedShare = 0;
    double playerShare = 0;
    double doneMedian = 0, doneP95 = 0, doneMax = 0;
    double firstByteMedian = 0;
    int unfinished = 0;
};

// The nearest-rank percentile (0 to 100) of the values; 0 for none.
double Percentile(std::vector<double> values, double percent);
PolicySummary Summarize(const PolicyRun& run);

// One line per policy and sweep point; the point names what the sweep changed.
struct SummaryRow {
    std::string point;
    int players = 0;
    int callInKiB = 0, releaseKiB = 0;
    PolicyRun run;
};
void WriteSummaryCsv(std::ostream& out, const std::vector<SummaryRow>& rows);
// The publisher's and the players' rates per 10 s over the launch, per policy and point.
void WriteCurveCsv(std::ostream& out, const std::vector<SummaryRow>& rows);
// The side-by-side table printed after each point.
void PrintSummaryTable(std::FILE* out, const std::vector<SummaryRow>& rows);
