// A child process for the crash dump tests: installs the writer as the program does, then ends
// the way its first argument asks.
//   crash_dump_child <how> [base name or ""] [folder]
//   how: segv, bus, fpe, ill, abrt; exit (ends normally); download (a real download writes to
//   disk, then segv); truncated (the library hashes a file cut short under it: its own error,
//   then exit 0; exit 3 when it saw no such error).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <sys/mman.h>
#include <unistd.h>

#include <libtorrent/alert_types.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_info.hpp>

#include "SwarmHarness.h"
#include "app/CCrashDumpWriter.h"
#include "tools/swarm/Peer.h"

namespace lt = libtorrent;
namespace fs = std::filesystem;

namespace {

[[gnu::noinline]] void WriteThroughNullPointer() {
    volatile int* volatile target = nullptr;
    *target = 1;
}

[[gnu::noinline]] void ReadPastEndOfMappedFile() {
    const int fd = ::memfd_create("empty", 0);
    auto* page = static_cast<volatile char*>(::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0));
    std::printf("%d\n", page[0]);
}

[[gnu::noinline]] void DivideByZero() {
    volatile int zero = 0;
    volatile int seven = 7;
    std::printf("%d\n", seven / zero);
}

// A real download from a loopback seeder: the library's disk threads write (and so have taken
// over SIGSEGV and SIGBUS) before the crash.
void DownloadSome(const fs::path& work) {
    FileSet set = MakeFileSet(work / "seed", "Game", {8 * 1024 * 1024});
    swarm::Peer::Options o;
    o.address = "127.0.0.2";
    o.dataDir = work / "seeder";
    swarm::Peer seeder(set.torrent, set.root, o);
    o.role = swarm::Peer::Role::Downloader;
    o.address = "127.0.0.3";
    o.dataDir = work / "downloader";
    swarm::Peer downloader(set.torrent, set.root, o);
    if (!waitFor([&] { return seeder.isReady(); })) {
        std::exit(4);
    }
    downloader.connect("127.0.0.2", seeder.listenPort());
    if (!waitFor([&] { return downloader.piecesHeld() > 0; })) {
        std::exit(4);
    }
    WriteThroughNullPointer();
}

// The library checks a file that is shorter than its torrent says: reading the mapped pages
// past the end raises SIGBUS inside the library, which must become its file error.
int HashTruncatedFile(const fs::path& work) {
    FileSet set = MakeFileSet(work, "Game", {4 * 1024 * 1024});
    fs::resize_file(work / "Game", 1024 * 1024 + 100);
    lt::settings_pack pack;
    pack.set_int(lt::settings_pack::alert_mask, lt::alert_category::error);
    pack.set_str(lt::settings_pack::listen_interfaces, "");
    for (int s : {lt::settings_pack::enable_dht, lt::settings_pack::enable_lsd,
                  lt::settings_pack::enable_upnp, lt::settings_pack::enable_natpmp}) {
        pack.set_bool(s, false);
    }
    lt::session session(lt::session_params(std::move(pack)));
    lt::add_torrent_params atp;
    atp.ti = std::make_shared<lt::torrent_info>(lt::span<const char>(set.torrent), lt::from_span);
    atp.save_path = work.string();
    session.add_torrent(std::move(atp));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        session.wait_for_alert(std::chrono::milliseconds(200));
        std::vector<lt::alert*> alerts;
        session.pop_alerts(&alerts);
        for (const lt::alert* a : alerts) {
            if (const auto* e = lt::alert_cast<lt::file_error_alert>(a)) {
                std::printf("file error: %s: %s\n", e->error.category().name(),
                            e->error.message().c_str());
                if (std::strcmp(e->error.category().name(), "signal") == 0) {
                    return 0;
                }
            }
        }
    }
    return 3;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    static CCrashDumpWriter writer(argc > 2 ? argv[2] : nullptr, argc > 3 ? argv[3] : nullptr);
    const std::string how = argv[1];
    if (how == "segv") {
        WriteThroughNullPointer();
    } else if (how == "bus") {
        ReadPastEndOfMappedFile();
    } else if (how == "fpe") {
        DivideByZero();
    } else if (how == "ill") {
        __builtin_trap();
    } else if (how == "abrt") {
        std::abort();
    } else if (how == "download" || how == "truncated") {
        TempFolder work;
        if (how == "download") {
            DownloadSome(work.path());
        }
        return HashTruncatedFile(work.path());
    } else if (how == "exit") {
        return 0;
    }
    return 2;
}
