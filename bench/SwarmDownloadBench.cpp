// Downloads a generated file set from three loopback seeders through the tracker, with each
// client in turn, and prints min, median and max times and the ratios between the clients.
// Run it through bench/swarm-download, which puts it in a network namespace of its own.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/posix_disk_io.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include "BenchPrompt.h"
#include "FileSet.h"
#include "Publisher.h"
#include "QbittorrentDownloader.h"
#include "TimedKestrelDlg.h"
#include "net/ReportSender.h"
#include "platform/Clock.h"
#include "tools/swarm/Log.h"
#include "tools/swarm/Swarm.h"
#include "tools/swarm/WaitFor.h"

namespace lt = libtorrent;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

struct Settings {
    std::uint64_t bytes = 1ull << 30;
    int repeats = 3;
    int utpRepeats = 1;
    int pieceSize = 0;
    std::vector<std::string> clients = {"engine", "libtorrent", "qbittorrent"};
    std::filesystem::path work;
    bool keep = false;
};

constexpr auto kRunLimit = 600s;

double seconds(Steady::time_point since) {
    return std::chrono::duration<double>(Steady::now() - since).count();
}

struct Timing {
    double total = -1;     // negative: did not finish within the limit
    double firstByte = -1; // until the first payload byte was on record
};

// Bytes the files under `folder` occupy on disk (sparse files count only what was written).
std::uint64_t bytesOnDisk(const std::filesystem::path& folder) {
    std::uint64_t total = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ec)) {
        struct stat st {};
        if (entry.is_regular_file(ec) && ::stat(entry.path().c_str(), &st) == 0) {
            total += static_cast<std::uint64_t>(st.st_blocks) * 512;
        }
    }
    return total;
}

struct TickFigures {
    int ticks = 0;
    std::chrono::nanoseconds total{0};
    std::chrono::nanoseconds longest{0};
    // The timed refreshes half-way between the ticks.
    int refreshes = 0;
    std::chrono::nanoseconds refresh{0};
    std::chrono::nanoseconds queries{0};
    int queryCount = 0;
    std::vector<std::chrono::nanoseconds> each;
    std::chrono::nanoseconds firstTicks{0}; // the first tick of each run (the checked event)
    int runs = 0;                           // runs with at least one tick
};

// (a) the program itself: its main window against the sample publisher's file server, which
// answers the check and hands out the torrent; the folder prompt answers with `folder`.
Timing downloadWithProgram(const std::string& fileServer, const std::filesystem::path& folder,
                           TickFigures& ticks) {
    BenchPrompt prompt(QString::fromStdString(folder.string()));
    SystemClock clock;
    HttpReportSender sender;
    auto dlg = std::make_unique<TimedKestrelDlg>(prompt, clock, sender,
                                                 QString::fromStdString(fileServer));
    dlg->Start();
    Timing t;
    if (!dlg->added || prompt.messages != 0) {
        std::fprintf(stderr, "the program did not start its download (%d messages)\n",
                     prompt.messages);
        return t;
    }
    const auto start = *dlg->added;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (t.firstByte < 0 && dlg->totalDone() > 0) {
            t.firstByte = seconds(start);
        }
        if (dlg->complete()) {
            t.total = seconds(start);
            loop.quit();
        } else if (Steady::now() - start > kRunLimit) {
            loop.quit();
        }
    });
    poll.start(20);
    loop.exec();
    dlg->counting = false;
    ticks.ticks += dlg->ticks;
    ticks.total += dlg->tickTime;
    ticks.refreshes += dlg->refreshes;
    ticks.refresh += dlg->refreshTime;
    ticks.queries += dlg->inquiries.total;
    ticks.queryCount += dlg->inquiries.count;
    ticks.longest = std::max(ticks.longest, dlg->longestTick);
    ticks.each.insert(ticks.each.end(), dlg->each.begin(), dlg->each.end());
    if (!dlg->each.empty()) {
        ticks.firstTicks += dlg->each.front();
        ++ticks.runs;
    }
    return t;
}

// A libtorrent session made from `params`.
Timing downloadWithSession(lt::session_params params, const std::vector<char>& torrent,
                           const std::filesystem::path& folder) {
    lt::session session(std::move(params));
    lt::add_torrent_params atp;
    atp.ti = std::make_shared<lt::torrent_info>(lt::span<char const>(torrent), lt::from_span);
    atp.save_path = folder.string();
    atp.flags &= ~(lt::torrent_flags::paused | lt::torrent_flags::auto_managed);
    Timing t;
    const auto start = Steady::now();
    auto handle = session.add_torrent(std::move(atp));
    const bool done = swarm::waitFor(
        [&] {
            const auto s = handle.status({});
            if (t.firstByte < 0 && s.total_done > 0) {
                t.firstByte = seconds(start);
            }
            return s.is_finished || s.is_seeding;
        },
        kRunLimit);
    if (done) {
        t.total = seconds(start);
    }
    session.remove_torrent(handle);
    return t;
}

// (b) a libtorrent session exactly as the library comes: default settings and plugins.
Timing downloadWithDefaultSession(const std::vector<char>& torrent,
                                  const std::filesystem::path& folder) {
    return downloadWithSession(lt::session_params(), torrent, folder);
}

// (c) the two disk back ends, alike in all else: the default one maps the files into memory on
// a pool of disk threads (and installs its own SIGSEGV and SIGBUS handlers), the POSIX one reads,
// writes and hashes on the network thread. TCP only, as the program, so that neither waits
// out a uTP time-out.
Timing downloadWithDiskBackEnd(bool posix, const std::vector<char>& torrent,
                               const std::filesystem::path& folder) {
    lt::settings_pack pack;
    pack.set_bool(lt::settings_pack::enable_outgoing_utp, false);
    pack.set_bool(lt::settings_pack::enable_incoming_utp, false);
    lt::session_params params(std::move(pack));
    if (posix) {
        params.disk_io_constructor = lt::posix_disk_io_constructor;
    }
    return downloadWithSession(std::move(params), torrent, folder);
}

// One timed download: from handing the torrent over until the client holds every piece.
using Download = std::function<Timing(const std::vector<char>&, const std::filesystem::path&)>;

struct Figures {
    std::vector<double> times;
    std::vector<double> firstBytes;
    int failures = 0;
    double median() const {
        auto t = times;
        std::sort(t.begin(), t.end());
        if (t.empty()) {
            return 0;
        }
        return t.size() % 2 ? t[t.size() / 2] : (t[t.size() / 2 - 1] + t[t.size() / 2]) / 2;
    }
};

void printTable(const std::string& title, const std::vector<std::string>& order,
                std::map<std::string, Figures>& figures, std::uint64_t bytes) {
    std::printf("\n%s\n", title.c_str());
    std::printf("  %-12s %5s %8s %8s %8s %9s %12s\n", "client", "runs", "min s", "median s",
                "max s", "MB/s med", "1st byte s");
    for (const auto& name : order) {
        auto& f = figures[name];
        if (f.times.empty()) {
            std::printf("  %-12s %5d   (no finished run, %d failed)\n", name.c_str(), 0,
                        f.failures);
            continue;
        }
        const auto [mn, mx] = std::minmax_element(f.times.begin(), f.times.end());
        auto firsts = f.firstBytes;
        std::sort(firsts.begin(), firsts.end());
        const std::string first =
            firsts.empty() ? "-" : std::to_string(firsts[firsts.size() / 2]).substr(0, 5);
        std::printf("  %-12s %5zu %8.2f %8.2f %8.2f %9.1f %12s%s\n", name.c_str(), f.times.size(),
                    *mn, f.median(), *mx, static_cast<double>(bytes) / 1e6 / f.median(),
                    first.c_str(), f.failures ? "  (some runs failed)" : "");
    }
    for (const auto& a : order) {
        for (const auto& b : order) {
            if (a < b && !figures[a].times.empty() && !figures[b].times.empty()) {
                std::printf("  median ratio %s / %s = %.2f\n", a.c_str(), b.c_str(),
                            figures[a].median() / figures[b].median());
            }
        }
    }
    std::fflush(stdout);
}

[[noreturn]] void usage() {
    std::fputs("usage: swarm_download_bench [--size BYTES] [--repeats N] [--utp-repeats N]\n"
               "       [--piece-size BYTES] [--clients a,b,...] [--work DIR] [--keep]\n"
               "clients: engine (the program), libtorrent (default session), qbittorrent,\n"
               "         mmap and posix (TCP-only sessions with either disk back end)\n",
               stderr);
    std::exit(2);
}

Settings parse(int argc, char** argv) {
    Settings s;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                usage();
            }
            return argv[++i];
        };
        if (arg == "--size") {
            s.bytes = std::stoull(value());
        } else if (arg == "--repeats") {
            s.repeats = std::stoi(value());
        } else if (arg == "--utp-repeats") {
            s.utpRepeats = std::stoi(value());
        } else if (arg == "--piece-size") {
            s.pieceSize = std::stoi(value());
        } else if (arg == "--clients") {
            s.clients.clear();
            std::string list = value();
            for (std::size_t at = 0; at <= list.size();) {
                const auto comma = std::min(list.find(',', at), list.size());
                s.clients.push_back(list.substr(at, comma - at));
                at = comma + 1;
            }
        } else if (arg == "--work") {
            s.work = value();
        } else if (arg == "--keep") {
            s.keep = true;
        } else {
            usage();
        }
    }
    return s;
}

} // namespace

int main(int argc, char** argv) {
    // The program's window runs offscreen; the figures are about its work, not the screen.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    Settings settings = parse(argc, argv);
    const bool ownWork = settings.work.empty();
    if (ownWork) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kestrel-bench-XXXXXX").string();
        settings.work = mkdtemp(pattern.data());
    }
    std::printf("work folder %s, %llu bytes, %d TCP runs and %d uTP runs per client\n",
                settings.work.c_str(), static_cast<unsigned long long>(settings.bytes),
                settings.repeats, settings.utpRepeats);

    auto t0 = Steady::now();
    const auto root = publisher::GenerateFileSet(settings.work / "source", "Emberway Installer",
                                                 settings.bytes, 1);
    std::printf("file set generated in %.1f s\n", seconds(t0));

    // The publisher's file server makes the torrent (naming the tracker the swarms run on a
    // fixed port, so one torrent serves both swarms) and answers the program's check. No web
    // seed: the download comes from the swarm alone.
    publisher::PublisherOptions po;
    po.contentFolder = root;
    po.announceUrls = {"http://127.0.0.1:6969/announce"};
    po.pieceSize = settings.pieceSize;
    po.checkFields[5] = "";
    po.logRequestsToStdout = false;
    po.statisticsToStdout = false;
    po.statisticsLog = settings.work / "statistics.jsonl";
    t0 = Steady::now();
    publisher::Publisher fileServer(po);
    fileServer.start();
    const auto& torrent = fileServer.torrent();
    const lt::torrent_info info(lt::span<char const>(torrent), lt::from_span);
    std::printf("torrent made in %.1f s: %d pieces of %d bytes, %d files\n", seconds(t0),
                info.num_pieces(), info.piece_length(), info.num_files());

    swarm::Swarm::Options so;
    so.tracker = true;
    so.trackerPort = 6969;
    so.seeders = 3;
    so.log = std::make_shared<swarm::Log>(settings.work / "swarm.log");

    std::map<std::string, Download> downloads;
    TickFigures ticks;
    downloads["engine"] = [&](const std::vector<char>&, const std::filesystem::path& folder) {
        return downloadWithProgram(fileServer.origin(), folder, ticks);
    };
    downloads["libtorrent"] = downloadWithDefaultSession;
    downloads["mmap"] = [](const std::vector<char>& t, const std::filesystem::path& folder) {
        return downloadWithDiskBackEnd(false, t, folder);
    };
    downloads["posix"] = [](const std::vector<char>& t, const std::filesystem::path& folder) {
        return downloadWithDiskBackEnd(true, t, folder);
    };
    std::unique_ptr<QbittorrentDownloader> qbittorrent;
    if (std::find(settings.clients.begin(), settings.clients.end(), "qbittorrent") !=
        settings.clients.end()) {
        if (!QbittorrentDownloader::available()) {
            std::fprintf(stderr, "qbittorrent-nox is not installed; see bench/README.md\n");
            return 1;
        }
        qbittorrent =
            std::make_unique<QbittorrentDownloader>(settings.work / "qbittorrent", 28901, 28902);
        std::printf("qbittorrent-nox %s\n", qbittorrent->version().c_str());
        downloads["qbittorrent"] = [&qbittorrent](const std::vector<char>& t,
                                                  const std::filesystem::path& folder) {
            Timing timing;
            const auto start = Steady::now();
            qbittorrent->add(t, folder);
            const bool done = swarm::waitFor(
                [&] {
                    // Its web API is too coarse for this; the disk shows the first block.
                    if (timing.firstByte < 0 && bytesOnDisk(folder) > 0) {
                        timing.firstByte = seconds(start);
                    }
                    return qbittorrent->isComplete();
                },
                kRunLimit);
            if (done) {
                timing.total = seconds(start);
            }
            qbittorrent->remove();
            return timing;
        };
    }
    for (const auto& name : settings.clients) {
        if (!downloads.count(name)) {
            std::fprintf(stderr, "unknown client %s\n", name.c_str());
            usage();
        }
    }

    int run = 0;
    for (const bool utp : {false, true}) {
        const int repeats = utp ? settings.utpRepeats : settings.repeats;
        if (repeats == 0) {
            continue;
        }
        so.utp = utp;
        so.workFolder = settings.work / (utp ? "peers-utp" : "peers-tcp");
        swarm::Swarm swarm(so);
        t0 = Steady::now();
        swarm.start(torrent, root.parent_path());
        if (!swarm.waitUntilReady(std::chrono::minutes(20))) {
            std::fprintf(stderr, "seeders did not get ready\n");
            return 1;
        }
        std::printf("\n3 seeders (%s) checked their data in %.1f s\n",
                    utp ? "TCP and uTP" : "TCP only", seconds(t0));
        std::map<std::string, Figures> figures;
        ticks = {};
        for (int r = 0; r < repeats; ++r) {
            // Clients take turns so that a drift of the machine's speed hits them alike.
            for (const auto& name : settings.clients) {
                const auto folder = settings.work / ("run-" + std::to_string(++run));
                std::filesystem::create_directories(folder);
                const Timing t = downloads[name](torrent, folder);
                if (t.total < 0) {
                    std::printf("  %s %-12s run %d: did not finish\n", utp ? "uTP" : "TCP",
                                name.c_str(), r + 1);
                    ++figures[name].failures;
                } else {
                    std::printf("  %s %-12s run %d: %.2f s", utp ? "uTP" : "TCP", name.c_str(),
                                r + 1, t.total);
                    if (t.firstByte >= 0) {
                        std::printf(" (first byte after %.2f s)", t.firstByte);
                        figures[name].firstBytes.push_back(t.firstByte);
                    }
                    std::printf("\n");
                    figures[name].times.push_back(t.total);
                }
                std::fflush(stdout);
                std::error_code ec; // qbittorrent-nox may still be deleting in there
                std::filesystem::remove_all(folder, ec);
            }
        }
        printTable(utp ? "Seeders offering TCP and uTP" : "Seeders on TCP only", settings.clients,
                   figures, settings.bytes);
        if (ticks.ticks > 0) {
            using us = std::chrono::duration<double, std::micro>;
            std::printf("  the program's 300 ms tick while downloading: %d ticks, mean %.0f us, "
                        "longest %.0f us\n",
                        ticks.ticks, us(ticks.total).count() / ticks.ticks,
                        us(ticks.longest).count());
            auto sorted = ticks.each;
            std::sort(sorted.begin(), sorted.end());
            if (ticks.refreshes > 0 && ticks.queryCount > 0) {
                std::printf("    a status refresh half-way between two ticks: %.0f us, of which "
                            "its %d inquiries of the task %.0f us, %.0f us each\n",
                            us(ticks.refresh).count() / ticks.refreshes,
                            ticks.queryCount / ticks.refreshes,
                            us(ticks.queries).count() / ticks.refreshes,
                            us(ticks.queries).count() / ticks.queryCount);
            }
            std::printf("    median tick %.0f us; mean without each run's first tick %.0f us\n",
                        us(sorted[sorted.size() / 2]).count(),
                        ticks.ticks > ticks.runs ? us(ticks.total - ticks.firstTicks).count() /
                                                       (ticks.ticks - ticks.runs)
                                                 : 0.0);
        }
        std::printf("  uploads per seeder over these runs:\n");
        for (const auto& line : swarm.uploadSummary()) {
            std::printf("    %s\n", line.c_str());
        }
    }
    qbittorrent.reset();
    if (ownWork && !settings.keep) {
        std::filesystem::remove_all(settings.work);
    }
    return 0;
}
