#include "engine/TorrentFiles.h"

#include <exception>

#include <libtorrent/bdecode.hpp>
#include <libtorrent/torrent_info.hpp>

namespace lt = libtorrent;

std::optional<std::vector<FolderFile>> TorrentFilesOf(const char* data, std::size_t length) {
    if (data == nullptr) {
        return std::nullopt;
    }
    try {
        lt::error_code ec;
        const lt::bdecode_node node =
            lt::bdecode(lt::span<const char>(data, static_cast<std::ptrdiff_t>(length)), ec);
        if (ec) {
            return std::nullopt;
        }
        const lt::torrent_info info(node, lt::load_torrent_limits{});
        const lt::file_storage& files = info.files();
        std::vector<FolderFile> out;
        for (const lt::file_index_t i : files.file_range()) {
            if (!files.pad_file_at(i)) {
                out.push_back({QString::fromStdString(files.file_path(i)),
                               static_cast<std::uint64_t>(files.file_size(i))});
            }
        }
        return out;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}
