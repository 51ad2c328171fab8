#pragma once

#include <QString>

// One library notification of a kind the window reacts to, as the program's own record.
struct EngineEvent {
    enum Code {
        ListenFailed = 0,
        PortmapError = 1,
        Portmap = 2,
        FileError = 3,
        TrackerAnnounce = 4,
        TrackerError = 5, // reserved: tracker errors are not mapped
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

    int code = -1;
    // True for the events about the torrent (codes 3 to 16 and 18 to 21).
    bool aboutTorrent = false;
    int peersReceived = 0;    // code 6
    int scrapeIncomplete = 0; // code 8
    int scrapeComplete = 0;   // code 8
    QString seedUrl;          // code 10
    int failedPiece = 0;      // code 11
    QString message;
};
