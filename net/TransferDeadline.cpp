#include "net/TransferDeadline.h"

#include "net/HttpGet.h"

TransferDeadline::TransferDeadline(const HttpGetTimeouts& limits, TimePoint start)
    : window_(limits.stallTimeout), floorBytes_(limits.floorBytes), end_(start + limits.ceiling),
      windowStart_(start) {}

TransferDeadline::Verdict TransferDeadline::check(TimePoint now, std::uint64_t received) {
    if (now >= end_) {
        return Verdict::OutOfTime;
    }
    if (now - windowStart_ < window_) {
        return Verdict::Going;
    }
    if (received - receivedAtWindowStart_ < floorBytes_) {
        return Verdict::TooSlow;
    }
    windowStart_ = now;
    receivedAtWindowStart_ = received;
    return Verdict::Going;
}
