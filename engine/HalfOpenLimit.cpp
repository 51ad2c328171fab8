#include "engine/HalfOpenLimit.h"

int HalfOpenLimit(const std::optional<HostVersion>& host) {
    if (!host) {
        return kNoHalfOpenLimit;
    }
    if (host->versionNumber > 52) {
        return 4;
    }
    if (host->versionNumber == 51 && !host->servicePack.empty() &&
        host->servicePack != "Service Pack 1") {
        return 8;
    }
    return kNoHalfOpenLimit;
}

std::optional<HostVersion> CurrentHostVersion() {
    return std::nullopt;
}
