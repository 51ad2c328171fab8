#include "engine/DownloadEngine.h"

#include <atomic>
#include <cstdlib>
#include <exception>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/fingerprint.hpp>
#include <libtorrent/posix_disk_io.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/session_status.hpp>
#include <libtorrent/settings_pack.hpp>
#include <libtorrent/torrent_flags.hpp>
#include <libtorrent/torrent_info.hpp>

#include "engine/AlertTranslation.h"
#include "engine/EngineBuildConfig.h"
#include "engine/EngineInternals.h"
#include "engine/ListenPortDraw.h"
#include "engine/OpenFileLimit.h"
#include "engine/TorrentAdmission.h"
#include "engine/TorrentContentRule.h"
#include "engine/TorrentSignature.h"

namespace lt = libtorrent;

namespace {

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

// The library's allocation for the program's storage mode code; none for an unknown code.
std::optional<lt::storage_mode_t> LibraryStorageMode(int storageMode) {
    switch (storageMode) {
    case DownloadEngine::kStorageSparse:
    // The library has no compact allocation; sparse files are closest.
    case DownloadEngine::kStorageCompact:
        return lt::storage_mode_sparse;
    case DownloadEngine::kStorageFullAllocation:
        return lt::storage_mode_allocate;
    default:
        return std::nullopt;
    }
}

// The task's side of a torrent the session took.
std::unique_ptr<DownloadTask::Impl> TaskImpl(DownloadEngine::Impl& engine,
                                             const lt::torrent_handle& handle,
                                             std::shared_ptr<const lt::torrent_info> info,
                                             std::shared_ptr<ConnectionGuard> guard) {
    auto impl = std::make_unique<DownloadTask::Impl>();
    impl->engine = &engine;
    impl->handle = handle;
    const lt::file_storage& files = info->files();
    for (const lt::file_index_t f : files.file_range()) {
        if (!files.pad_file_at(f)) {
            impl->payloadSize += files.file_size(f);
        }
    }
    impl->info = std::move(info);
    impl->guard = std::move(guard);
    return impl;
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
        const std::optional<lt::storage_mode_t> mode = LibraryStorageMode(storageMode_);
        if (!mode) {
            return false;
        }
        TorrentAdmission admission =
            AdmitTorrent(std::string_view(data, length), publisherKey_,
                         std::filesystem::path(saveFolder.toStdString()), commandFolders_);
        if (!admission.admitted()) {
            return false;
        }
        lt::add_torrent_params atp;
        // The session gets a copy of its own: it may change the one it holds.
        atp.ti = std::make_shared<lt::torrent_info>(*admission.info);
        atp.save_path = saveFolder.toStdString();
        atp.storage_mode = *mode;
        // Running at once, never queued by the library, pieces in rarest-first order.
        atp.flags &= ~(lt::torrent_flags::paused | lt::torrent_flags::auto_managed |
                       lt::torrent_flags::sequential_download);
        auto guard = std::make_shared<ConnectionGuard>(*impl_->session, impl_->dropIncoming,
                                                       impl_->webSeedHold, impl_->heldWebSeeds);
        atp.extensions.push_back(
            [guard](const lt::torrent_handle&, lt::client_data_t) { return guard; });
        lt::error_code ec;
        lt::torrent_handle handle = impl_->session->add_torrent(std::move(atp), ec);
        if (ec || !handle.is_valid()) {
            return false;
        }
        task.impl_ = TaskImpl(*impl_, handle, std::move(admission.info), std::move(guard));
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

void DownloadEngine::PauseSession() {
    impl_->session->pause();
}

bool DownloadEngine::IsSessionPaused() const {
    return impl_->session->is_paused();
}
