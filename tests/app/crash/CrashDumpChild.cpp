// A child process for the crash dump tests: installs the writer as the program does, then ends
// the way its first argument asks.
//   crash_dump_child <how> [base name or ""] [folder or ""] [dump limit in ms]
//   how: segv, bus, fpe, ill, abrt; exit (ends normally); download (a real download writes to
//   disk, then segv); truncated (the library reads a file cut short under its mapping: its
//   own error, then exit 0; exit 3 when it saw no such error); maps (20,000 mappings, so the
//   dump's memory map is long, then segv); thread-overflow (a thread of the program's own
//   overflows its stack).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include <libtorrent/alert_types.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>

#include "app/crash/CCrashDumpWriter.h"
#include "platform/SignalStackThread.h"
#include "support/SwarmHarness.h"
#include "tools/swarm/Peer.h"

namespace lt = libtorrent;
namespace fs = std::filesystem;

namespace {

[[gnu::noinline]] void WriteThroughNullPointer() {
    volatile int* volatile target = nullptr;
    *target = 1;
}

// Each frame keeps a page of its own, so the stack runs out after a few thousand calls. The
// recursion without end is the point: the compiler's warning about it is silenced here alone.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
[[gnu::noinline]] int Recurse(int depth) {
    volatile char page[4096];
    page[depth % sizeof page] = static_cast<char>(depth);
    return Recurse(depth + 1) + page[0];
}
#pragma GCC diagnostic pop

// Pages of alternating protection never merge: one line each in the memory map.
void MapManyPages() {
    for (int i = 0; i < 20000; ++i) {
        ::mmap(nullptr, 4096, i % 2 ? PROT_READ : PROT_READ | PROT_WRITE,
               MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    }
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

// A real download from a loopback seeder: the library's disk threads have mapped, read and
// written files, with its SIGSEGV and SIGBUS handlers in place, before the crash.
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

// The library reads the files it seeds through memory mappings; a file cut short under an open
// mapping raises SIGBUS inside the library when it next reads there, which must become its own
// error, not a crash.
int ReadTruncatedFile(const fs::path& work) {
    FileSet set = MakeFileSet(work, "Game", {4 * 1024 * 1024});
    lt::settings_pack pack;
    pack.set_int(lt::settings_pack::alert_mask,
                 lt::alert_category::error | lt::alert_category::storage);
    pack.set_str(lt::settings_pack::listen_interfaces, "");
    for (int s : {lt::settings_pack::enable_dht, lt::settings_pack::enable_lsd,
                  lt::settings_pack::enable_upnp, lt::settings_pack::enable_natpmp}) {
        pack.set_bool(s, false);
    }
    lt::session session(lt::session_params(std::move(pack)));
    lt::add_torrent_params atp;
    atp.ti = std::make_shared<lt::torrent_info>(lt::span<const char>(set.torrent), lt::from_span);
    atp.save_path = work.string();
    const lt::torrent_handle torrent = session.add_torrent(std::move(atp));
    if (!waitFor([&] { return torrent.status().is_seeding; })) {
        return 4;
    }
    // The first read maps the whole file; the second, after the cut, reads past its new end.
    for (int read = 0; read < 2; ++read) {
        if (read == 1) {
            fs::resize_file(work / "Game" / "file0.bin", 1024 * 1024);
        }
        torrent.read_piece(torrent.torrent_file()->last_piece());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (bool done = false; !done && std::chrono::steady_clock::now() < deadline;) {
            session.wait_for_alert(std::chrono::milliseconds(200));
            std::vector<lt::alert*> alerts;
            session.pop_alerts(&alerts);
            for (const lt::alert* a : alerts) {
                if (const auto* r = lt::alert_cast<lt::read_piece_alert>(a)) {
                    std::printf("read %d: %s: %s\n", read, r->error.category().name(),
                                r->error.message().c_str());
                    // The library reports a SIGBUS on a read as an I/O error (a file merely
                    // shorter when mapped reads as end of file).
                    if (read == 1) {
                        return r->error == std::errc::io_error ? 0 : 3;
                    }
                    done = true;
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
    static CCrashDumpWriter writer(argc > 2 ? argv[2] : nullptr, argc > 3 ? argv[3] : nullptr,
                                   argc > 4 ? std::atoi(argv[4]) : CCrashDumpWriter::kDumpLimitMs);
    const std::string how = argv[1];
    if (how == "segv") {
        WriteThroughNullPointer();
    } else if (how == "maps") {
        MapManyPages();
        WriteThroughNullPointer();
    } else if (how == "thread-overflow") {
        StartThreadWithSignalStack([] { std::printf("%d\n", Recurse(0)); }).join();
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
        return ReadTruncatedFile(work.path());
    } else if (how == "exit") {
        return 0;
    }
    return 2;
}
