#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QString>

#include "engine/EngineEvent.h"
#include "engine/SaveFolderRule.h"

class DownloadTask;

// Owns the BitTorrent session and the settings the program applied. Created once by the
// window's start and kept until the process ends. Every call runs on the caller's thread and
// returns at once; the library's own threads do the network and disk work.
//
// SetUpSession (engine/SessionSetup.h) makes the calls in the order the window makes them, so
// that a benchmark or a test gets a session exactly as the program configures it.
class DownloadEngine {
public:
    // Storage mode codes of the program's own.
    static constexpr int kStorageSparse = 0;
    static constexpr int kStorageFullAllocation = 1;
    static constexpr int kStorageCompact = 2;

    // The session starts with its final identity and quiet: not listening, no UPnP, NAT-PMP,
    // local service discovery or DHT. Its disk back end is fixed for its life.
    DownloadEngine(std::uint16_t versionMinor, const QString& clientName,
                   DiskBackEnd backEnd = DiskBackEnd::Mapped);
    // Ends the session, waiting at most kSessionEndLimit for the library to finish its disk
    // and network work; past that the session ends on its own thread (see AllSessionsEnded).
    ~DownloadEngine();
    static constexpr std::chrono::milliseconds kSessionEndLimit{5'000};
    // False while a session left to end on its own thread still runs: the process should
    // then end without the usual teardown, which would pull the library from under it.
    static bool AllSessionsEnded();
    DownloadEngine(const DownloadEngine&) = delete;
    DownloadEngine& operator=(const DownloadEngine&) = delete;

    // "VrtTorrent/0.12.1.0" for client "VrtTorrent" and minor version 12.
    QString UserAgent() const;
    // "-VR0C10-" for minor version 12.
    std::string PeerIdPrefix() const;

    DiskBackEnd BackEnd() const { return backEnd_; }

    void ApplySessionSettings();
    int StorageMode() const { return storageMode_; }

    // One listen attempt on 0.0.0.0:port, answered at once: a taken port fails, with no retry
    // on a neighbouring port and no port of the system's choosing.
    bool ListenOn(std::uint16_t port);
    // Up to `attempts` attempts, each on a new port drawn from a generator seeded with
    // `seed`. Returns the port that worked, or 0. When none worked the session still keeps a
    // socket of its own for tracker announces, but accepts no incoming connection.
    std::uint16_t OpenListenPort(std::uint32_t seed, int attempts = 10);
    // Whether the program listens: a port was opened and listening has not been stopped.
    bool IsListening() const;
    // The session's listen port as the library reports it (0 when it holds no socket).
    std::uint16_t SocketPort() const;
    // Whether an incoming connection from a non-local address was ever accepted while
    // listening.
    bool HasIncomingConnections() const;
    // From now on no incoming connection is accepted and the incoming flag reads false.
    // Tracker announces, outgoing connections and the download go on.
    void StopListening();

    // UPnP, local service discovery, DHT (empty state, no router nodes), NAT-PMP.
    void StartUpnp();
    void StartLsd();
    void StartEngineServices();
    void StartNatpmp();
    void StopDht();
    void StopLsd();
    void StopUpnp();
    void StopNatpmp();
    struct Services {
        bool upnp = false, lsd = false, dht = false, natpmp = false;
        bool operator==(const Services&) const = default;
    };
    Services RunningServices() const;

    // Session limits; a rate of 0 is no limit.
    void SetMaxUploads(int uploadSlots);
    void SetUploadRateLimit(int bytesPerSecond);
    void SetMaxConnections(int connections);
    void SetDownloadRateLimit(int bytesPerSecond);

    // Decodes the torrent within the library's limits and adds it, running, not queued, not
    // sequential, into saveFolder. Fills task and returns true on success; bad data or a
    // refused torrent returns false, leaves task as it was and writes nothing. Refused are a
    // hidden top-level name, any link, a name with a bidirectional control, a file that would
    // land in a command folder (see SetCommandFolders), and, with a publisher key, a torrent
    // that is not, every byte of it, signed by the publisher.
    bool AddTorrentFromBuffer(const char* data, std::size_t length, const QString& saveFolder,
                              DownloadTask& task);

    // The publisher's Ed25519 public key (32 raw bytes) that every torrent must be signed
    // with; the build's key unless told otherwise, and none when empty.
    void SetPublisherKey(std::string rawKey) { publisherKey_ = std::move(rawKey); }

    // The folders where the player's shell looks for commands, which no torrent may put a
    // file in: those of the player's PATH, ~/bin and ~/.local/bin unless told otherwise.
    void SetCommandFolders(std::vector<std::filesystem::path> folders) {
        commandFolders_ = std::move(folders);
    }

    // The next notification of a listed kind; false when none is waiting. Others are
    // discarded on the way.
    bool NextEngineEvent(EngineEvent& event);

    // Holds every web seed connection that starts from now on to bytesPerSecond, from its
    // first byte; BitTorrent peers, on the web seed's host too, are not held. Nothing is
    // looked up: call it before the torrent can meet the web seed.
    void HoldWebSeeds(int bytesPerSecond);

    // Pauses every torrent of the session.
    void PauseSession();
    bool IsSessionPaused() const;

    // The library objects behind the engine, defined in engine/'s private header.
    struct Impl;

private:
    friend struct EngineInternals;
    std::unique_ptr<Impl> impl_;
    DiskBackEnd backEnd_ = DiskBackEnd::Mapped;
    int storageMode_ = kStorageSparse;
    QString clientName_;
    // The user agent and peer id say version 0.<minor>: only the minor number is the program's.
    static constexpr std::uint16_t kVersionMajor = 0;
    std::uint16_t versionMinor_ = 0;
    std::string publisherKey_;
    std::vector<std::filesystem::path> commandFolders_;
};
