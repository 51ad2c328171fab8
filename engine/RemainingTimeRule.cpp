#include "engine/RemainingTimeRule.h"

RemainingTime RemainingTimeFrom(std::int64_t totalSize, std::int64_t totalDone,
                                std::uint32_t downloadRate) {
    if (downloadRate == 0) {
        return {0xFFFF, 0xFFFF, 0xFFFF};
    }
    const std::uint64_t left =
        static_cast<std::uint64_t>(totalSize) - static_cast<std::uint64_t>(totalDone);
    const auto s = static_cast<std::uint32_t>(left / downloadRate);
    return {static_cast<std::uint16_t>(s / 3600), static_cast<std::uint16_t>((s / 60) % 60),
            static_cast<std::uint16_t>(s % 60)};
}
