#include "tools/swarm/Peer.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <random>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/settings_pack.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>

#include "tools/swarm/Log.h"

namespace lt = libtorrent;

namespace swarm {

namespace {

class Fd {
public:
    Fd(const std::filesystem::path& path, int flags) : fd_(::open(path.c_str(), flags, 0644)) {
        if (fd_ < 0) {
            throw std::system_error(errno, std::generic_category(), path.string());
        }
    }
    ~Fd() { ::close(fd_); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Hard links cost nothing and leave the source untouched (seeders only read).
void linkCompleteFiles(const lt::torrent_info& ti, const std::filesystem::path& source,
                       const std::filesystem::path& dataDir) {
    const auto& files = ti.files();
    for (const auto i : files.file_range()) {
        if (files.pad_file_at(i)) {
            continue;
        }
        const std::filesystem::path relative = files.file_path(i);
        const auto target = dataDir / relative;
        std::filesystem::create_directories(target.parent_path());
        if (std::filesystem::exists(target)) {
            continue;
        }
        std::error_code ec;
        std::filesystem::create_hard_link(source / relative, target, ec);
        if (ec) {
            std::filesystem::copy_file(source / relative, target);
        }
    }
}

std::vector<lt::piece_index_t> choosePieces(int pieceCount, double share, std::uint32_t seed) {
    std::vector<int> order(static_cast<std::size_t>(pieceCount));
    std::iota(order.begin(), order.end(), 0);
    std::mt19937 generator(seed);
    std::shuffle(order.begin(), order.end(), generator);
    const auto count = static_cast<std::size_t>(
        std::clamp(std::lround(share * pieceCount), 0L, static_cast<long>(pieceCount)));
    std::vector<lt::piece_index_t> pieces;
    for (std::size_t i = 0; i < count; ++i) {
        pieces.emplace_back(order[i]);
    }
    return pieces;
}

void copyPieces(const lt::torrent_info& ti, const std::vector<lt::piece_index_t>& pieces,
                const std::filesystem::path& source, const std::filesystem::path& dataDir) {
    const auto& files = ti.files();
    std::map<int, std::pair<std::unique_ptr<Fd>, std::unique_ptr<Fd>>> open;
    std::vector<char> buffer;
    for (const auto piece : pieces) {
        for (const auto& slice : ti.map_block(piece, 0, ti.piece_size(piece))) {
            if (files.pad_file_at(slice.file_index)) {
                continue;
            }
            auto& fds = open[static_cast<int>(slice.file_index)];
            if (!fds.first) {
                const std::filesystem::path relative = files.file_path(slice.file_index);
                std::filesystem::create_directories((dataDir / relative).parent_path());
                fds.first = std::make_unique<Fd>(source / relative, O_RDONLY);
                fds.second = std::make_unique<Fd>(dataDir / relative, O_WRONLY | O_CREAT);
            }
            buffer.resize(static_cast<std::size_t>(slice.size));
            if (::pread(fds.first->get(), buffer.data(), buffer.size(), slice.offset) !=
                    static_cast<ssize_t>(buffer.size()) ||
                ::pwrite(fds.second->get(), buffer.data(), buffer.size(), slice.offset) !=
                    static_cast<ssize_t>(buffer.size())) {
                throw std::runtime_error("swarm peer: cannot copy piece " +
                                         std::to_string(static_cast<int>(piece)));
            }
        }
    }
}

lt::settings_pack quietSettings(const Peer::Options& o) {
    lt::settings_pack p;
    p.set_str(lt::settings_pack::listen_interfaces, o.address + ":" + std::to_string(o.port));
    p.set_str(lt::settings_pack::outgoing_interfaces, o.address);
    p.set_int(lt::settings_pack::max_retry_port_bind, 0);
    p.set_bool(lt::settings_pack::listen_system_port_fallback, false);
    p.set_bool(lt::settings_pack::enable_upnp, false);
    p.set_bool(lt::settings_pack::enable_natpmp, false);
    p.set_bool(lt::settings_pack::enable_lsd, false);
    p.set_bool(lt::settings_pack::enable_dht, false);
    p.set_str(lt::settings_pack::dht_bootstrap_nodes, "");
    p.set_bool(lt::settings_pack::enable_outgoing_utp, o.utp);
    p.set_bool(lt::settings_pack::enable_incoming_utp, o.utp);
    p.set_int(lt::settings_pack::upload_rate_limit, o.uploadRate);
    p.set_int(lt::settings_pack::alert_mask, 0);
    // A downloader on one address may open several connections (the program allows it).
    p.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, true);
    // Closing must not wait on a tracker that is already gone.
    p.set_int(lt::settings_pack::stop_tracker_timeout, 1);
    return p;
}

} // namespace

Peer::Peer(const std::vector<char>& torrent, const std::filesystem::path& source, Options options)
    : options_(std::move(options)) {
    if (options_.name.empty()) {
        options_.name = options_.address; // each peer has an address of its own
    }
    uploadLog_ = std::make_shared<UploadLog>(options_.name, options_.log);

    auto ti = std::make_shared<lt::torrent_info>(lt::span<char const>(torrent), lt::from_span);
    std::filesystem::create_directories(options_.dataDir);

    lt::add_torrent_params atp;
    atp.save_path = options_.dataDir.string();
    atp.flags &= ~(lt::torrent_flags::paused | lt::torrent_flags::auto_managed);
    if (options_.role == Role::Partial) {
        const auto pieces = choosePieces(ti->num_pieces(), options_.completed, options_.pieceSeed);
        copyPieces(*ti, pieces, source, options_.dataDir);
        // It keeps its share and never fetches the rest, so the swarm stays as it was made.
        atp.piece_priorities.assign(static_cast<std::size_t>(ti->num_pieces()), lt::dont_download);
        for (const auto piece : pieces) {
            atp.piece_priorities[static_cast<std::size_t>(static_cast<int>(piece))] =
                lt::default_priority;
        }
        piecesWanted_ = static_cast<int>(pieces.size());
    } else if (options_.role == Role::Downloader) {
        piecesWanted_ = ti->num_pieces();
    } else {
        linkCompleteFiles(*ti, source, options_.dataDir);
        piecesWanted_ = ti->num_pieces();
        if (options_.trustData) {
            atp.flags |= lt::torrent_flags::seed_mode;
        }
    }
    if (options_.role == Role::Server) {
        ti->clear_trackers();
    }
    // Peers of the swarm serve only BitTorrent; the web seed is the publisher's HTTP server.
    ti->set_web_seeds({});
    atp.ti = ti;
    uploadLog_->attach(atp);

    session_ = std::make_unique<lt::session>(lt::session_params(quietSettings(options_)));
    // Loopback peers sit in the local peer class, which the session's rate limit skips; put
    // every address in the global class so the upload limit holds on 127.x as well.
    lt::ip_filter classes;
    const auto globalBit = 1u << static_cast<std::uint32_t>(lt::session::global_peer_class_id);
    classes.add_rule(lt::address_v4::any(), lt::address_v4::broadcast(), globalBit);
    classes.add_rule(lt::address_v6::any(),
                     lt::make_address_v6("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"), globalBit);
    session_->set_peer_class_filter(classes);

    listenPort_ = session_->listen_port();
    if (listenPort_ == 0 || (options_.port != 0 && listenPort_ != options_.port)) {
        throw std::runtime_error("swarm peer: cannot listen on " + options_.address + ":" +
                                 std::to_string(options_.port));
    }
    handle_ = std::make_unique<lt::torrent_handle>(session_->add_torrent(std::move(atp)));
    if (options_.log) {
        const std::string limit =
            options_.uploadRate > 0 ? "upload limit " + std::to_string(options_.uploadRate) + " B/s"
                                    : "no upload limit";
        options_.log->write(options_.name + " listening on " + endpoint() + ", " + limit +
                            (options_.utp ? ", TCP and uTP" : ", TCP only"));
    }
}

Peer::~Peer() {
    // abort() hands back a proxy whose destruction waits for the session's threads.
    handle_.reset();
    { auto proxy = session_->abort(); }
    session_.reset();
    uploadLog_->flush();
}

std::string Peer::endpoint() const {
    return options_.address + ":" + std::to_string(listenPort_);
}

void Peer::connect(const std::string& address, int port) {
    handle_->connect_peer(
        lt::tcp::endpoint(lt::make_address(address), static_cast<std::uint16_t>(port)));
}

int Peer::piecesHeld() const {
    return handle_->status({}).num_pieces;
}

bool Peer::isReady() const {
    const auto status = handle_->status({});
    return status.state != lt::torrent_status::checking_files &&
           status.state != lt::torrent_status::checking_resume_data &&
           status.num_pieces >= piecesWanted_;
}

} // namespace swarm
