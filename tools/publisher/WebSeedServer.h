#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PublisherOptions.h"
#include "WebSeedHttp.h"

namespace publisher {

struct RequestRecord;

// Bytes of file data the web seed sent, and when (one entry per chunk written to a socket).
struct FlowSample {
    std::chrono::steady_clock::time_point at;
    std::uint64_t bytes = 0;
};

// The web seed: serves the files of one data folder over HTTP/1.1 with Range requests, keep-alive
// and pipelining, as BitTorrent clients use a web seed (they send several range requests on one
// connection before reading the answers). A GET of <prefix><folder name>/<file path> answers
// the file or the asked part of it; nothing outside the folder is ever served.
class WebSeedServer {
public:
    struct Options {
        std::string host = "127.0.0.1";
        int port = 0;
        std::string prefix = "/seed/";
        std::filesystem::path root;       // the data folder; its name is the torrent's name
        std::uint64_t bytesPerSecond = 0; // per connection; 0: as fast as possible
        // Consulted for every request: a fault to apply instead of the usual answer.
        std::function<std::optional<Fault>(const std::string& path)> faultFor;
        std::function<void(const RequestRecord&)> onRequest;
    };

    explicit WebSeedServer(Options options);
    ~WebSeedServer();
    WebSeedServer(const WebSeedServer&) = delete;
    WebSeedServer& operator=(const WebSeedServer&) = delete;

    // Binds and starts accepting; throws std::runtime_error when it cannot listen.
    void start();
    // Closes every connection and waits for their threads. Safe to call twice.
    void stop();
    int port() const;
    // File data sent so far, over every connection.
    std::uint64_t bytesSent() const;
    std::vector<FlowSample> flow() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The most bytes of the flow that fall in any span of this length.
std::uint64_t FullestSpan(const std::vector<FlowSample>& flow, std::chrono::milliseconds span);

} // namespace publisher
