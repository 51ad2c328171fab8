#include "WebSeedServer.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <list>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Publisher.h"
#include "WebSeedHttp.h"

namespace publisher {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxHeaderBytes = 16 * 1024;
constexpr int kSendBufferBytes = 32 * 1024;
constexpr int kSegmentBytes = 1448;
constexpr std::size_t kChunkBytes = 16 * 1024;

} // namespace

std::uint64_t FullestSpan(const std::vector<FlowSample>& flow, std::chrono::milliseconds span) {
    // The samples come in time order; the span slides from one sample to the next.
    std::uint64_t fullest = 0;
    std::uint64_t inside = 0;
    std::size_t first = 0;
    for (const FlowSample& s : flow) {
        inside += s.bytes;
        while (s.at - flow[first].at >= span) {
            inside -= flow[first++].bytes;
        }
        fullest = std::max(fullest, inside);
    }
    return fullest;
}

struct WebSeedServer::Impl {
    Options options;
    int listenFd = -1;
    int port = 0;
    std::thread acceptor;

    std::mutex mutex;
    std::condition_variable stopped;
    bool stopping = false;
    std::set<int> connections;
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::list<Worker> workers;
    std::uint64_t sent = 0;
    std::vector<FlowSample> flow;

    explicit Impl(Options o) : options(std::move(o)) {}

    void pause(std::chrono::milliseconds delay) {
        std::unique_lock lock(mutex);
        stopped.wait_for(lock, delay, [this] { return stopping; });
    }

    bool isStopping() {
        std::lock_guard lock(mutex);
        return stopping;
    }

    std::optional<fs::path> resolve(const std::string& path) const {
        if (path.compare(0, options.prefix.size(), options.prefix) != 0) {
            return std::nullopt;
        }
        const fs::path wanted =
            (options.root.parent_path() / path.substr(options.prefix.size())).lexically_normal();
        const auto relative = wanted.lexically_relative(options.root);
        if (relative.empty() || *relative.begin() == "..") {
            return std::nullopt;
        }
        std::error_code ec;
        if (!fs::is_regular_file(wanted, ec)) {
            return std::nullopt;
        }
        return wanted;
    }

    // Sends bytes [first, first + length) of the file; false when the connection must end.
    bool sendFileBytes(int fd, int file, std::uint64_t first, std::uint64_t length) {
        std::vector<char> chunk(kChunkBytes);
        const auto started = std::chrono::steady_clock::now();
        std::uint64_t sent = 0;
        while (sent < length) {
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), length - sent));
            const ssize_t got = ::pread(file, chunk.data(), n, static_cast<off_t>(first + sent));
            if (got <= 0 || !sendAll(fd, chunk.data(), static_cast<std::size_t>(got))) {
                return false;
            }
            sent += static_cast<std::uint64_t>(got);
            {
                std::lock_guard lock(mutex);
                this->sent += static_cast<std::uint64_t>(got);
                flow.push_back({std::chrono::steady_clock::now(), static_cast<std::uint64_t>(got)});
            }
            if (options.bytesPerSecond > 0) {
                const auto due =
                    started + std::chrono::microseconds(sent * 1'000'000 / options.bytesPerSecond);
                const auto now = std::chrono::steady_clock::now();
                if (due > now) {
                    pause(std::chrono::duration_cast<std::chrono::milliseconds>(due - now));
                }
                if (isStopping()) {
                    return false;
                }
            }
        }
        return true;
    }

    // Answers one request; false when the connection must end.
    bool answer(int fd, const WebSeedRequest& req) {
        const auto q = req.target.find('?');
        const std::string path = DecodePercent(req.target.substr(0, q));
        // Chosen before the request shows in the record, as the file server does.
        const auto fault = options.faultFor ? options.faultFor(path) : std::nullopt;
        if (options.onRequest) {
            RequestRecord record{req.method, path,
                                 q == std::string::npos ? "" : req.target.substr(q + 1),
                                 req.userAgent, req.range};
            options.onRequest(record);
        }
        const bool keepAlive = req.version == "HTTP/1.1" && req.connection != "close";
        if (req.method != "GET" && req.method != "HEAD") {
            sendPage(fd, 405, "Method Not Allowed", false);
            return false;
        }
        if (fault) {
            switch (fault->kind) {
            case Fault::Kind::NotFound:
                return sendPage(fd, 404, "Not Found", keepAlive) && keepAlive;
            case Fault::Kind::ServerError:
                return sendPage(fd, 500, "Internal Server Error", keepAlive) && keepAlive;
            case Fault::Kind::EmptyBody: {
                const std::string h = responseHead(200, "OK", 0, "", keepAlive);
                return sendAll(fd, h.data(), h.size()) && keepAlive;
            }
            case Fault::Kind::Redirect: {
                const std::string h = responseHead(
                    302, "Found", 0, "Location: " + fault->location + "\r\n", keepAlive);
                return sendAll(fd, h.data(), h.size()) && keepAlive;
            }
            case Fault::Kind::Unavailable: {
                const auto retry = fault->retryAfterSeconds();
                const std::string body =
                    "<html><body><h1>503 Service Unavailable</h1></body></html>\n";
                const std::string h =
                    responseHead(503, "Service Unavailable", body.size(),
                                 "Content-Type: text/html\r\n" +
                                     (retry > 0 ? "Retry-After: " + std::to_string(retry) + "\r\n"
                                                : std::string()),
                                 keepAlive);
                return sendAll(fd, h.data(), h.size()) && sendAll(fd, body.data(), body.size()) &&
                       keepAlive;
            }
            case Fault::Kind::Stall:
                pause(fault->delay);
                if (isStopping()) {
                    return false;
                }
                break;
            default:
                break; // CutOff, Reset and NoLength are applied below; the rest are the file
                       // server's
            }
        }
        const auto file = resolve(path);
        if (!file) {
            return sendPage(fd, 404, "Not Found", keepAlive) && keepAlive;
        }
        const int in = ::open(file->c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0) {
            return sendPage(fd, 500, "Internal Server Error", keepAlive) && keepAlive;
        }
        std::error_code ec;
        const std::uint64_t size = fs::file_size(*file, ec);
        ByteRange range{0, size == 0 ? 0 : size - 1};
        int status = 200;
        const char* reason = "OK";
        std::string extra = "Accept-Ranges: bytes\r\nContent-Type: application/octet-stream\r\n";
        if (!req.range.empty()) {
            const auto asked = ParseByteRange(req.range, size);
            if (!asked) {
                ::close(in);
                const std::string h = responseHead(
                    416, "Range Not Satisfiable", 0,
                    "Content-Range: bytes */" + std::to_string(size) + "\r\n", keepAlive);
                return sendAll(fd, h.data(), h.size()) && keepAlive;
            }
            range = *asked;
            status = 206;
            reason = "Partial Content";
            extra += "Content-Range: bytes " + std::to_string(range.first) + "-" +
                     std::to_string(range.last) + "/" + std::to_string(size) + "\r\n";
        }
        const std::uint64_t length = size == 0 ? 0 : range.last - range.first + 1;
        const auto kind = fault ? fault->kind : Fault::Kind::SizedBody;
        const bool cut = kind == Fault::Kind::CutOff || kind == Fault::Kind::Reset;
        const std::string h = kind == Fault::Kind::NoLength
                                  ? "HTTP/1.1 200 OK\r\nServer: kestrel-publisher\r\n" + extra +
                                        "Connection: close\r\n\r\n"
                                  : responseHead(status, reason, length, extra, keepAlive);
        bool ok = sendAll(fd, h.data(), h.size());
        if (ok && req.method == "GET") {
            ok = sendFileBytes(fd, in, range.first, cut ? length / 2 : length) && !cut;
        }
        ::close(in);
        if (kind == Fault::Kind::Reset) {
            // Closing with a zero linger time sends a reset instead of the orderly end.
            const linger now{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
        }
        return ok && keepAlive && kind != Fault::Kind::NoLength;
    }

    void serve(int fd) {
        std::string buffer;
        char chunk[16 * 1024];
        bool open = true;
        while (open) {
            // Answer every complete request already buffered: that is what pipelining needs.
            std::size_t end;
            while (open && (end = buffer.find("\r\n\r\n")) != std::string::npos) {
                const auto req = parseRequestHead(buffer.substr(0, end + 2));
                buffer.erase(0, end + 4);
                open = req && answer(fd, *req);
            }
            if (!open || buffer.size() > kMaxHeaderBytes) {
                break;
            }
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
        std::lock_guard lock(mutex);
        if (connections.erase(fd) > 0) {
            ::close(fd);
        }
    }

    void acceptLoop() {
        while (true) {
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED) {
                    continue;
                }
                return; // the listening socket was shut down
            }
            // A small send buffer keeps the bytes counted as sent close to what the client has
            // taken: the kernel would otherwise let up to 4 MB pile up unread on loopback.
            const int sendBuffer = kSendBufferBytes;
            ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
            std::lock_guard lock(mutex);
            if (stopping) {
                ::close(fd);
                return;
            }
            // Join the threads of connections that have ended, so a long run does not pile them up.
            for (auto it = workers.begin(); it != workers.end();) {
                if (it->done->load()) {
                    it->thread.join();
                    it = workers.erase(it);
                } else {
                    ++it;
                }
            }
            connections.insert(fd);
            auto done = std::make_shared<std::atomic<bool>>(false);
            workers.push_back({std::thread([this, fd, done] {
                                   serve(fd);
                                   done->store(true);
                               }),
                               done});
        }
    }
};

WebSeedServer::WebSeedServer(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}

WebSeedServer::~WebSeedServer() {
    stop();
}

void WebSeedServer::start() {
    Impl& d = *impl_;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(d.options.port));
    if (inet_pton(AF_INET, d.options.host.c_str(), &addr.sin_addr) != 1) {
        throw std::runtime_error("web seed: not an IPv4 address: " + d.options.host);
    }
    d.listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(d.listenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    // Segments the size of an Ethernet path rather than loopback's 64 KiB, so that a client
    // reading slowly opens its window, and the counted flow moves, in small steps.
    const int segment = kSegmentBytes;
    ::setsockopt(d.listenFd, IPPROTO_TCP, TCP_MAXSEG, &segment, sizeof segment);
    if (d.listenFd < 0 ||
        ::bind(d.listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(d.listenFd, 64) != 0) {
        const std::string why = std::strerror(errno);
        if (d.listenFd >= 0) {
            ::close(d.listenFd);
            d.listenFd = -1;
        }
        throw std::runtime_error("web seed: cannot listen on " + d.options.host + ":" +
                                 std::to_string(d.options.port) + ": " + why);
    }
    socklen_t len = sizeof addr;
    ::getsockname(d.listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    d.port = ntohs(addr.sin_port);
    d.acceptor = std::thread([&d] { d.acceptLoop(); });
}

void WebSeedServer::stop() {
    Impl& d = *impl_;
    {
        std::lock_guard lock(d.mutex);
        d.stopping = true;
        for (int fd : d.connections) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    d.stopped.notify_all();
    if (d.listenFd >= 0) {
        ::shutdown(d.listenFd, SHUT_RDWR);
    }
    if (d.acceptor.joinable()) {
        d.acceptor.join();
    }
    if (d.listenFd >= 0) {
        ::close(d.listenFd);
        d.listenFd = -1;
    }
    std::list<Impl::Worker> workers;
    {
        std::lock_guard lock(d.mutex);
        workers.swap(d.workers);
    }
    for (auto& w : workers) {
        w.thread.join();
    }
}

int WebSeedServer::port() const {
    return impl_->port;
}

std::uint64_t WebSeedServer::bytesSent() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->sent;
}

std::vector<FlowSample> WebSeedServer::flow() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->flow;
}

} // namespace publisher
