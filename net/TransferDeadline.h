#pragma once

#include <chrono>
#include <cstdint>

struct HttpGetTimeouts;

// The end every request has. A speed floor: a window of stallTimeout that brings fewer than
// floorBytes ends the transfer, so slow but moving is never cut, while a server that trickles
// a byte a minute is. A ceiling: the whole request, connection and redirects included, ends
// after `ceiling` however it moves.
class TransferDeadline {
public:
    enum class Verdict { Going, TooSlow, OutOfTime };

    using TimePoint = std::chrono::steady_clock::time_point;
    TransferDeadline(const HttpGetTimeouts& limits, TimePoint start);

    // The verdict at `now`, with `received` bytes of the answer arrived so far.
    Verdict check(TimePoint now, std::uint64_t received);

private:
    std::chrono::milliseconds window_;
    std::uint64_t floorBytes_;
    TimePoint end_;
    TimePoint windowStart_;
    std::uint64_t receivedAtWindowStart_ = 0;
};
