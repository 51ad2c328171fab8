#include "SwarmHarness.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>

#include <httplib.h>
#include <libtorrent/alert_types.hpp>
#include <libtorrent/bencode.hpp>
#include <libtorrent/create_torrent.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/torrent_flags.hpp>
#include <libtorrent/torrent_info.hpp>

#include <QCoreApplication>

namespace lt = libtorrent;
namespace fs = std::filesystem;

bool waitFor(const std::function<bool()>& pred, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end) {
            return pred();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "kestrel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::abort();
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

FileSet MakeFileSet(const fs::path& root, const std::string& name,
                    const std::vector<std::int64_t>& sizes,
                    const std::vector<std::string>& trackers, int pieceSize) {
    FileSet set{root, name, sizes, {}};
    std::mt19937_64 random(sizes.size() * 7919 + name.size());
    fs::create_directories(root / name);
    lt::file_storage storage;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string rel = name + "/file" + std::to_string(i) + ".bin";
        std::ofstream out(root / rel, std::ios::binary);
        std::vector<std::uint64_t> block(8192);
        for (std::int64_t left = sizes[i]; left > 0;) {
            for (auto& w : block) {
                w = random();
            }
            const auto n = std::min<std::int64_t>(left, block.size() * 8);
            out.write(reinterpret_cast<const char*>(block.data()), n);
            left -= n;
        }
        storage.add_file(rel, sizes[i]);
    }
    lt::create_torrent ct(storage, pieceSize, lt::create_torrent::v1_only);
    int tier = 0;
    for (const auto& t : trackers) {
        ct.add_tracker(t, tier++);
    }
    lt::set_piece_hashes(ct, root.string());
    lt::bencode(std::back_inserter(set.torrent), ct.generate());
    return set;
}

bool SameFiles(const FileSet& set, const fs::path& folder) {
    for (std::size_t i = 0; i < set.sizes.size(); ++i) {
        const std::string rel = set.name + "/file" + std::to_string(i) + ".bin";
        std::ifstream a(set.root / rel, std::ios::binary), b(folder / rel, std::ios::binary);
        if (!a || !b) {
            return false;
        }
        std::vector<char> x(1 << 16), y(1 << 16);
        while (a && b) {
            a.read(x.data(), x.size());
            b.read(y.data(), y.size());
            if (a.gcount() != b.gcount() ||
                !std::equal(x.begin(), x.begin() + a.gcount(), y.begin())) {
                return false;
            }
        }
        if (bool(a) != bool(b)) {
            return false;
        }
    }
    return true;
}

TestPeer::TestPeer(const std::string& address, std::uint16_t port, const FileSet& set,
                   const fs::path& folder, bool seed, bool announce)
    : port_(port) {
    lt::settings_pack p;
    p.set_str(lt::settings_pack::listen_interfaces, address + ":" + std::to_string(port));
    p.set_str(lt::settings_pack::outgoing_interfaces, address);
    p.set_bool(lt::settings_pack::enable_upnp, false);
    p.set_bool(lt::settings_pack::enable_natpmp, false);
    p.set_bool(lt::settings_pack::enable_lsd, false);
    p.set_bool(lt::settings_pack::enable_dht, false);
    p.set_bool(lt::settings_pack::enable_outgoing_utp, false);
    p.set_bool(lt::settings_pack::enable_incoming_utp, false);
    p.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, true);
    p.set_int(lt::settings_pack::max_retry_port_bind, 0);
    p.set_int(
        lt::settings_pack::alert_mask,
        static_cast<int>(std::uint32_t(lt::alert_category::connect | lt::alert_category::peer)));
    session_ = std::make_unique<lt::session>(lt::session_params(std::move(p)));
    lt::add_torrent_params atp;
    atp.ti = std::make_shared<lt::torrent_info>(
        lt::span<const char>(set.torrent.data(), set.torrent.size()), lt::from_span);
    atp.save_path = folder.string();
    atp.flags &= ~(lt::torrent_flags::paused | lt::torrent_flags::auto_managed);
    if (seed) {
        atp.flags |= lt::torrent_flags::seed_mode;
    }
    handle_ = session_->add_torrent(std::move(atp));
    if (!announce) {
        handle_.replace_trackers({});
    }
}

TestPeer::~TestPeer() = default;

std::vector<std::string> TestPeer::connectedPeerIds() {
    std::vector<lt::peer_info> info;
    handle_.get_peer_info(info);
    std::vector<std::string> out;
    for (const auto& i : info) {
        out.emplace_back(i.pid.data(), i.pid.size());
    }
    return out;
}

void TestPeer::poll() {
    std::vector<lt::alert*> alerts;
    session_->pop_alerts(&alerts);
    for (auto* a : alerts) {
        if (a->type() == lt::peer_disconnected_alert::alert_type) {
            ++disconnections_;
        }
        if (auto* p = dynamic_cast<lt::peer_alert*>(a)) {
            peerIds_.emplace_back(p->pid.data(), p->pid.size());
        }
    }
}

int TestPeer::disconnections() {
    poll();
    return disconnections_;
}

bool TestPeer::sawPeerId(const std::string& prefix) {
    poll();
    return std::any_of(peerIds_.begin(), peerIds_.end(),
                       [&](const std::string& id) { return id.rfind(prefix, 0) == 0; });
}

TestTracker::TestTracker() : server_(std::make_unique<httplib::Server>()) {
    server_->Get("/announce", [this](const httplib::Request& req, httplib::Response& res) {
        Announce a;
        a.peerId = req.get_param_value("peer_id");
        a.userAgent = req.get_header_value("User-Agent");
        a.address = req.remote_addr;
        a.port = static_cast<std::uint16_t>(std::atoi(req.get_param_value("port").c_str()));
        a.event = req.get_param_value("event");
        a.at = std::chrono::steady_clock::now();
        std::string peers;
        {
            std::lock_guard lock(mutex_);
            for (const auto& known : announces_) {
                if (known.address == a.address && known.port == a.port) {
                    continue;
                }
                in_addr addr{};
                inet_pton(AF_INET, known.address.c_str(), &addr);
                const std::uint16_t port = htons(known.port);
                std::string entry(reinterpret_cast<const char*>(&addr), 4);
                entry.append(reinterpret_cast<const char*>(&port), 2);
                if (peers.find(entry) == std::string::npos) {
                    peers += entry;
                }
            }
            announces_.push_back(a);
        }
        std::string body = "d8:intervali1800e12:min intervali1800e5:peers" +
                           std::to_string(peers.size()) + ":" + peers + "e";
        res.set_content(body, "text/plain");
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

TestTracker::~TestTracker() {
    server_->stop();
    thread_.join();
}

std::string TestTracker::url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/announce";
}

std::vector<TestTracker::Announce> TestTracker::announces() const {
    std::lock_guard lock(mutex_);
    return announces_;
}

std::vector<TestTracker::Announce> TestTracker::announcesFrom(const std::string& prefix) const {
    std::vector<Announce> out;
    for (const auto& a : announces()) {
        if (a.peerId.rfind(prefix, 0) == 0) {
            out.push_back(a);
        }
    }
    return out;
}

TakenPort::TakenPort(std::uint16_t port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, 4) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

TakenPort::~TakenPort() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

bool OnlyLoopback() {
    struct if_nameindex* names = if_nameindex();
    if (names == nullptr) {
        return false;
    }
    int count = 0;
    bool lo = false;
    for (struct if_nameindex* n = names; n->if_index != 0; ++n) {
        ++count;
        lo = lo || std::string(n->if_name) == "lo";
    }
    if_freenameindex(names);
    return count == 1 && lo;
}

bool AddLoopbackAddress(const std::string& address) {
    if (!OnlyLoopback()) {
        return false;
    }
    const std::string command = "ip addr add " + address + "/32 dev lo 2>/dev/null";
    return std::system(command.c_str()) == 0;
}
