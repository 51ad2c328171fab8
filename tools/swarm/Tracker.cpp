#include "tools/swarm/Tracker.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include <arpa/inet.h>

#include <httplib.h>

#include "tools/publisher/PercentDecoding.h"
#include "tools/swarm/Log.h"
#include "tools/swarm/PeerIdText.h"
#include "tools/swarm/ResettingPort.h"

namespace swarm {

namespace {

std::map<std::string, std::string> parseQuery(const std::string& target) {
    std::map<std::string, std::string> params;
    const auto question = target.find('?');
    if (question == std::string::npos) {
        return params;
    }
    std::string_view query(target);
    query.remove_prefix(question + 1);
    while (!query.empty()) {
        const auto amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const auto eq = pair.find('=');
        if (eq != std::string_view::npos) {
            params[publisher::DecodePercent(pair.substr(0, eq))] =
                publisher::DecodePercent(pair.substr(eq + 1));
        } else if (!pair.empty()) {
            params[publisher::DecodePercent(pair)] = "";
        }
        if (amp == std::string_view::npos) {
            break;
        }
        query.remove_prefix(amp + 1);
    }
    return params;
}

std::int64_t toInt(const std::string& text, std::int64_t fallback) {
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() ? value : fallback;
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

std::string benString(const std::string& s) {
    return std::to_string(s.size()) + ":" + s;
}
std::string benInt(std::int64_t v) {
    return "i" + std::to_string(v) + "e";
}

std::string failure(const std::string& reason) {
    return "d" + benString("failure reason") + benString(reason) + "e";
}

} // namespace

Tracker::Tracker(Options options) : options_(std::move(options)) {
    serve(options_.port);
}

void Tracker::serve(int port) {
    server_ = std::make_unique<httplib::Server>();
    server_->Get("/announce", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string body =
            handleAnnounce(req.target, req.remote_addr, req.get_header_value("User-Agent"));
        res.set_content(body, "text/plain");
    });
    if (port == 0) {
        port_ = server_->bind_to_any_port(options_.address);
    } else if (server_->bind_to_port(options_.address, port)) {
        port_ = port;
    } else {
        port_ = -1;
    }
    if (port_ <= 0) {
        throw std::runtime_error("tracker: cannot listen on " + options_.address + ":" +
                                 std::to_string(port));
    }
    // The socket already listens, so requests made before the thread runs wait in its queue.
    thread_ = std::thread([this] { server_->listen_after_bind(); });
}

void Tracker::stopServing() {
    server_->stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

Tracker::~Tracker() {
    if (!down_) {
        stopServing();
    }
}

void Tracker::setUp(bool up) {
    if (up == !down_) {
        return;
    }
    if (up) {
        const auto from = down_->resetFrom();
        resetBefore_.insert(resetBefore_.end(), from.begin(), from.end());
        down_.reset();
        serve(port_);
    } else {
        stopServing();
        down_ = std::make_unique<ResettingPort>(options_.address, port_);
    }
}

std::size_t Tracker::resets(const std::string& from) const {
    std::vector<std::string> all = resetBefore_;
    if (down_) {
        const auto now = down_->resetFrom();
        all.insert(all.end(), now.begin(), now.end());
    }
    return static_cast<std::size_t>(std::count(all.begin(), all.end(), from));
}

std::string Tracker::announceUrl() const {
    return "http://" + options_.address + ":" + std::to_string(port_) + "/announce";
}

std::vector<Announce> Tracker::announces() const {
    std::lock_guard lock(mutex_);
    return announces_;
}

std::size_t Tracker::announceCount() const {
    std::lock_guard lock(mutex_);
    return announces_.size();
}

std::string Tracker::handleAnnounce(const std::string& target, const std::string& remoteAddress,
                                    const std::string& userAgent) {
    const auto params = parseQuery(target);
    const auto param = [&params](const char* name) {
        const auto it = params.find(name);
        return it == params.end() ? std::string() : it->second;
    };

    Announce a;
    a.time = std::chrono::system_clock::now();
    const std::string rawHash = param("info_hash");
    a.infoHash = hex(rawHash);
    a.peerId = param("peer_id");
    a.ip = remoteAddress;
    a.port = static_cast<int>(toInt(param("port"), 0));
    a.event = param("event");
    a.left = toInt(param("left"), -1);
    a.userAgent = userAgent;
    a.compact = param("compact") == "1";

    if (options_.log) {
        options_.log->write("tracker: announce " + a.infoHash + " from " + a.ip + ":" +
                            std::to_string(a.port) + " peer id \"" + peerIdText(a.peerId) +
                            "\" event \"" + a.event + "\" left " + std::to_string(a.left) +
                            " user agent \"" + a.userAgent + "\"");
    }

    std::lock_guard lock(mutex_);
    announces_.push_back(a);
    if (rawHash.size() != 20 || a.peerId.size() != 20 || a.port <= 0 || a.port > 65535) {
        return failure("invalid announce");
    }

    auto& known = peers_[a.infoHash];
    std::erase_if(known, [&a](const KnownPeer& p) {
        return p.peerId == a.peerId || (p.ip == a.ip && p.port == a.port);
    });
    if (a.event == "stopped") {
        return "d" + benString("interval") + benInt(options_.interval) + benString("peers") +
               benString("") + "e";
    }

    int complete = a.left == 0 ? 1 : 0;
    int incomplete = a.left == 0 ? 0 : 1;
    for (const auto& p : known) {
        (p.seed ? complete : incomplete) += 1;
    }

    const auto numwant = std::clamp<std::int64_t>(toInt(param("numwant"), 50), 0, 200);
    const bool compact = options_.peerList == PeerList::Compact ||
                         (options_.peerList == PeerList::AsAsked && a.compact);
    std::string peers;
    std::int64_t count = 0;
    for (const auto& p : known) {
        if (count >= numwant) {
            break;
        }
        if (compact) {
            in_addr address{};
            if (inet_pton(AF_INET, p.ip.c_str(), &address) != 1) {
                continue; // compact lists carry IPv4 only
            }
            const auto bytes = reinterpret_cast<const char*>(&address.s_addr);
            peers.append(bytes, 4);
            peers.push_back(static_cast<char>((p.port >> 8) & 0xff));
            peers.push_back(static_cast<char>(p.port & 0xff));
        } else {
            peers += "d" + benString("ip") + benString(p.ip) + benString("peer id") +
                     benString(p.peerId) + benString("port") + benInt(p.port) + "e";
        }
        ++count;
    }
    known.push_back({a.peerId, a.ip, a.port, a.left == 0});

    return "d" + benString("complete") + benInt(complete) + benString("incomplete") +
           benInt(incomplete) + benString("interval") + benInt(options_.interval) +
           benString("peers") + (compact ? benString(peers) : "l" + peers + "e") + "e";
}

} // namespace swarm
