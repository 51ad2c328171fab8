#pragma once

#include <QString>

// One library notification of a kind the window reacts to, as the program's own record.
struct EngineEvent {
    // Each kind keeps its number, 0 to 21; None marks a record not filled yet.
    enum class Code {
        None = -1,
        ListenFailed = 0,
        PortmapError = 1,
        Portmap = 2,
        FileError = 3,
        TrackerAnnounce = 4,
        TrackerError = 5,
        TrackerReply = 6,
        TrackerWarning = 7,
        ScrapeReply = 8,
        ScrapeFailed = 9,
        UrlSeed = 10,
        HashFailed = 11,
        PeerBan = 12,
        TorrentFinished = 13,
        MetadataFailed = 14,
        MetadataReceived = 15,
        FastresumeRejected = 16,
        PeerBlocked = 17,
        StorageMoved = 18,
        TorrentPaused = 19,
        TorrentChecked = 20,
        TorrentDeleted = 21,
    };

    Code code = Code::None;
    // The library's own text for the notification.
    QString message;
    // The web seed's address, for UrlSeed.
    QString seedUrl;
    // A file error's system error number (ENOSPC, EFBIG, ...); 0 for any other event, or
    // when the library gave none.
    int systemError = 0;
};
