#pragma once

#include <cstdint>
#include <string>

#include "platform/PeerEndpoint.h"

// One connected peer of the torrent, as read at one moment.
struct PeerSnapshot {
    std::string address;
    std::uint16_t port = 0;
    std::uint32_t downRate = 0; // bytes per second from this peer
    // Bytes per second this connection may bring at most; -1 when nothing limits it.
    int downloadLimit = -1;
    bool isWebSeed = false; // an HTTP source, not a BitTorrent peer
    bool isSeed = false;    // holds every piece; the library says so of web seeds too
    bool incoming = false;
};
