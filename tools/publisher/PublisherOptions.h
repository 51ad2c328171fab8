#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "TorrentMaker.h"

namespace publisher {

// A scripted misbehaviour for one path, to test how the client copes.
struct Fault {
    enum class Kind {
        EmptyBody,   // 200 with no body
        CutOff,      // announces `bytes`, sends half of them, then drops the connection
        NotFound,    // 404 with an HTML page
        ServerError, // 500 with an HTML page
        SizedBody,   // 200 with exactly `bytes` bytes
        Stall,       // waits `delay` (or until the server stops), then answers as usual
        Trickle,     // 200 with `bytes` bytes sent in ten pieces, `delay` apart
        Redirect,    // 302 to `location`
        Unavailable, // 503, with Retry-After in whole seconds of `delay` when it is not zero
        Reset,       // announces the body, sends half of it, then resets the connection
        NoLength,    // 200 without Content-Length, the body ended by closing the connection
    };
    Kind kind = Kind::EmptyBody;
    std::uint64_t bytes = 0;
    std::chrono::milliseconds delay{0};
    std::string location = {};

    static Fault empty() { return {Kind::EmptyBody}; }
    static Fault cutOff(std::uint64_t announced) { return {Kind::CutOff, announced}; }
    static Fault notFound() { return {Kind::NotFound}; }
    static Fault serverError() { return {Kind::ServerError}; }
    static Fault sized(std::uint64_t bytes) { return {Kind::SizedBody, bytes}; }
    static Fault stall(std::chrono::milliseconds delay) { return {Kind::Stall, 0, delay}; }
    static Fault trickle(std::uint64_t bytes, std::chrono::milliseconds gap) {
        return {Kind::Trickle, bytes, gap};
    }
    static Fault redirect(std::string location) { return {Kind::Redirect, 0, {}, location}; }
    static Fault unavailable(std::chrono::seconds retryAfter = {}) {
        return {Kind::Unavailable, 0, retryAfter};
    }
    static Fault reset() { return {Kind::Reset}; }
    static Fault noLength() { return {Kind::NoLength}; }

    // The Retry-After value of an Unavailable answer; none when zero.
    long long retryAfterSeconds() const {
        return std::chrono::duration_cast<std::chrono::seconds>(delay).count();
    }
};

// Everything a run of the sample publisher can be told. Defaults give a working file server for
// the program on an ephemeral loopback port, serving a generated 64 MiB installer.
struct PublisherOptions {
    std::string host = "127.0.0.1";
    int port = 0; // 0: any free port
    // Serve https with this certificate (PEM, chain allowed) and its key; empty: plain http.
    std::filesystem::path tlsCertificate;
    std::filesystem::path tlsKey;
    // The host name the answer's URLs give (empty: `host`), for a certificate made out to a
    // name rather than the address.
    std::string urlHost;

    // The data: an existing folder, or (when empty) a generated installer-shaped file set.
    std::filesystem::path contentFolder;
    std::string generatedName = "Emberway Installer";
    std::uint64_t generatedBytes = 64ull * 1024 * 1024;
    std::uint32_t seed = 1;
    // Where the generated set goes; empty: a temporary folder removed when the publisher ends.
    std::filesystem::path workFolder;

    // The torrent: tracker URLs (one tier each), piece size (0: libtorrent's choice), and
    // whether the torrent itself names the web seed (the program gets it from the answer).
    std::vector<std::string> announceUrls;
    int pieceSize = 0;
    TorrentKind torrentKind = TorrentKind::V1;
    bool webSeedInTorrent = false;
    // An Ed25519 private key (PEM) to sign the torrent with; empty: unsigned. wrongSignature
    // makes the signature one that does not verify.
    std::filesystem::path signingKey;
    bool wrongSignature = false;

    // What the check answer names besides this server's own pages.
    std::uint16_t serverPeerPort = 0;
    std::vector<std::string> serverPeerAddresses;
    int callInKiB = 100;
    int releaseKiB = 200;
    // Field overrides by index (0 to 10), and a whole-body override sent as it is.
    std::map<int, std::string> checkFields;
    std::optional<std::string> checkBody;

    // The web seed listens on a port of its own (0: any free port), optionally on an address of
    // its own (empty: `host`), so that a client can tell it and limit it apart from the other
    // sources; optionally rate-limited per connection in bytes per second (0: no limit).
    std::string webSeedHost;
    int webSeedPort = 0;
    std::uint64_t webSeedBytesPerSecond = 0;

    std::uint64_t speedTestBytes = 3'000'000;

    // Statistics reports: one JSON line each, to this file (when set) and to standard output
    // (when asked); always kept in memory for tests.
    std::filesystem::path statisticsLog;
    bool statisticsToStdout = false;
    // Each request's method, path, query and user agent to standard output.
    bool logRequestsToStdout = false;

    // Faults by path; a key ending in "*" matches every path that starts with the rest.
    std::map<std::string, Fault> faults;
};

} // namespace publisher
