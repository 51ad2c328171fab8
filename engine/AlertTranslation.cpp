#include "engine/AlertTranslation.h"

#include <string>

namespace lt = libtorrent;

namespace {

QString FromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
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

} // namespace

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
