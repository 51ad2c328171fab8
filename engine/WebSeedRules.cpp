#include "engine/WebSeedRules.h"

bool ShouldCapWebSeed(int downloadLimit) {
    return downloadLimit != kWebSeedDownloadLimit;
}

bool ShouldRestoreWebSeed(std::uint32_t downloadRate, bool torrentHasWebSeed) {
    return downloadRate <= kWebSeedRestoreRate && !torrentHasWebSeed;
}

bool ShouldDropWebSeed(std::uint32_t downloadRate, std::uint32_t webSeedRate) {
    return downloadRate > webSeedRate && downloadRate - webSeedRate >= kWebSeedDropShare;
}

bool HasWebSeedTimers(int urlLength) {
    return urlLength > kMaxIgnoredWebSeedUrlLength;
}
