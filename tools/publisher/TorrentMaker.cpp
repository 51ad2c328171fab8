#include "TorrentMaker.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include <libtorrent/bencode.hpp>
#include <libtorrent/create_torrent.hpp>
#include <libtorrent/error_code.hpp>
#include <libtorrent/file_storage.hpp>

namespace publisher {

std::vector<char> MakeTorrent(const std::filesystem::path& root,
                              const std::vector<std::string>& trackerUrls,
                              const std::vector<std::string>& webSeedUrls, int pieceSize,
                              TorrentKind kind) {
    const std::filesystem::path base = std::filesystem::absolute(root).lexically_normal();
    const std::filesystem::path folder =
        base.has_filename() ? base : base.parent_path(); // "dir/" has an empty filename
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        throw std::runtime_error("no files under " + folder.string());
    }

    lt::file_storage storage;
    for (const auto& file : files) {
        const auto relative = file.lexically_relative(folder.parent_path());
        storage.add_file(relative.generic_string(),
                         static_cast<std::int64_t>(std::filesystem::file_size(file)));
    }

    const lt::create_flags_t flags = kind == TorrentKind::V1   ? lt::create_torrent::v1_only
                                     : kind == TorrentKind::V2 ? lt::create_torrent::v2_only
                                                               : lt::create_flags_t{};
    lt::create_torrent torrent(storage, pieceSize, flags);
    torrent.set_creation_date(0);
    int tier = 0;
    for (const auto& url : trackerUrls) {
        torrent.add_tracker(url, tier++);
    }
    for (const auto& url : webSeedUrls) {
        torrent.add_url_seed(url);
    }
    lt::error_code ec;
    lt::set_piece_hashes(torrent, folder.parent_path().string(), ec);
    if (ec) {
        throw std::runtime_error("hashing " + folder.string() + ": " + ec.message());
    }
    std::vector<char> out;
    lt::bencode(std::back_inserter(out), torrent.generate());
    return out;
}

} // namespace publisher
