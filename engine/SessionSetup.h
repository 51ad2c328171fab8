#pragma once

#include <cstdint>

class DownloadEngine;
class DownloadTask;

// The session as the program runs it, for the window and for anyone who must set one up the
// same way: the settings, a listen port drawn from portSeed, the network services (UPnP,
// local service discovery, DHT, NAT-PMP) only when a port was opened, and the session
// limits. Returns the port, or 0 when none could be opened.
std::uint16_t SetUpSession(DownloadEngine& engine, std::uint32_t portSeed);

// The torrent's own limits as the program sets them once it has been added.
void ApplyTorrentLimits(DownloadTask& task);
