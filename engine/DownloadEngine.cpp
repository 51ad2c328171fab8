#include "engine/DownloadEngine.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <future>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/post.hpp>
#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/alert_types.hpp>
#include <libtorrent/bdecode.hpp>
#include <libtorrent/fingerprint.hpp>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/peer_info.hpp>
#include <libtorrent/posix_disk_io.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/session_status.hpp>
#include <libtorrent/settings_pack.hpp>
#include <libtorrent/torrent_flags.hpp>
#include <libtorrent/torrent_info.hpp>

#include "engine/EngineBuildConfig.h"
#include "engine/EngineInternals.h"
#include "engine/ListenPortDraw.h"
#include "engine/OpenFileLimit.h"
#include "engine/TorrentContentRule.h"
#include "engine/TorrentSignature.h"

namespace lt = libtorrent;

namespace {

// Every category that can carry a notification the window reacts to (tracker errors
// included), and none of the log, block, piece or statistics categories: at full speed those
// add over a thousand notifications a second, which overflowed the queue and dropped listed
// ones.
constexpr lt::alert_category_t kAlertMask =
    lt::alert_category::error | lt::alert_category::peer | lt::alert_category::port_mapping |
    lt::alert_category::storage | lt::alert_category::tracker | lt::alert_category::status |
    lt::alert_category::ip_block | lt::alert_category::performance_warning;

// Room for every listed notification between two 300 ms ticks, with a wide margin.
constexpr int kAlertQueueSize = 20000;

QString FromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

lt::settings_pack QuietIdentity(const std::string& fingerprint, const std::string& userAgent) {
    lt::settings_pack p;
    p.set_str(lt::settings_pack::peer_fingerprint, fingerprint);
    p.set_str(lt::settings_pack::user_agent, userAgent);
    // A default session listens on 6881 at once; this one opens its port later.
    p.set_str(lt::settings_pack::listen_interfaces, "");
    p.set_bool(lt::settings_pack::enable_upnp, false);
    p.set_bool(lt::settings_pack::enable_natpmp, false);
    p.set_bool(lt::settings_pack::enable_lsd, false);
    p.set_bool(lt::settings_pack::enable_dht, false);
    p.set_str(lt::settings_pack::dht_bootstrap_nodes, "");
    p.set_int(lt::settings_pack::alert_mask, static_cast<int>(std::uint32_t(kAlertMask)));
    p.set_int(lt::settings_pack::alert_queue_size, kAlertQueueSize);
    // A listen attempt must answer yes or no for the port asked: no neighbouring port, no
    // port of the system's choosing.
    p.set_int(lt::settings_pack::max_retry_port_bind, 0);
    p.set_bool(lt::settings_pack::listen_system_port_fallback, false);
    // BitTorrent over TCP only; on a fast swarm uTP was many times slower here.
    p.set_bool(lt::settings_pack::enable_outgoing_utp, false);
    p.set_bool(lt::settings_pack::enable_incoming_utp, false);
    // A fixed 256 KiB receive buffer per connection instead of the system's automatic sizing
    // (up to tcp_rmem's maximum, 32 MiB on the build machine): downloading over loopback at full
    // speed the process kept about 25 instead of 200 MiB of anonymous memory and spent about
    // 0.7 times the processor time per GiB. At 1 MiB the web seed's server sent 114 to 122 KiB/s
    // to a connection held to 80 KiB/s (the kernel takes data in ahead of the cap), bytes the
    // publisher pays for. 256 KiB carries 2.5 MiB/s per peer at a 100 ms round trip.
    p.set_int(lt::settings_pack::recv_socket_buffer_size, 256 << 10);
    // Web seeds see the user agent on every request, not only a connection's first.
    p.set_bool(lt::settings_pack::always_send_user_agent, true);
    // The session's IP filter keeps BitTorrent peers out only; a tracker on a filtered
    // address would stop receiving announces.
    p.set_bool(lt::settings_pack::apply_ip_filter_to_trackers, false);
    return p;
}

// The session's clock tick while a rate is held. A capped web seed asks for a piece or more at
// a time and the library hands out a queued request's quota after 20 ticks at the latest, so at
// the default 500 ms a web seed at 80 KiB/s came in bursts of 800 KB ten seconds apart; at
// 50 ms it brings about 80 KB each second.
constexpr int kLimitedTickMs = 50;

// The receive buffer of a held web seed's socket: what the server can send ahead of the cap.
// With the session's 256 KiB the server counted 191 KiB/s over the connection's first 5 s at
// an 80 KiB/s cap; 16 KiB still carries 80 KiB/s at a 200 ms round trip.
constexpr int kHeldWebSeedReceiveBuffer = 16 << 10;

std::string_view View(lt::span<const char> bytes) {
    return {bytes.data(), static_cast<std::size_t>(bytes.size())};
}

bool IsSignedWith(std::string_view bytes, const lt::bdecode_node& torrent, const std::string& key) {
    if (torrent.type() != lt::bdecode_node::dict_t) {
        return false;
    }
    const lt::bdecode_node signature = torrent.dict_find_string(
        lt::string_view(kTorrentSignatureKey.data(), kTorrentSignatureKey.size()));
    if (!signature) {
        return false;
    }
    const std::string_view value = View(signature.data_section());
    const auto begin = static_cast<std::size_t>(value.data() - bytes.data());
    const std::string message = SignedTorrentBytes(bytes, begin, begin + value.size());
    const auto text = signature.string_value();
    return !message.empty() &&
           VerifyEd25519(message, std::string_view(text.data(), text.size()), key);
}

bool MarksLink(const lt::bdecode_node& file) {
    if (file.type() != lt::bdecode_node::dict_t) {
        return false;
    }
    const auto attr = file.dict_find_string_value("attr");
    return HasLinkAttribute(std::string_view(attr.data(), attr.size()));
}

// Nothing hidden at the top and no link, whichever way the torrent marks one: the library
// only makes a link of a file that also names its target, so the bare attribute counts too.
bool PutsOnlyVisibleFiles(const lt::torrent_info& info, const lt::bdecode_node& torrent) {
    if (IsHiddenName(info.name())) {
        return false;
    }
    const lt::file_storage& files = info.files();
    for (const lt::file_index_t i : files.file_range()) {
        if (files.file_flags(i) & lt::file_storage::flag_symlink) {
            return false;
        }
    }
    const lt::bdecode_node dict = torrent.dict_find_dict("info");
    if (MarksLink(dict)) {
        return false;
    }
    const lt::bdecode_node list = dict.dict_find_list("files");
    if (list.type() == lt::bdecode_node::list_t) {
        for (int i = 0; i < list.list_size(); ++i) {
            if (MarksLink(list.list_at(i))) {
                return false;
            }
        }
    }
    return true;
}

// No name that reads as another, and nothing where the player's shell looks for commands.
bool KeepsOffCommandFolders(const lt::torrent_info& info, const std::filesystem::path& saveFolder,
                            const std::vector<std::filesystem::path>& commandFolders) {
    const lt::file_storage& files = info.files();
    std::set<std::filesystem::path> folders;
    for (const lt::file_index_t i : files.file_range()) {
        if (files.pad_file_at(i)) {
            continue; // never written
        }
        const std::string path = files.file_path(i); // the torrent's name first, if a folder
        if (HasBidiControl(path)) {
            return false;
        }
        folders.insert(saveFolder / std::filesystem::path(path).parent_path());
    }
    return !AnyIsCommandFolder({folders.begin(), folders.end()}, commandFolders);
}

void SetBool(lt::session& s, int name, bool value) {
    lt::settings_pack p;
    p.set_bool(name, value);
    s.apply_settings(std::move(p));
}

void SetInt(lt::session& s, int name, int value) {
    lt::settings_pack p;
    p.set_int(name, value);
    s.apply_settings(std::move(p));
}

// The listed kinds: the library's notification and the program's code for it.
struct ListedAlert {
    int type;
    EngineEvent::Code code;
};
constexpr ListedAlert kListedAlerts[] = {
    {lt::listen_failed_alert::alert_type, EngineEvent::Code::ListenFailed},
    {lt::portmap_error_alert::alert_type, EngineEvent::Code::PortmapError},
    {lt::portmap_alert::alert_type, EngineEvent::Code::Portmap},
    {lt::file_error_alert::alert_type, EngineEvent::Code::FileError},
    {lt::tracker_announce_alert::alert_type, EngineEvent::Code::TrackerAnnounce},
    {lt::tracker_error_alert::alert_type, EngineEvent::Code::TrackerError},
    {lt::tracker_reply_alert::alert_type, EngineEvent::Code::TrackerReply},
    {lt::tracker_warning_alert::alert_type, EngineEvent::Code::TrackerWarning},
    {lt::scrape_reply_alert::alert_type, EngineEvent::Code::ScrapeReply},
    {lt::scrape_failed_alert::alert_type, EngineEvent::Code::ScrapeFailed},
    {lt::url_seed_alert::alert_type, EngineEvent::Code::UrlSeed},
    {lt::hash_failed_alert::alert_type, EngineEvent::Code::HashFailed},
    {lt::peer_ban_alert::alert_type, EngineEvent::Code::PeerBan},
    {lt::torrent_finished_alert::alert_type, EngineEvent::Code::TorrentFinished},
    {lt::metadata_failed_alert::alert_type, EngineEvent::Code::MetadataFailed},
    {lt::metadata_received_alert::alert_type, EngineEvent::Code::MetadataReceived},
    {lt::fastresume_rejected_alert::alert_type, EngineEvent::Code::FastresumeRejected},
    {lt::peer_blocked_alert::alert_type, EngineEvent::Code::PeerBlocked},
    {lt::storage_moved_alert::alert_type, EngineEvent::Code::StorageMoved},
    {lt::torrent_paused_alert::alert_type, EngineEvent::Code::TorrentPaused},
    {lt::torrent_checked_alert::alert_type, EngineEvent::Code::TorrentChecked},
    {lt::torrent_deleted_alert::alert_type, EngineEvent::Code::TorrentDeleted},
};

std::optional<EngineEvent::Code> ListedCode(int type) {
    for (const ListedAlert& listed : kListedAlerts) {
        if (listed.type == type) {
            return listed.code;
        }
    }
    return std::nullopt;
}

// The error number of a file operation; 0 for an error of the library's own.
int SystemErrorNumber(const lt::error_code& ec) {
    return ec.category() == lt::system_category() || ec.category() == lt::generic_category()
               ? ec.value()
               : 0;
}

// One notification as the program's event, or none for a kind the window does not react to.
// A failed listen attempt counts only while the session is not listening: the attempts before
// the port that worked are no failure. Only the first file error until the next resume counts:
// writes under way when it struck fail too and are the same error.
std::optional<EngineEvent> TranslateAlert(const lt::alert& alert, DownloadEngine::Impl& state) {
    if (alert.type() == lt::alerts_dropped_alert::alert_type) {
        ++state.droppedAlerts;
    }
    const std::optional<EngineEvent::Code> code = ListedCode(alert.type());
    if (!code || (*code == EngineEvent::Code::ListenFailed && state.listening) ||
        (*code == EngineEvent::Code::FileError && state.fileErrorReported)) {
        return std::nullopt;
    }
    EngineEvent event{*code, FromUtf8(alert.message()), {}};
    if (const auto* seed = lt::alert_cast<lt::url_seed_alert>(&alert)) {
        event.seedUrl = QString::fromUtf8(seed->server_url());
    }
    if (const auto* fileError = lt::alert_cast<lt::file_error_alert>(&alert)) {
        state.fileErrorReported = true;
        event.systemError = SystemErrorNumber(fileError->error);
    }
    return event;
}

} // namespace

DownloadEngine::DownloadEngine(std::uint16_t versionMinor, const QString& clientName,
                               DiskBackEnd backEnd)
    : impl_(std::make_unique<Impl>()), backEnd_(backEnd), clientName_(clientName),
      versionMinor_(versionMinor), publisherKey_(PublicKeyFromHex(KESTREL_TORRENT_PUBLIC_KEY)) {
    // The player's own command folders, the one thing the environment is read for.
    const char* path = std::getenv("PATH");
    const char* home = std::getenv("HOME");
    commandFolders_ = CommandFolders(path != nullptr ? path : "",
                                     home != nullptr ? std::filesystem::path(home) : "");
    // session_params(settings) carries the default extensions: peer exchange, metadata
    // exchange and smart ban.
    lt::session_params params(QuietIdentity(PeerIdPrefix(), UserAgent().toStdString()));
    if (backEnd == DiskBackEnd::Posix) {
        params.disk_io_constructor = lt::posix_disk_io_constructor;
    }
    impl_->session = std::make_unique<lt::session>(std::move(params));
}

namespace {

// Sessions still ending, on their own threads.
std::atomic<int> sessionsEnding{0};

} // namespace

DownloadEngine::~DownloadEngine() {
    // The library waits for its disk jobs when the session ends, and a disk that hangs (a
    // network mount gone, a device that stopped answering) makes that wait endless. The end
    // runs on a thread of its own, and the caller waits for it only so long.
    impl_->batch.clear(); // the alerts go with the session
    ++sessionsEnding;
    std::packaged_task<void()> end([session = std::move(impl_->session)]() mutable {
        session.reset();
        --sessionsEnding;
    });
    std::future<void> ended = end.get_future();
    std::thread ending(std::move(end));
    if (ended.wait_for(kSessionEndLimit) == std::future_status::ready) {
        ending.join();
    } else {
        ending.detach();
    }
}

bool DownloadEngine::AllSessionsEnded() {
    return sessionsEnding.load() == 0;
}

QString DownloadEngine::UserAgent() const {
    return QStringLiteral("%1/%2.%3.1.0").arg(clientName_).arg(kVersionMajor).arg(versionMinor_);
}

std::string DownloadEngine::PeerIdPrefix() const {
    return lt::generate_fingerprint("VR", kVersionMajor, versionMinor_, 1, 0);
}

void DownloadEngine::ApplySessionSettings() {
    lt::settings_pack p;
    p.set_str(lt::settings_pack::user_agent, UserAgent().toStdString());
    // Mapped files hold a descriptor each: a pool larger than the process may open fails
    // part-way through a set of many files.
    p.set_int(lt::settings_pack::file_pool_size, FilePoolSize(CurrentOpenFileLimit()));
    p.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, true);
    p.set_int(lt::settings_pack::max_failcount, 2);
    p.set_int(lt::settings_pack::peer_connect_timeout, 14);
    p.set_int(lt::settings_pack::connection_speed, 8);
    p.set_int(lt::settings_pack::active_downloads, -1);
    p.set_int(lt::settings_pack::active_seeds, -1);
    p.set_int(lt::settings_pack::active_limit, -1);
    // Ratios are kept as hundredths.
    p.set_int(lt::settings_pack::share_ratio_limit, 1000);
    p.set_int(lt::settings_pack::seed_time_ratio_limit, 2000);
    p.set_int(lt::settings_pack::seed_time_limit, 172800);
    p.set_int(lt::settings_pack::min_announce_interval, 1200);
    storageMode_ = kStorageCompact;
    impl_->session->apply_settings(std::move(p));
}

bool DownloadEngine::ListenOn(std::uint16_t port) {
    const std::string interfaces = "0.0.0.0:" + std::to_string(port);
    if (interfaces == impl_->listenInterfaces) {
        // The same text again changes no setting, so nothing would be reopened.
        impl_->session->reopen_network_sockets();
    } else {
        lt::settings_pack p;
        p.set_str(lt::settings_pack::listen_interfaces, interfaces);
        impl_->session->apply_settings(std::move(p));
        impl_->listenInterfaces = interfaces;
    }
    // Runs on the network thread after the change above, so the answer is final.
    impl_->listening = impl_->session->listen_port() == port;
    impl_->dropIncoming->store(!impl_->listening);
    return impl_->listening;
}

std::uint16_t DownloadEngine::OpenListenPort(std::uint32_t seed, int attempts) {
    PortRandom random(seed);
    for (int i = 0; i < attempts; ++i) {
        const std::uint16_t port = DrawListenPort(random.next());
        if (ListenOn(port)) {
            return port;
        }
    }
    // Without any socket the library sends no tracker announce at all. Keep one on a port
    // of the system's choosing for the announces alone; nobody may connect in on it.
    impl_->dropIncoming->store(true);
    lt::settings_pack p;
    p.set_str(lt::settings_pack::listen_interfaces, "0.0.0.0:0");
    impl_->session->apply_settings(std::move(p));
    impl_->listenInterfaces = "0.0.0.0:0";
    impl_->listening = false;
    return 0;
}

bool DownloadEngine::IsListening() const {
    return impl_->listening;
}

std::uint16_t DownloadEngine::SocketPort() const {
    return impl_->session->listen_port();
}

bool DownloadEngine::HasIncomingConnections() const {
    if (!impl_->listening) {
        return false;
    }
    // The flag is only in the session's status, a deprecated call; it counts connections
    // from non-local addresses, as the rule wants.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return impl_->session->status().has_incoming_connections;
#pragma GCC diagnostic pop
}

void DownloadEngine::StopListening() {
    // The socket stays: without it the library would stop announcing to the tracker.
    impl_->dropIncoming->store(true);
    impl_->listening = false;
}

void DownloadEngine::StartUpnp() {
    SetBool(*impl_->session, lt::settings_pack::enable_upnp, true);
}
void DownloadEngine::StartLsd() {
    SetBool(*impl_->session, lt::settings_pack::enable_lsd, true);
}
void DownloadEngine::StartEngineServices() {
    // Empty state and no bootstrap nodes (cleared at construction).
    SetBool(*impl_->session, lt::settings_pack::enable_dht, true);
}
void DownloadEngine::StartNatpmp() {
    SetBool(*impl_->session, lt::settings_pack::enable_natpmp, true);
}
void DownloadEngine::StopDht() {
    SetBool(*impl_->session, lt::settings_pack::enable_dht, false);
}
void DownloadEngine::StopLsd() {
    SetBool(*impl_->session, lt::settings_pack::enable_lsd, false);
}
void DownloadEngine::StopUpnp() {
    SetBool(*impl_->session, lt::settings_pack::enable_upnp, false);
}
void DownloadEngine::StopNatpmp() {
    SetBool(*impl_->session, lt::settings_pack::enable_natpmp, false);
}

DownloadEngine::Services DownloadEngine::RunningServices() const {
    const lt::settings_pack s = impl_->session->get_settings();
    return {s.get_bool(lt::settings_pack::enable_upnp), s.get_bool(lt::settings_pack::enable_lsd),
            impl_->session->is_dht_running(), s.get_bool(lt::settings_pack::enable_natpmp)};
}

void DownloadEngine::SetMaxUploads(int uploadSlots) {
    SetInt(*impl_->session, lt::settings_pack::unchoke_slots_limit, uploadSlots);
}
void DownloadEngine::SetUploadRateLimit(int bytesPerSecond) {
    SetInt(*impl_->session, lt::settings_pack::upload_rate_limit, bytesPerSecond);
}
void DownloadEngine::SetMaxConnections(int connections) {
    SetInt(*impl_->session, lt::settings_pack::connections_limit, connections);
}
void DownloadEngine::SetDownloadRateLimit(int bytesPerSecond) {
    SetInt(*impl_->session, lt::settings_pack::download_rate_limit, bytesPerSecond);
}

bool DownloadEngine::AddTorrentFromBuffer(const char* data, std::size_t length,
                                          const QString& saveFolder, DownloadTask& task) {
    if (data == nullptr) {
        return false;
    }
    try {
        lt::error_code ec;
        // The library's own decode limits (nesting depth, token count) bound the work.
        const lt::bdecode_node node =
            lt::bdecode(lt::span<const char>(data, static_cast<std::ptrdiff_t>(length)), ec);
        if (ec || (!publisherKey_.empty() &&
                   !IsSignedWith(std::string_view(data, length), node, publisherKey_))) {
            return false;
        }
        lt::storage_mode_t mode;
        switch (storageMode_) {
        case kStorageSparse:
        case kStorageCompact: // the library has no compact allocation; sparse files are closest
            mode = lt::storage_mode_sparse;
            break;
        case kStorageFullAllocation:
            mode = lt::storage_mode_allocate;
            break;
        default:
            return false;
        }
        lt::add_torrent_params atp;
        auto info = std::make_shared<const lt::torrent_info>(node, lt::load_torrent_limits{});
        const std::filesystem::path folder(saveFolder.toStdString());
        if (!PutsOnlyVisibleFiles(*info, node) ||
            !KeepsOffCommandFolders(*info, folder, commandFolders_)) {
            return false;
        }
        // The session gets a copy of its own: it may change the one it holds.
        atp.ti = std::make_shared<lt::torrent_info>(*info);
        atp.save_path = saveFolder.toStdString();
        atp.storage_mode = mode;
        // Running at once, never queued by the library, pieces in rarest-first order.
        atp.flags &= ~(lt::torrent_flags::paused | lt::torrent_flags::auto_managed |
                       lt::torrent_flags::sequential_download);
        auto guard = std::make_shared<ConnectionGuard>(*impl_->session, impl_->dropIncoming,
                                                       impl_->webSeedHold, impl_->heldWebSeeds);
        atp.extensions.push_back(
            [guard](const lt::torrent_handle&, lt::client_data_t) { return guard; });
        lt::torrent_handle handle = impl_->session->add_torrent(std::move(atp), ec);
        if (ec || !handle.is_valid()) {
            return false;
        }
        auto impl = std::make_unique<DownloadTask::Impl>();
        impl->engine = impl_.get();
        impl->handle = handle;
        const lt::file_storage& files = info->files();
        for (const lt::file_index_t f : files.file_range()) {
            if (!files.pad_file_at(f)) {
                impl->payloadSize += files.file_size(f);
            }
        }
        impl->info = std::move(info);
        impl->guard = std::move(guard);
        task.impl_ = std::move(impl);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool DownloadEngine::NextEngineEvent(EngineEvent& event) {
    // Asked after the window's reaction to the reply, which moves the next announce too.
    if (impl_->announceNow.is_valid()) {
        impl_->announceNow.force_reannounce(0, -1, lt::torrent_handle::ignore_min_interval);
    }
    impl_->announceNow = lt::torrent_handle();
    for (;;) {
        if (impl_->next >= impl_->batch.size()) {
            impl_->session->pop_alerts(&impl_->batch);
            impl_->next = 0;
            if (impl_->batch.empty()) {
                return false;
            }
        }
        const lt::alert& alert = *impl_->batch[impl_->next++];
        try {
            if (std::optional<EngineEvent> e = TranslateAlert(alert, *impl_)) {
                impl_->HealAfterTrackerFailures(*e, alert);
                event = std::move(*e);
                return true;
            }
        } catch (const std::exception&) {
            // A notification whose text cannot be had is passed over like an unlisted one.
        }
    }
}

void DownloadEngine::HoldWebSeeds(int bytesPerSecond) {
    impl_->HoldWebSeeds(bytesPerSecond);
}

void DownloadEngine::Impl::HoldWebSeeds(int bytesPerSecond) {
    const bool first = !webSeedClass;
    if (first) {
        webSeedClass = session->create_peer_class("web seed");
        SetInt(*session, lt::settings_pack::tick_interval, kLimitedTickMs);
    }
    lt::peer_class_info info = session->get_peer_class(*webSeedClass);
    if (info.download_limit != bytesPerSecond) {
        info.download_limit = bytesPerSecond;
        session->set_peer_class(*webSeedClass, info);
    }
    if (!first) {
        return;
    }
    WebSeedHold hold;
    hold.classBit = 1u << static_cast<std::uint32_t>(*webSeedClass);
    hold.plainClasses = session->get_peer_class_filter();
    hold.receiveBuffer = kHeldWebSeedReceiveBuffer;
    // The plugin reads its copy on the network thread; the new one takes its place there.
    boost::asio::post(session->get_context(), [current = webSeedHold, hold] { *current = hold; });
}

void DownloadEngine::Impl::ForgetPeerListEntries(const lt::address& address) {
    lt::ip_filter one;
    one.add_rule(address, address, lt::ip_filter::blocked);
    ForgetPeerListEntries(one);
}

void DownloadEngine::Impl::ForgetPeerListEntries(const lt::ip_filter& blocked) {
    // Both changes reach the network thread in order, before anything asked later.
    session->set_ip_filter(blocked);
    session->set_ip_filter(lt::ip_filter());
}

void DownloadEngine::Impl::HealAfterTrackerFailures(const EngineEvent& event,
                                                    const lt::alert& alert) {
    if (event.code == EngineEvent::Code::TrackerError) {
        trackerFailed = true;
        return;
    }
    if (event.code != EngineEvent::Code::TrackerReply || !trackerFailed) {
        return;
    }
    trackerFailed = false;
    const lt::torrent_handle& handle = static_cast<const lt::tracker_reply_alert&>(alert).handle;
    if (!handle.is_valid()) {
        return;
    }
    std::vector<lt::peer_info> peers;
    handle.get_peer_info(peers);
    // A connection still being made counts: it may be the one that works.
    if (std::any_of(peers.begin(), peers.end(), [](const lt::peer_info& p) {
            return !(p.connection_type & (lt::peer_info::web_seed | lt::peer_info::http_seed));
        })) {
        return;
    }
    lt::ip_filter everyone;
    everyone.add_rule(lt::make_address("0.0.0.0"), lt::make_address("255.255.255.255"),
                      lt::ip_filter::blocked);
    everyone.add_rule(lt::make_address("::"),
                      lt::make_address("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"),
                      lt::ip_filter::blocked);
    ForgetPeerListEntries(everyone);
    if (calledIn) {
        handle.connect_peer(*calledIn, lt::peer_info::tracker);
    }
    announceNow = handle;
}

void DownloadEngine::PauseSession() {
    impl_->session->pause();
}

bool DownloadEngine::IsSessionPaused() const {
    return impl_->session->is_paused();
}
