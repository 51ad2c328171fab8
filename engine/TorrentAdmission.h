#pragma once

// Private to engine/: speaks the library's torrent types.
#ifndef KESTREL_ENGINE_PRIVATE
#error "engine/TorrentAdmission.h is private to engine/ and its tests"
#endif

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <libtorrent/torrent_info.hpp>

// Why a torrent was turned away, or None.
enum class TorrentRefusal {
    None,
    // Not a torrent within the library's decode limits.
    Undecodable,
    // A publisher key is set and the torrent is not, every byte of it, signed with it.
    Unsigned,
    // A hidden top-level name or a link, whichever way the torrent marks one.
    HiddenOrLink,
    // A name with a bidirectional control, or a file that would land in a command folder.
    CommandFolder,
};

// The one answer on a torrent's bytes: refused with the reason, or admitted with its
// description, ready to add.
struct TorrentAdmission {
    TorrentRefusal refusal = TorrentRefusal::None;
    std::shared_ptr<const libtorrent::torrent_info> info;
    bool admitted() const { return refusal == TorrentRefusal::None; }
};

// Decodes the torrent and checks, in this order, the publisher's signature (skipped when
// publisherKey is empty) and what it would put into saveFolder (engine/TorrentContentRule.h).
// Never throws; writes nothing.
TorrentAdmission AdmitTorrent(std::string_view bytes, const std::string& publisherKey,
                              const std::filesystem::path& saveFolder,
                              const std::vector<std::filesystem::path>& commandFolders);
