#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include <QString>

#include "net/StatisticsRecord.h"

// The figures and texts of the statistics reports, as plain functions of plain values.

// The answer buffer of the close-time requests, shared by the reports and the speed test.
inline constexpr std::uint32_t kCloseReportBufferSize = 5'242'880;
// A speed-test body below this says too little about the server's speed to be reported.
inline constexpr std::uint32_t kMinSpeedTestBytes = 102'400;

// The local time as "%4d%2d%2d%2d%2d%2d" of year, month, day, hour, minute and second: each part
// right-aligned and padded with blanks, never zeros. 14 characters for a four-digit year.
QString TimeStamp(const std::tm& local);

// Eight upper-case hexadecimal digits of an IPv4 address in host order, most significant first.
QString InternalIpDigits(std::uint32_t address);

// An address text as an IPv4 address in host order; 0 (0.0.0.0) for an IPv6 address or anything
// else that is not an IPv4 address.
std::uint32_t Ipv4HostOrder(const std::string& addressText);

// The three report URLs: baseUrl, then the keys in this order, numbers in plain decimal with a
// leading minus when negative. Nothing is escaped; empty fields go as empty values.
QString BuildSummaryReportUrl(const StatisticsRecord& record);
QString BuildProgressReportUrl(const StatisticsRecord& record, int peerCount, int downRate,
                               int upRate);
QString BuildSpeedReportUrl(const StatisticsRecord& record, int rate);

// Whole KiB per second of a rate in bytes per second.
int KiBPerSecond(std::uint32_t bytesPerSecond);
// The progress report's DownRate: -1 once the download is complete.
int ProgressDownRate(bool complete, std::uint32_t bytesPerSecond);
// Whole MiB of a byte count, rounded toward zero.
std::int32_t WholeMiB(std::int64_t bytes);

// The close's requests (the summary, the speed test and its report) end within this together,
// whatever the report server does; the summary and the speed test each take at most their
// share of it, so that a silent page leaves time for the rest.
inline constexpr std::chrono::milliseconds kCloseReportsBudget{20'000};
inline constexpr std::chrono::milliseconds kSummaryShare{8'000};
inline constexpr std::chrono::milliseconds kSpeedTestShare{8'000};
// The time the next close-time request may take after `spent` of the budget: its share, no more
// than what is left, and nothing once the budget is gone.
std::chrono::milliseconds CloseStepLimit(std::chrono::milliseconds share,
                                         std::chrono::milliseconds spent);

// Whether the check's speed-test address names something to fetch: more than 5 characters.
bool RunsSpeedTest(const QString& speedTestUrl);
// The speed report's Rate for a body fetched in elapsed: whole KiB over whole seconds (at least
// one). Nothing to report for a body under kMinSpeedTestBytes or a negative span.
std::optional<int> SpeedTestRate(std::uint32_t bodyBytes, std::chrono::milliseconds elapsed);
