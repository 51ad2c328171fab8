#pragma once

#include <cstdint>

#include "engine/DownloadTask.h"

// Time left at the live rate. The division is unsigned 64-bit, the seconds are then kept to
// 32 bits and the hours to 16 bits, as the status line has always shown them. A rate of 0
// gives 65535 for all three.
RemainingTime RemainingTimeFrom(std::int64_t totalSize, std::int64_t totalDone,
                                std::uint32_t downloadRate);
