#include "SourceTimers.h"

#include "app/CKestrelDlg.h"
#include "app/PublisherSources.h"

namespace {
std::chrono::milliseconds Ms(int ms) {
    return std::chrono::milliseconds(ms);
}
} // namespace

bool SourceTimers::Timer::Due(Clock::time_point now) {
    if (now - last < period) {
        return false;
    }
    last = now;
    return true;
}

void SourceTimers::Start(Clock::time_point now) {
    started_ = true;
    webSeed_ = sources_.HasWebSeed();
    sources_.serverPeers().CallInServerPeer();
    cap_ = {Ms(CKestrelDlg::kWebSeedCapPeriodMs), now};
    restore_ = {Ms(CKestrelDlg::kWebSeedRestorePeriodMs), now};
    drop_ = {Ms(CKestrelDlg::kWebSeedDropPeriodMs), now};
    serverPeer_ = {Ms(CKestrelDlg::kServerPeerPeriodMs), now};
}

void SourceTimers::Tick(Clock::time_point now) {
    if (!started_) {
        return;
    }
    if (webSeed_) {
        if (cap_.Due(now)) {
            sources_.webSeed().CapWebSeedRate();
        }
        if (restore_.Due(now)) {
            sources_.webSeed().RestoreWebSeed();
        }
        if (drop_.Due(now)) {
            sources_.webSeed().DropWebSeed();
        }
    }
    if (serverPeer_.Due(now)) {
        sources_.serverPeers().BalanceServerPeer();
    }
}
