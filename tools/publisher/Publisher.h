#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PercentDecoding.h"
#include "PublisherOptions.h"
#include "StatisticsLine.h"
#include "WebSeedServer.h"

namespace publisher {

// One request as the server saw it.
struct RequestRecord {
    std::string method;
    std::string path;  // decoded
    std::string query; // raw, as sent
    std::string userAgent;
    std::string range;
};

// The publisher's file server: the download check answer, the torrent file, the statistics page,
// the speed-test file and a few plain pages on one HTTP port, and the web seed on a second one.
// Tests run it in-process; kestrel-publisher runs it (and, later, the tracker and seeding peers) as
// a program.
class Publisher {
public:
    static constexpr const char* kCheckPath = "/common/downloader/checkfiledownload.asp";
    static constexpr const char* kCheckQuery = "JH=EMW_FULL";
    static constexpr const char* kTorrentPath = "/files/installer.torrent";
    static constexpr const char* kWebSeedPrefix = "/seed/";
    static constexpr const char* kStatisticsPath = "/statistics/report.asp";
    static constexpr const char* kSpeedTestPath = "/speedtest.bin";
    static constexpr const char* kUpdatePage = "/update.html";
    static constexpr const char* kNoticePage = "/notice.html";

    explicit Publisher(PublisherOptions options);
    ~Publisher();
    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    // Prepares the data and the torrent, binds and starts serving on a thread of its own.
    // Throws std::runtime_error (or a filesystem error) when any of that fails.
    void start();
    // Stops serving; stalled answers are released at once. Safe to call twice.
    void stop();

    int port() const;
    int webSeedPort() const;
    // File data the web seed has sent, in all and chunk by chunk.
    std::uint64_t webSeedBytesSent() const;
    std::vector<FlowSample> webSeedFlow() const;
    // Takes the web seed off its port (connections refused, open ones closed) or puts it back
    // on the same port. Not thread-safe against the other web seed calls.
    void setWebSeedUp(bool up);
    // "http://host:port", the prefix of every URL below.
    std::string origin() const;
    std::string checkUrl() const;
    std::string torrentUrl() const;
    // On the web seed's own port: "http://host:seedport/seed/".
    std::string webSeedUrl() const;
    std::string statisticsUrl() const;
    std::string speedTestUrl() const;

    // The check answer as it would be sent now.
    std::string checkAnswer() const;
    void setCheckField(int index, std::string text);
    void setCheckBody(std::optional<std::string> body);
    void setFault(const std::string& path, Fault fault);
    void clearFaults();

    const std::vector<char>& torrent() const;
    // The served data folder; its name is the torrent's name.
    const std::filesystem::path& contentRoot() const;

    std::vector<RequestRecord> requests() const;
    std::size_t requestCount(const std::string& path) const;
    std::vector<std::string> statisticsLines() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace publisher
