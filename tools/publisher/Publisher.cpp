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

#include "FileSet.h"
#include "ReportAttempts.h"
#include "TorrentMaker.h"
#include "TorrentSigner.h"
#include "WebSeedServer.h"

namespace publisher {

namespace {

namespace fs = std::filesystem;

std::string htmlPage(const std::string& title) {
    return "<html><head><title>" + title + "</title></head><body><h1>" + title +
           "</h1></body></html>\n";
}

// Filler bytes for sized bodies and the speed test: cheap and the same every time.
void fillPattern(char* out, std::size_t length, std::uint64_t offset) {
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint64_t at = offset + i;
        out[i] = static_cast<char>('a' + (at * 7 + at / 26) % 26);
    }
}

// Streams `length` pattern bytes; stops early (dropping the connection) after `cutAt` bytes.
void providePattern(httplib::Response& res, std::uint64_t length, std::uint64_t cutAt) {
    res.set_content_provider(
        static_cast<std::size_t>(length), "application/octet-stream",
        [cutAt](std::size_t offset, std::size_t want, httplib::DataSink& sink) {
            if (offset >= cutAt) {
                return false;
            }
            char chunk[16 * 1024];
            const std::size_t n = std::min<std::size_t>(
                {want, sizeof chunk, static_cast<std::size_t>(cutAt - offset)});
            fillPattern(chunk, n, offset);
            return sink.write(chunk, n);
        });
}

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

void appendJsonString(std::string& out, const std::string& text) {
    out += '"';
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += ch;
        }
    }
    out += '"';
}

std::vector<std::pair<std::string, std::string>> splitQuery(const std::string& rawQuery) {
    std::vector<std::pair<std::string, std::string>> out;
    std::size_t start = 0;
    while (start <= rawQuery.size() && !rawQuery.empty()) {
        std::size_t end = rawQuery.find('&', start);
        if (end == std::string::npos) {
            end = rawQuery.size();
        }
        const std::string item = rawQuery.substr(start, end - start);
        if (!item.empty()) {
            const std::size_t eq = item.find('=');
            out.emplace_back(DecodePercent(item.substr(0, eq)),
                             eq == std::string::npos ? "" : DecodePercent(item.substr(eq + 1)));
        }
        start = end + 1;
    }
    return out;
}

} // namespace

std::string StatisticsJsonLine(const std::string& rawQuery, const std::string& utcTime,
                               int attempt) {
    const auto params = splitQuery(rawQuery);
    std::string line = "{\"time\":";
    appendJsonString(line, utcTime);
    line += ",\"attempt\":" + std::to_string(attempt);
    line += ",\"stType\":";
    auto type = std::find_if(params.begin(), params.end(),
                             [](const auto& p) { return p.first == "stType"; });
    appendJsonString(line, type == params.end() ? std::string() : type->second);
    for (const auto& [key, value] : params) {
        if (key == "stType") {
            continue;
        }
        line += ',';
        appendJsonString(line, key);
        line += ':';
        appendJsonString(line, value);
    }
    line += '}';
    return line;
}

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

    std::string defaultField(int index) const {
        switch (index) {
        case 0:
            return "12";
        case 1:
            return origin() + Publisher::kUpdatePage;
        case 2:
        case 3:
            return "";
        case 4:
            return origin() + Publisher::kTorrentPath;
        case 5:
            return webSeedUrl();
        case 6:
            return std::to_string(options.serverPeerPort);
        case 7: {
            std::string list;
            for (const auto& a : options.serverPeerAddresses) {
                list += (list.empty() ? "" : ",") + a;
            }
            return list;
        }
        case 8:
            return std::to_string(options.callInKiB) + "," + std::to_string(options.releaseKiB);
        case 9:
            return origin() + Publisher::kStatisticsPath;
        case 10:
            return origin() + Publisher::kSpeedTestPath;
        default:
            return "";
        }
    }

    // Caller holds the mutex.
    std::string checkAnswerLocked() const {
        if (options.checkBody) {
            return *options.checkBody;
        }
        std::string body;
        for (int i = 0; i < 11; ++i) {
            auto over = options.checkFields.find(i);
            body += (i == 0 ? "" : "|") +
                    (over != options.checkFields.end() ? over->second : defaultField(i));
        }
        return body;
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

    httplib::Server::HandlerResponse applyFault(const httplib::Request& req,
                                                httplib::Response& res) {
        const auto fault = faultFor(req.path);
        if (!fault) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        switch (fault->kind) {
        case Fault::Kind::EmptyBody:
            res.status = 200;
            res.set_content("", "text/plain");
            break;
        case Fault::Kind::CutOff:
        case Fault::Kind::Reset: // the file server has no way to reset; it cuts off
            res.status = 200;
            providePattern(res, fault->bytes, fault->bytes / 2);
            break;
        case Fault::Kind::NotFound:
            res.status = 404;
            res.set_content(htmlPage("404 Not Found"), "text/html");
            break;
        case Fault::Kind::ServerError:
            res.status = 500;
            res.set_content(htmlPage("500 Internal Server Error"), "text/html");
            break;
        case Fault::Kind::SizedBody:
            res.status = 200;
            providePattern(res, fault->bytes, fault->bytes);
            break;
        case Fault::Kind::Stall:
            pause(fault->delay);
            return httplib::Server::HandlerResponse::Unhandled;
        case Fault::Kind::Trickle: {
            res.status = 200;
            const std::uint64_t total = fault->bytes;
            const auto delay = fault->delay;
            res.set_content_provider(
                static_cast<std::size_t>(total), "application/octet-stream",
                [this, total, delay](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    const std::size_t piece =
                        static_cast<std::size_t>(std::max<std::uint64_t>(1, (total + 9) / 10));
                    const std::size_t n = std::min<std::size_t>(piece, total - offset);
                    if (offset > 0) {
                        pause(delay);
                    }
                    std::string chunk(n, '\0');
                    fillPattern(chunk.data(), n, offset);
                    return sink.write(chunk.data(), n);
                });
            break;
        }
        case Fault::Kind::Redirect:
            res.set_redirect(fault->location, 302);
            break;
        case Fault::Kind::Unavailable:
            res.status = 503;
            if (fault->retryAfterSeconds() > 0) {
                res.set_header("Retry-After", std::to_string(fault->retryAfterSeconds()));
            }
            res.set_content(htmlPage("503 Service Unavailable"), "text/html");
            break;
        case Fault::Kind::NoLength: {
            res.status = 200;
            const std::uint64_t total = fault->bytes;
            res.set_chunked_content_provider(
                "application/octet-stream", [total](std::size_t offset, httplib::DataSink& sink) {
                    std::string chunk(static_cast<std::size_t>(total), '\0');
                    fillPattern(chunk.data(), chunk.size(), offset);
                    sink.write(chunk.data(), chunk.size());
                    sink.done();
                    return true;
                });
            break;
        }
        }
        return httplib::Server::HandlerResponse::Handled;
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
        if (!options.contentFolder.empty()) {
            root = fs::absolute(options.contentFolder).lexically_normal();
            if (!root.has_filename()) {
                root = root.parent_path();
            }
            if (!fs::is_directory(root)) {
                throw std::runtime_error("not a folder: " + root.string());
            }
        } else {
            fs::path work = options.workFolder;
            if (work.empty()) {
                std::string templ = (fs::temp_directory_path() / "kestrel-publisher-XXXXXX");
                if (mkdtemp(templ.data()) == nullptr) {
                    throw std::runtime_error("cannot make a temporary folder");
                }
                tempFolder = templ;
                work = tempFolder;
            }
            root =
                GenerateFileSet(work, options.generatedName, options.generatedBytes, options.seed);
        }
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
            line = StatisticsJsonLine(query, utcNow(), attempt);
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
                record(req);
                if (req.path == Publisher::kStatisticsPath) {
                    logStatistics(req);
                }
                return applyFault(req, res);
            });
        server->Get(Publisher::kCheckPath, [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(mutex);
            res.set_content(checkAnswerLocked(), "text/plain");
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
    return impl_->checkAnswerLocked();
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
