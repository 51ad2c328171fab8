#pragma once

#include <cstdint>
#include <string>

// One connected peer of the torrent, as read at one moment.
struct PeerSnapshot {
    std::string address;
    std::uint16_t port = 0;
    int downloadRate = 0; // bytes per second from this peer
    bool seed = false;
    bool webSeed = false;
    bool incoming = false;
};
