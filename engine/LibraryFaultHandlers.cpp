#include "engine/LibraryFaultHandlers.h"

#include <cstdint>
#include <memory>
#include <string>

#include <dlfcn.h>
#include <sys/stat.h>

#include <libtorrent/aux_/vector.hpp>
#include <libtorrent/disk_buffer_holder.hpp>
#include <libtorrent/disk_interface.hpp>
#include <libtorrent/file_storage.hpp>
#include <libtorrent/io_context.hpp>
#include <libtorrent/peer_request.hpp>
#include <libtorrent/performance_counters.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/settings_pack.hpp>
#include <libtorrent/storage_defs.hpp>

namespace lt = libtorrent;

void InstallLibraryFaultHandlers() {
    // One block read through the default (memory-mapped) disk back end makes it install them.
    // Files under about 640 KiB are read without a mapping and do not, so the block comes from
    // the library's own file, which is always there and always larger.
    Dl_info library{};
    struct stat st {};
    if (::dladdr(reinterpret_cast<void*>(&lt::default_disk_io_constructor), &library) == 0 ||
        !library.dli_fname || ::stat(library.dli_fname, &st) != 0 || st.st_size < 16 * 1024) {
        return;
    }
    const std::string path = library.dli_fname;
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    lt::file_storage files;
    files.set_piece_length(16 * 1024);
    files.add_file(path.substr(slash + 1), st.st_size);
    files.set_num_pieces(static_cast<int>((st.st_size + 16 * 1024 - 1) / (16 * 1024)));
    const lt::aux::vector<lt::download_priority_t, lt::file_index_t> priorities;

    lt::io_context io;
    lt::counters counters;
    const lt::settings_pack settings;
    auto disk = lt::default_disk_io_constructor(io, settings, counters);
    {
        const lt::storage_holder storage =
            disk->new_torrent(lt::storage_params(files, nullptr, folder, lt::storage_mode_sparse,
                                                 priorities, lt::sha1_hash()),
                              nullptr);
        lt::peer_request block;
        block.piece = lt::piece_index_t(0);
        block.start = 0;
        block.length = 16 * 1024;
        bool done = false;
        disk->async_read(storage, block, [&done](lt::disk_buffer_holder, lt::storage_error const&) {
            done = true;
        });
        disk->submit_jobs();
        while (!done && io.run_one() > 0) {
        }
    }
    disk->abort(true);
}
