#pragma once

#include <optional>
#include <string>

// What the host tells about itself: a Windows version number (major * 10 + minor) with its
// service-pack text, or nothing when the host is not Windows or the query failed.
struct HostVersion {
    int versionNumber = 0;
    std::string servicePack;
};

inline constexpr int kNoHalfOpenLimit = 2147483647;

// The cap on connection attempts in progress: Windows XP SP2 and Vista on throttle half-open
// connections, so the session stays below the system's own cap there.
int HalfOpenLimit(const std::optional<HostVersion>& host);

// This host. Linux is not Windows, so there is nothing to ask.
std::optional<HostVersion> CurrentHostVersion();
