#include "engine/OpenFileLimit.h"

#include <sys/resource.h>

#include <algorithm>

int FilePoolSize(std::uint64_t openFileLimit) {
    const std::uint64_t pool = openFileLimit > kReservedDescriptors * 4 / 3
                                   ? openFileLimit - kReservedDescriptors
                                   : openFileLimit / 4;
    return static_cast<int>(std::clamp<std::uint64_t>(pool, 1, kMaxFilePoolSize));
}

std::uint64_t CurrentOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return 1024; // the usual soft limit
    }
    return limit.rlim_cur;
}

std::uint64_t RaiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &raised);
    }
    return CurrentOpenFileLimit();
}
