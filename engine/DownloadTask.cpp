#include "engine/DownloadTask.h"

#include <algorithm>
#include <optional>

#include <libtorrent/address.hpp>
#include <libtorrent/peer_info.hpp>
#include <libtorrent/torrent_flags.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>

#include "engine/EngineInternals.h"
#include "engine/RemainingTimeRule.h"

namespace lt = libtorrent;

namespace {

// Each inquiry is its own fresh status query and asks for no optional field it does not
// read: a full query costs about three times as much.
lt::torrent_status Query(const lt::torrent_handle& h, lt::status_flags_t flags = {}) {
    return h.status(flags);
}

// The library stops averaging the rates of a torrent that has no connection, so the last
// figures before the peers left would stay on show (and in the reports) for good.
std::uint32_t LiveDownloadRate(const lt::torrent_status& st) {
    return st.num_peers > 0 ? static_cast<std::uint32_t>(st.download_payload_rate) : 0;
}

bool ParseEndpoint(const std::string& address, std::uint16_t port, lt::tcp::endpoint& out) {
    lt::error_code ec;
    const lt::address a = lt::make_address(address, ec);
    if (ec) {
        return false;
    }
    out = lt::tcp::endpoint(a, port);
    return true;
}

} // namespace

DownloadTask::DownloadTask() = default;
DownloadTask::~DownloadTask() = default;
DownloadTask::DownloadTask(DownloadTask&&) noexcept = default;
DownloadTask& DownloadTask::operator=(DownloadTask&&) noexcept = default;

bool DownloadTask::isValid() const {
    return impl_ && impl_->handle.is_valid();
}
int DownloadTask::percentDone() const {
    return isValid() ? static_cast<int>(Query(impl_->handle).progress * 100) : 0;
}
std::uint32_t DownloadTask::downloadRate() const {
    return isValid() ? LiveDownloadRate(Query(impl_->handle)) : 0;
}
std::uint32_t DownloadTask::uploadRate() const {
    if (!isValid()) {
        return 0;
    }
    const lt::torrent_status st = Query(impl_->handle);
    return st.num_peers > 0 ? static_cast<std::uint32_t>(st.upload_payload_rate) : 0;
}
std::int64_t DownloadTask::totalDone() const {
    return isValid() ? Query(impl_->handle).total_done : 0;
}
std::int64_t DownloadTask::totalUploaded() const {
    // The close reports read this also when no torrent was ever added: nothing was uploaded.
    return isValid() ? Query(impl_->handle).total_payload_upload : 0;
}
std::int64_t DownloadTask::totalSize() const {
    if (!isValid()) {
        return 0;
    }
    return impl_->payloadSize;
}
int DownloadTask::peerCount() const {
    return isValid() ? Query(impl_->handle).num_peers : 0;
}
std::optional<RemainingTime> DownloadTask::remainingTime() const {
    if (!isValid()) {
        return std::nullopt;
    }
    // One figure, one query: the bytes done and the rate come from the same reading.
    const lt::torrent_status st = Query(impl_->handle);
    return RemainingTimeFrom(totalSize(), st.total_done, LiveDownloadRate(st));
}
bool DownloadTask::isPaused() const {
    return !isValid() || bool(Query(impl_->handle).flags & lt::torrent_flags::paused);
}
bool DownloadTask::isChecking() const {
    if (!isValid()) {
        return false;
    }
    const auto state = Query(impl_->handle).state;
    return state == lt::torrent_status::checking_files ||
           state == lt::torrent_status::checking_resume_data;
}
bool DownloadTask::isDownloading() const {
    if (!isValid()) {
        return false;
    }
    const auto st = Query(impl_->handle);
    return !st.is_seeding && (st.state == lt::torrent_status::downloading_metadata ||
                              st.state == lt::torrent_status::downloading ||
                              st.state == lt::torrent_status::finished);
}
bool DownloadTask::isComplete() const {
    if (!isValid()) {
        return false;
    }
    const auto st = Query(impl_->handle);
    return st.state == lt::torrent_status::seeding || st.is_seeding;
}
QString DownloadTask::torrentName() const {
    if (!isValid()) {
        return {};
    }
    return QString::fromStdString(Query(impl_->handle, lt::torrent_handle::query_name).name);
}
QString DownloadTask::savePath() const {
    if (!isValid()) {
        return {};
    }
    return QString::fromStdString(
        Query(impl_->handle, lt::torrent_handle::query_save_path).save_path);
}
std::vector<float> DownloadTask::fileProgress() const {
    if (!isValid()) {
        return {};
    }
    const auto& info = impl_->info;
    if (!info) {
        return {};
    }
    const auto bytes = impl_->handle.file_progress(lt::torrent_handle::piece_granularity);
    const auto& files = info->files();
    std::vector<float> out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto size = files.file_size(lt::file_index_t(static_cast<int>(i)));
        out.push_back(size > 0 ? static_cast<float>(double(bytes[i]) / double(size)) : 1.0f);
    }
    return out;
}
std::vector<PeerSnapshot> DownloadTask::peers() const {
    if (!isValid()) {
        return {};
    }
    std::vector<lt::peer_info> info;
    impl_->handle.get_peer_info(info);
    // The library keeps no per-connection limit (its own field always reads -1); what limits
    // a connection is the class its address was put in, read back once.
    const DownloadEngine::Impl& engine = *impl_->engine;
    std::optional<int> classLimit;
    std::vector<PeerSnapshot> out;
    out.reserve(info.size());
    for (const auto& p : info) {
        PeerSnapshot s;
        s.address = p.ip.address().to_string();
        s.port = p.ip.port();
        s.downRate = static_cast<std::uint32_t>(std::max(p.down_speed, 0));
        s.isSeed = bool(p.flags & lt::peer_info::seed);
        s.isWebSeed = bool(p.connection_type & lt::peer_info::web_seed) ||
                      bool(p.connection_type & lt::peer_info::http_seed);
        s.incoming = bool(p.source & lt::peer_info::incoming);
        if (s.isWebSeed && engine.webSeedClass && engine.heldWebSeeds->IsHeld(p.ip)) {
            if (!classLimit) {
                classLimit = engine.session->get_peer_class(*engine.webSeedClass).download_limit;
            }
            s.downloadLimit = *classLimit > 0 ? *classLimit : -1;
        }
        out.push_back(std::move(s));
    }
    return out;
}

std::vector<QString> DownloadTask::urlSeeds() const {
    if (!isValid()) {
        return {};
    }
    std::vector<QString> out;
    for (const std::string& url : impl_->handle.url_seeds()) {
        out.push_back(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size())));
    }
    return out;
}

void DownloadTask::AddUrlSeed(const QString& url) {
    if (isValid()) {
        impl_->handle.add_url_seed(url.toUtf8().toStdString());
    }
}

void DownloadTask::RemoveUrlSeed(const QString& url) {
    if (isValid()) {
        impl_->handle.remove_url_seed(url.toUtf8().toStdString());
    }
}

void DownloadTask::SetPeerDownloadLimit(const std::string& address, std::uint16_t port,
                                        int bytesPerSecond) {
    lt::tcp::endpoint ep;
    if (!isValid() || !ParseEndpoint(address, port, ep)) {
        return;
    }
    DownloadEngine::Impl& engine = *impl_->engine;
    engine.HoldWebSeeds(bytesPerSecond);
    if (!engine.heldWebSeeds->IsHeld(ep) && impl_->guard) {
        // A class holds from a connection's start: this one comes back under the limit.
        impl_->guard->Disconnect(ep);
    }
}

void DownloadTask::Pause() {
    if (isValid()) {
        impl_->handle.pause();
    }
}

void DownloadTask::PauseAfterFileError() {
    Pause();
}

void DownloadTask::Resume() {
    if (!isValid()) {
        return;
    }
    // Resuming over a file error without clearing it replays dozens of file errors; a full
    // or read-only disk also leaves the torrent in upload mode until told otherwise.
    impl_->engine->fileErrorReported = false;
    impl_->handle.clear_error();
    impl_->handle.unset_flags(lt::torrent_flags::upload_mode);
    impl_->handle.resume();
}

void DownloadTask::ForceReannounce(int seconds) {
    if (isValid()) {
        impl_->handle.force_reannounce(seconds, -1, lt::torrent_handle::ignore_min_interval);
    }
}

void DownloadTask::ConnectPeer(const std::string& address, std::uint16_t port) {
    lt::tcp::endpoint ep;
    if (!isValid() || !ParseEndpoint(address, port, ep)) {
        return;
    }
    bool sameAddressConnected = false;
    for (const auto& p : peers()) {
        // A web seed on the same host has no entry in the peer list.
        if (!p.isWebSeed && p.address == ep.address().to_string()) {
            if (p.port == port) {
                return; // already connected
            }
            sameAddressConnected = true;
        }
    }
    if (!sameAddressConnected) {
        // The peer list keeps an endpoint that failed before: it is not tried again for a
        // minute or more, and never after two failures, whatever connect_peer is told. Its
        // entries leave the list, so the endpoint goes in fresh and is tried at once.
        impl_->engine->ForgetPeerListEntries(ep.address());
    }
    // Named as a tracker's peer, which also takes one off an old entry's failure count.
    impl_->handle.connect_peer(ep, lt::peer_info::tracker);
    impl_->engine->calledIn = ep;
}

void DownloadTask::DisconnectPeer(const std::string& address, std::uint16_t port) {
    lt::tcp::endpoint ep;
    if (isValid() && impl_->guard && ParseEndpoint(address, port, ep)) {
        impl_->guard->Disconnect(ep);
    }
}

void DownloadTask::KeepPeersOut(const std::vector<PeerEndpoint>& endpoints) {
    if (!isValid() || !impl_->guard) {
        return;
    }
    impl_->keptOut = endpoints;
    std::vector<lt::tcp::endpoint> out;
    for (const PeerEndpoint& e : endpoints) {
        lt::tcp::endpoint ep;
        if (ParseEndpoint(e.address, e.port, ep)) {
            out.push_back(ep);
        }
    }
    impl_->guard->KeepOut(std::move(out));
}

std::vector<PeerEndpoint> DownloadTask::keptOutPeers() const {
    return isValid() ? impl_->keptOut : std::vector<PeerEndpoint>{};
}

void DownloadTask::SetMaxConnections(int connections) {
    if (isValid()) {
        impl_->handle.set_max_connections(connections);
    }
}
void DownloadTask::SetDownloadLimit(int bytesPerSecond) {
    if (isValid()) {
        impl_->handle.set_download_limit(bytesPerSecond);
    }
}
void DownloadTask::SetMaxUploads(int uploadSlots) {
    if (isValid()) {
        impl_->handle.set_max_uploads(uploadSlots);
    }
}
void DownloadTask::SetUploadLimit(int bytesPerSecond) {
    if (isValid()) {
        impl_->handle.set_upload_limit(bytesPerSecond);
    }
}
