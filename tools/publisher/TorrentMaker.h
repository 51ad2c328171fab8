#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace publisher {

// The torrent formats in use: v1 (SHA-1 pieces), v2 (SHA-256 trees, every file starting at a
// piece boundary) and hybrid (both, with pad files after every file but the last).
enum class TorrentKind { V1, V2, Hybrid };

// A torrent of the given kind of the folder root, bencoded. The torrent's name is root's folder
// name and the file paths start there, so the data is found under <save folder>/<name>/... . Each
// tracker URL gets a tier of its own, in order. pieceSize 0 lets libtorrent choose. Files are added
// in sorted order so the same folder always gives the same info-hash. Throws on an unreadable or
// empty folder.
std::vector<char> MakeTorrent(const std::filesystem::path& root,
                              const std::vector<std::string>& trackerUrls,
                              const std::vector<std::string>& webSeedUrls, int pieceSize = 0,
                              TorrentKind kind = TorrentKind::V1);

} // namespace publisher
