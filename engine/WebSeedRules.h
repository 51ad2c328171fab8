#pragma once

#include <cstdint>

// The rules that keep the publisher's web seed a small supplement, over plain values.

// The web seed's download limit, bytes per second (80 KiB/s).
inline constexpr int kWebSeedDownloadLimit = 81920;
// At or below this download rate a missing web seed comes back (70 KiB/s).
inline constexpr std::uint32_t kWebSeedRestoreRate = 71680;
// Once the swarm brings this much besides the web seed, the web seed goes (100 KiB/s).
inline constexpr std::uint32_t kWebSeedDropShare = 102400;
// Web seed URLs of this length or shorter start none of the web seed's timers.
inline constexpr int kMaxIgnoredWebSeedUrlLength = 5;

// A web seed connection is capped unless its limit is already the web seed limit.
bool ShouldCapWebSeed(int downloadLimit);

// Only a torrent without any web seed gets it back, and only while the download is slow.
bool ShouldRestoreWebSeed(std::uint32_t downloadRate, bool torrentHasWebSeed);

// The web seed delivers webSeedRate of the downloadRate; it goes once the rest, the swarm's
// own share, reaches the drop share.
bool ShouldDropWebSeed(std::uint32_t downloadRate, std::uint32_t webSeedRate);

// The web seed's timers run only for a URL longer than 5 characters.
bool HasWebSeedTimers(int urlLength);
