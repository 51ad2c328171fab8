#pragma once

#include <cstdint>
#include <string>

// A BitTorrent peer's address (IPv4 dotted or IPv6 text) and listening port: a server peer as
// the download check names it, and as the engine calls it in or keeps it out.
struct PeerEndpoint {
    std::string address;
    std::uint16_t port = 0;

    bool operator==(const PeerEndpoint&) const = default;
};
