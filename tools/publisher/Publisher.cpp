#include "Publisher.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <httplib.h>

#include "CannedResponses.h"
#include "CheckAnswer.h"
#include "FileSet.h"
#include "ReportAttempts.h"
#include "ServedContent.h"
#include "TorrentMaker.h"
#include "TorrentSigner.h"
#include "WebSeedServer.h"

namespace publisher {

namespace fs = std::filesystem;

struct Publisher::Impl {
    PublisherOptions options;
    std::unique_ptr<httplib::Server> server;
    std::thread listener;
    int port = 0;
    fs::path tempFolder;
    fs::path root;
    std::vector<char> torrent;
    std::unique_ptr<WebSeedServer> webSeed;
    // What web seeds taken down earlier had sent.
    std::uint64_t webSeedSentBefore = 0;
    std::vector<FlowSample> webSeedFlowBefore;
    bool webSeedUp = true;

    mutable std::mutex mutex;
    std::condition_variable stopped;
    bool stopping = false;
    std::vector<RequestRecord> requests;
    std::vector<std::string> statisticsLines;
    std::ofstream statisticsFile;
    ReportAttempts attempts;

    explicit Impl(PublisherOptions o) : options(std::move(o)) {
        if (options.tlsCertificate.empty()) {
            server = std::make_unique<httplib::Server>();
        } else {
            server = std::make_unique<httplib::SSLServer>(options.tlsCertificate.c_str(),
                                                          options.tlsKey.c_str());
            if (!server->is_valid()) {
                throw std::runtime_error("publisher: cannot use the TLS certificate " +
                                         options.tlsCertificate.string());
            }
        }
    }

    std::string origin() const {
        const std::string host = options.urlHost.empty() ? options.host : options.urlHost;
        return (options.tlsCertificate.empty() ? "http://" : "https://") + host + ":" +
               std::to_string(port);
    }

    std::optional<Fault> faultFor(const std::string& path) const {
        std::lock_guard lock(mutex);
        auto exact = options.faults.find(path);
        if (exact != options.faults.end()) {
            return exact->second;
        }
        for (const auto& [key, fault] : options.faults) {
            if (!key.empty() && key.back() == '*' &&
                path.compare(0, key.size() - 1, key, 0, key.size() - 1) == 0) {
                return fault;
            }
        }
        return std::nullopt;
    }

    // Waits up to `delay`; returns early when the server stops.
    void pause(std::chrono::milliseconds delay) {
        std::unique_lock lock(mutex);
        stopped.wait_for(lock, delay, [this] { return stopping; });
    }

    httplib::Server::HandlerResponse applyFault(const std::optional<Fault>& fault,
                                                httplib::Response& res) {
        if (!fault) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        return answerWithFault(*fault, res,
                               [this](std::chrono::milliseconds delay) { pause(delay); });
    }

    void record(const httplib::Request& req) {
        RequestRecord r;
        r.method = req.method;
        r.path = req.path;
        const auto q = req.target.find('?');
        r.query = q == std::string::npos ? "" : req.target.substr(q + 1);
        r.userAgent = req.get_header_value("User-Agent");
        r.range = req.get_header_value("Range");
        record(std::move(r));
    }

    void record(RequestRecord r) {
        if (options.logRequestsToStdout) {
            std::printf("request %s %s%s%s ua=\"%s\"%s%s\n", r.method.c_str(), r.path.c_str(),
                        r.query.empty() ? "" : "?", r.query.c_str(), r.userAgent.c_str(),
                        r.range.empty() ? "" : " range=", r.range.c_str());
            std::fflush(stdout);
        }
        std::lock_guard lock(mutex);
        requests.push_back(std::move(r));
    }

    void startWebSeed(int port) {
        WebSeedServer::Options o;
        o.host = webSeedHost();
        o.port = port;
        o.prefix = Publisher::kWebSeedPrefix;
        o.root = root;
        o.bytesPerSecond = options.webSeedBytesPerSecond;
        o.faultFor = [this](const std::string& path) { return faultFor(path); };
        o.onRequest = [this](const RequestRecord& r) { record(r); };
        webSeed = std::make_unique<WebSeedServer>(std::move(o));
        webSeed->start();
    }

    std::string webSeedHost() const {
        return options.webSeedHost.empty() ? options.host : options.webSeedHost;
    }

    std::string webSeedUrl() const {
        return "http://" + webSeedHost() + ":" + std::to_string(webSeed->port()) +
               Publisher::kWebSeedPrefix;
    }

    void prepareContent() {
        root = ServedContentRoot(options, tempFolder);
        startWebSeed(options.webSeedPort);
        std::vector<std::string> seeds;
        if (options.webSeedInTorrent) {
            seeds.push_back(webSeedUrl());
        }
        torrent =
            MakeTorrent(root, options.announceUrls, seeds, options.pieceSize, options.torrentKind);
        if (!options.signingKey.empty()) {
            torrent = SignTorrent(torrent, SigningKey(options.signingKey), options.wrongSignature);
        }
    }

    // Logged as it arrives, before any fault shapes the answer: a report whose answer breaks
    // off has still been taken.
    void logStatistics(const httplib::Request& req) {
        const auto q = req.target.find('?');
        const std::string query = q == std::string::npos ? "" : req.target.substr(q + 1);
        std::string line;
        {
            std::lock_guard lock(mutex);
            const int attempt = attempts.arrived(query, std::chrono::steady_clock::now());
            line = StatisticsJsonLine(query, UtcNow(), attempt);
            statisticsLines.push_back(line);
            if (statisticsFile.is_open()) {
                statisticsFile << line << '\n';
                statisticsFile.flush();
            }
        }
        if (options.statisticsToStdout) {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        }
    }

    void routes() {
        server->set_pre_routing_handler(
            [this](const httplib::Request& req, httplib::Response& res) {
                // The fault is chosen before the request shows in the record: a test that sees
                // the request and then changes the faults does not change its answer.
                const auto fault = faultFor(req.path);
                record(req);
                if (req.path == Publisher::kStatisticsPath) {
                    logStatistics(req);
                }
                return applyFault(fault, res);
            });
        server->Get(Publisher::kCheckPath, [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(mutex);
            res.set_content(CheckAnswerText(options, origin(), webSeedUrl()), "text/plain");
        });
        server->Get(Publisher::kTorrentPath,
                    [this](const httplib::Request&, httplib::Response& res) {
                        res.set_content(torrent.data(), torrent.size(), "application/x-bittorrent");
                    });
        server->Get(Publisher::kStatisticsPath,
                    [](const httplib::Request&, httplib::Response& res) {
                        res.set_content("OK", "text/plain");
                    });
        server->Get(Publisher::kSpeedTestPath,
                    [this](const httplib::Request&, httplib::Response& res) {
                        providePattern(res, options.speedTestBytes, options.speedTestBytes);
                    });
        server->Get(Publisher::kUpdatePage, [](const httplib::Request&, httplib::Response& res) {
            res.set_content(htmlPage("A new downloader is available"), "text/html");
        });
        server->Get(Publisher::kNoticePage, [](const httplib::Request&, httplib::Response& res) {
            res.set_content(htmlPage("Notice"), "text/html");
        });
    }
};

Publisher::Publisher(PublisherOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

Publisher::~Publisher() {
    stop();
    if (!impl_->tempFolder.empty()) {
        std::error_code ec;
        fs::remove_all(impl_->tempFolder, ec);
    }
}

void Publisher::start() {
    Impl& d = *impl_;
    if (d.listener.joinable()) {
        return;
    }
    d.port = d.options.port == 0
                 ? d.server->bind_to_any_port(d.options.host)
                 : (d.server->bind_to_port(d.options.host, d.options.port) ? d.options.port : -1);
    if (d.port <= 0) {
        throw std::runtime_error("cannot listen on " + d.options.host + ":" +
                                 std::to_string(d.options.port));
    }
    d.prepareContent();
    if (!d.options.statisticsLog.empty()) {
        d.statisticsFile.open(d.options.statisticsLog, std::ios::app);
        if (!d.statisticsFile) {
            throw std::runtime_error("cannot write " + d.options.statisticsLog.string());
        }
    }
    d.routes();
    d.listener = std::thread([&d] { d.server->listen_after_bind(); });
    while (!d.server->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void Publisher::stop() {
    Impl& d = *impl_;
    {
        std::lock_guard lock(d.mutex);
        d.stopping = true;
    }
    d.stopped.notify_all();
    if (d.listener.joinable()) {
        d.server->stop();
        d.listener.join();
    }
    if (d.webSeed) {
        d.webSeed->stop();
    }
}

int Publisher::port() const {
    return impl_->port;
}

std::string Publisher::origin() const {
    return impl_->origin();
}

std::string Publisher::checkUrl() const {
    return origin() + kCheckPath + "?" + kCheckQuery;
}

std::string Publisher::torrentUrl() const {
    return origin() + kTorrentPath;
}

std::string Publisher::webSeedUrl() const {
    return impl_->webSeedUrl();
}

int Publisher::webSeedPort() const {
    return impl_->webSeed ? impl_->webSeed->port() : 0;
}

std::uint64_t Publisher::webSeedBytesSent() const {
    const Impl& d = *impl_;
    return d.webSeedSentBefore + (d.webSeed && d.webSeedUp ? d.webSeed->bytesSent() : 0);
}

void Publisher::setWebSeedUp(bool up) {
    Impl& d = *impl_;
    if (!d.webSeed || up == d.webSeedUp) {
        return;
    }
    d.webSeedUp = up;
    if (up) {
        const int port = d.webSeed->port();
        d.webSeed.reset();
        d.startWebSeed(port);
        return;
    }
    d.webSeed->stop();
    d.webSeedSentBefore += d.webSeed->bytesSent();
    const auto flow = d.webSeed->flow();
    d.webSeedFlowBefore.insert(d.webSeedFlowBefore.end(), flow.begin(), flow.end());
}

std::vector<FlowSample> Publisher::webSeedFlow() const {
    std::vector<FlowSample> flow = impl_->webSeedFlowBefore;
    if (impl_->webSeed && impl_->webSeedUp) {
        const auto now = impl_->webSeed->flow();
        flow.insert(flow.end(), now.begin(), now.end());
    }
    return flow;
}

std::string Publisher::statisticsUrl() const {
    return origin() + kStatisticsPath;
}

std::string Publisher::speedTestUrl() const {
    return origin() + kSpeedTestPath;
}

std::string Publisher::checkAnswer() const {
    std::lock_guard lock(impl_->mutex);
    return CheckAnswerText(impl_->options, origin(), webSeedUrl());
}

void Publisher::setCheckField(int index, std::string text) {
    std::lock_guard lock(impl_->mutex);
    impl_->options.checkFields[index] = std::move(text);
}

void Publisher::setCheckBody(std::optional<std::string> body) {
    std::lock_guard lock(impl_->mutex);
    impl_->options.checkBody = std::move(body);
}

void Publisher::setFault(const std::string& path, Fault fault) {
    std::lock_guard lock(impl_->mutex);
    impl_->options.faults[path] = std::move(fault);
}

void Publisher::clearFaults() {
    std::lock_guard lock(impl_->mutex);
    impl_->options.faults.clear();
}

const std::vector<char>& Publisher::torrent() const {
    return impl_->torrent;
}

const std::filesystem::path& Publisher::contentRoot() const {
    return impl_->root;
}

std::vector<RequestRecord> Publisher::requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->requests;
}

std::size_t Publisher::requestCount(const std::string& path) const {
    std::lock_guard lock(impl_->mutex);
    return static_cast<std::size_t>(
        std::count_if(impl_->requests.begin(), impl_->requests.end(),
                      [&](const RequestRecord& r) { return r.path == path; }));
}

std::vector<std::string> Publisher::statisticsLines() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->statisticsLines;
}

} // namespace publisher
