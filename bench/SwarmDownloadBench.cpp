// Downloads a generated file set from three loopback seeders through the tracker, with each
// client in turn, and prints min, median and max times, the processor time and memory of the
// client's own process, and the ratios between the clients. Every client runs in a process of
// its own, apart from the seeders, the tracker and the file server. Run it through
// bench/swarm-download, which puts it in a network namespace of its own.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/extensions.hpp>
#include <libtorrent/posix_disk_io.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <CLI/CLI.hpp>

#include "BenchPrompt.h"
#include "FileSet.h"
#include "ProcessUsage.h"
#include "Publisher.h"
#include "QbittorrentDownloader.h"
#include "SettingOverride.h"
#include "TimedKestrelDlg.h"
#include "engine/EngineInternals.h"
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
    // Each one more engine run beside the program's own set-up, with that one setting changed.
    std::vector<SettingOverride> overrides;
    std::chrono::seconds runLimit = 600s;
    std::filesystem::path work;
    bool keep = false;
};

double seconds(Steady::time_point since) {
    return std::chrono::duration<double>(Steady::now() - since).count();
}

// One download as the client's process saw it.
struct Timing {
    double total = -1;                // negative: did not finish within the limit
    double firstByte = -1;            // until the first payload byte was on record
    double userSeconds = 0;           // processor time of the client's process over the download
    double systemSeconds = 0;         //
    std::uint64_t anonymousBytes = 0; // the largest resident anonymous memory seen
    std::uint64_t peakBytes = 0;      // the resident set's high-water mark
    std::vector<std::chrono::nanoseconds> ticks; // the program's ticks, in order
    std::map<std::string, double> threadSeconds; // processor seconds by thread name
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

// A process's processor time at one moment, whole and by thread.
struct CpuMark {
    explicit CpuMark(pid_t p) : pid(p), usage(ReadProcessUsage(p)), threads(ReadThreadTimes(p)) {}
    pid_t pid;
    std::optional<ProcessUsage> usage;
    std::map<int, ThreadTime> threads;
};

// Processor time of the process since `start`, whole and by thread: the main thread, the
// busiest of the others (on the library's side, its network thread as a rule; the library's
// thread names do not reach the system here), the rest together, and what threads that ended
// meanwhile used.
void chargeSince(const CpuMark& start, Timing& t) {
    const CpuMark end(start.pid);
    if (!start.usage || !end.usage) {
        return;
    }
    t.userSeconds = end.usage->userSeconds - start.usage->userSeconds;
    t.systemSeconds = end.usage->systemSeconds - start.usage->systemSeconds;
    double main = 0;
    double busiest = 0;
    double others = 0;
    for (const auto& [tid, now] : end.threads) {
        double spent = now.userSeconds + now.systemSeconds;
        const auto before = start.threads.find(tid);
        if (before != start.threads.end()) {
            spent -= before->second.userSeconds + before->second.systemSeconds;
        }
        if (tid == start.pid) {
            main = spent;
        } else {
            busiest = std::max(busiest, spent);
            others += spent;
        }
    }
    t.threadSeconds["1 main"] = main;
    t.threadSeconds["2 busiest other"] = busiest;
    t.threadSeconds["3 the others"] = others - busiest;
    t.threadSeconds["4 ended"] = t.userSeconds + t.systemSeconds - main - others;
}

// ---- The client's side, in a process of its own -------------------------------------------

// Set on the library's network thread when the torrent holds every piece, so that telling the
// end asks the client for no status: 50 status queries a second would be work of the bench's,
// counted as the client's.
struct FinishWatch final : lt::torrent_plugin {
    std::shared_ptr<std::atomic<bool>> finished = std::make_shared<std::atomic<bool>>(false);
    void on_state(lt::torrent_status::state_t state) override {
        if (state == lt::torrent_status::finished || state == lt::torrent_status::seeding) {
            finished->store(true);
        }
    }
};

std::shared_ptr<std::atomic<bool>> watchFinish(lt::torrent_handle& handle) {
    auto watch = std::make_shared<FinishWatch>();
    auto flag = watch->finished;
    handle.add_extension([watch](const lt::torrent_handle&, lt::client_data_t) { return watch; });
    return flag;
}

// (a) the program itself: its main window against the sample publisher's file server, which
// answers the check and hands out the torrent; the folder prompt answers with `folder`.
// `setting`, when given, is applied right after the window added the torrent, while the
// tracker has not yet answered and no peer is connected.
Timing downloadWithProgram(const std::string& fileServer, const std::filesystem::path& folder,
                           const std::optional<SettingOverride>& setting,
                           std::chrono::seconds limit) {
    BenchPrompt prompt(QString::fromStdString(folder.string()));
    SystemClock clock;
    HttpReportSender sender;
    auto dlg = std::make_unique<TimedKestrelDlg>(prompt, clock, sender,
                                                 QString::fromStdString(fileServer));
    // The program's own work only: no extra refreshes between its ticks.
    dlg->timedRefreshes = false;
    dlg->Start();
    Timing t;
    if (!dlg->added || prompt.messages != 0) {
        std::fprintf(stderr, "the program did not start its download (%d messages)\n",
                     prompt.messages);
        return t;
    }
    const auto start = *dlg->added;
    const CpuMark before(getpid());
    lt::torrent_handle handle = EngineInternals::Of(dlg->Task()).handle;
    const auto finished = watchFinish(handle);
    if (setting) {
        lt::settings_pack pack;
        std::string error;
        if (!AddSettingOverride(*setting, pack, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return t;
        }
        // The bench's one way past the program's own set-up: the session behind its engine.
        EngineInternals::Of(*dlg->Engine()).session->apply_settings(std::move(pack));
    }
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        // A few status queries at the start only.
        if (t.firstByte < 0 && dlg->totalDone() > 0) {
            t.firstByte = seconds(start);
        }
        if (finished->load()) {
            t.total = seconds(start);
            chargeSince(before, t);
            loop.quit();
        } else if (Steady::now() - start > limit) {
            loop.quit();
        }
    });
    poll.start(20);
    loop.exec();
    dlg->counting = false;
    t.ticks = dlg->each;
    return t;
}

// A libtorrent session made from `params`.
Timing downloadWithSession(lt::session_params params, const std::vector<char>& torrent,
                           const std::filesystem::path& folder, std::chrono::seconds limit) {
    lt::session session(std::move(params));
    lt::add_torrent_params atp;
    atp.ti = std::make_shared<lt::torrent_info>(lt::span<char const>(torrent), lt::from_span);
    atp.save_path = folder.string();
    atp.flags &= ~(lt::torrent_flags::paused | lt::torrent_flags::auto_managed);
    Timing t;
    const auto start = Steady::now();
    const CpuMark before(getpid());
    auto handle = session.add_torrent(std::move(atp));
    const auto finished = watchFinish(handle);
    const bool done = swarm::waitFor(
        [&] {
            if (t.firstByte < 0 && handle.status({}).total_done > 0) {
                t.firstByte = seconds(start);
            }
            return finished->load();
        },
        limit);
    if (done) {
        t.total = seconds(start);
        chargeSince(before, t);
    }
    return t;
}

// (c) the two disk back ends, alike in all else: the default one maps the files into memory on
// a pool of disk threads (and installs its own SIGSEGV and SIGBUS handlers), the POSIX one reads,
// writes and hashes on the network thread. TCP only, as the program, so that neither waits
// out a uTP time-out.
lt::session_params diskBackEndParams(bool posix) {
    lt::settings_pack pack;
    pack.set_bool(lt::settings_pack::enable_outgoing_utp, false);
    pack.set_bool(lt::settings_pack::enable_incoming_utp, false);
    lt::session_params params(std::move(pack));
    if (posix) {
        params.disk_io_constructor = lt::posix_disk_io_constructor;
    }
    return params;
}

std::vector<char> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
}

// The client process: downloads once, writes its figures to descriptor 3 and ends when its
// standard input closes, so that the driver reads its memory before it tears down.
int clientChild(int argc, char** argv) {
    // --client-child CLIENT TORRENT FOLDER FILE-SERVER LIMIT-S [NAME=VALUE]
    if (argc < 7) {
        return 2;
    }
    const std::string client = argv[2];
    const std::filesystem::path folder = argv[4];
    const std::string fileServer = argv[5];
    const std::chrono::seconds limit(std::atoi(argv[6]));
    std::optional<SettingOverride> setting;
    if (argc > 7) {
        std::string error;
        const auto parsed = ParseSettingOverrides(argv[7], error);
        if (parsed.size() != 1) {
            std::fprintf(stderr, "bad setting %s\n", argv[7]);
            return 2;
        }
        setting = parsed.front();
    }
    // The program's window runs offscreen; the figures are about its work, not the screen.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    Timing t;
    if (client == "engine") {
        t = downloadWithProgram(fileServer, folder, setting, limit);
    } else {
        const auto torrent = readFile(argv[3]);
        if (client == "libtorrent") {
            t = downloadWithSession(lt::session_params(), torrent, folder, limit);
        } else {
            t = downloadWithSession(diskBackEndParams(client == "posix"), torrent, folder, limit);
        }
    }
    FILE* out = fdopen(3, "w");
    if (out == nullptr) {
        return 1;
    }
    for (const auto tick : t.ticks) {
        std::fprintf(out, "tick %lld\n", static_cast<long long>(tick.count()));
    }
    for (const auto& [name, spent] : t.threadSeconds) {
        std::fprintf(out, "thread %.6f %s\n", spent, name.c_str());
    }
    std::fprintf(out, "done %.6f %.6f %.6f %.6f\n", t.total, t.firstByte, t.userSeconds,
                 t.systemSeconds);
    std::fflush(out);
    char buffer[64];
    while (read(0, buffer, sizeof buffer) > 0) {
    }
    return 0;
}

// ---- The driver's side --------------------------------------------------------------------

// Largest anonymous memory of a process seen over the polls, and its high-water mark.
struct MemoryWatch {
    pid_t pid;
    std::uint64_t anonymous = 0;
    std::uint64_t peak = 0;
    void sample() {
        if (const auto u = ReadProcessUsage(pid)) {
            anonymous = std::max(anonymous, u->anonymousBytes);
            peak = std::max(peak, u->peakBytes);
        }
    }
};

// Splits a command line prefix (for a profiler) on spaces.
std::vector<std::string> words(const char* text) {
    std::vector<std::string> out;
    std::istringstream in(text ? text : "");
    std::string w;
    while (in >> w) {
        out.push_back(w);
    }
    return out;
}

// Runs one client in a child process of this program and gathers its figures. The variable
// KESTREL_BENCH_CHILD_PREFIX, when set, is put in front of the child's command line (a
// profiler such as valgrind).
Timing downloadInChild(const std::string& client, const std::filesystem::path& torrentFile,
                       const std::filesystem::path& folder, const std::string& fileServer,
                       const std::optional<SettingOverride>& setting, std::chrono::seconds limit) {
    Timing t;
    int results[2];
    int input[2];
    if (pipe(results) != 0 || pipe(input) != 0) {
        std::perror("pipe");
        return t;
    }
    std::vector<std::string> args = words(std::getenv("KESTREL_BENCH_CHILD_PREFIX"));
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    for (const std::string& a : {self, std::string("--client-child"), client, torrentFile.string(),
                                 folder.string(), fileServer, std::to_string(limit.count())}) {
        args.push_back(a);
    }
    if (setting) {
        args.push_back(setting->label());
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(input[0], 0);
        dup2(results[1], 3);
        for (int fd : {input[0], input[1], results[0], results[1]}) {
            if (fd != 3) {
                close(fd);
            }
        }
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(input[0]);
    close(results[1]);
    if (pid < 0) {
        close(input[1]);
        close(results[0]);
        return t;
    }
    MemoryWatch memory{pid};
    std::string received;
    bool done = false;
    while (!done) {
        memory.sample();
        pollfd p{results[0], POLLIN, 0};
        if (poll(&p, 1, 20) > 0) {
            char buffer[4096];
            const ssize_t n = read(results[0], buffer, sizeof buffer);
            if (n <= 0) {
                break; // the child ended without its figures
            }
            received.append(buffer, static_cast<std::size_t>(n));
            done = received.find("done ") != std::string::npos && received.back() == '\n';
        }
    }
    memory.sample();
    close(input[1]);
    close(results[0]);
    waitpid(pid, nullptr, 0);
    std::istringstream lines(received);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "tick") {
            long long ns = 0;
            words >> ns;
            t.ticks.emplace_back(ns);
        } else if (kind == "thread") {
            double spent = 0;
            words >> spent >> std::ws;
            std::string name;
            std::getline(words, name);
            t.threadSeconds[name] += spent;
        } else if (kind == "done") {
            words >> t.total >> t.firstByte >> t.userSeconds >> t.systemSeconds;
        }
    }
    t.anonymousBytes = memory.anonymous;
    t.peakBytes = memory.peak;
    return t;
}

// One timed download: from handing the torrent over until the client holds every piece.
using Download = std::function<Timing(const std::filesystem::path&)>;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    if (v.empty()) {
        return 0;
    }
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Figures {
    std::vector<double> times;
    std::vector<double> firstBytes;
    std::vector<double> cpu; // user and system seconds per GiB
    std::vector<double> user;
    std::vector<double> system;
    std::vector<double> anonymousMiB;
    std::vector<double> peakMiB;
    std::vector<std::chrono::nanoseconds> ticks;
    int runsWithTicks = 0;
    std::chrono::nanoseconds firstTicks{0};      // the first tick of each run (the checked event)
    std::map<std::string, double> threadSeconds; // summed over the runs
    int failures = 0;

    void add(const Timing& t, double gib) {
        for (const auto& [name, spent] : t.threadSeconds) {
            threadSeconds[name] += spent / gib;
        }
        times.push_back(t.total);
        if (t.firstByte >= 0) {
            firstBytes.push_back(t.firstByte);
        }
        cpu.push_back((t.userSeconds + t.systemSeconds) / gib);
        user.push_back(t.userSeconds / gib);
        system.push_back(t.systemSeconds / gib);
        anonymousMiB.push_back(static_cast<double>(t.anonymousBytes) / (1 << 20));
        peakMiB.push_back(static_cast<double>(t.peakBytes) / (1 << 20));
        if (!t.ticks.empty()) {
            ticks.insert(ticks.end(), t.ticks.begin(), t.ticks.end());
            firstTicks += t.ticks.front();
            ++runsWithTicks;
        }
    }
};

// Where each client's processor time went, by thread name, in seconds per GiB (mean of the runs).
void printThreads(const std::string& name, const Figures& f) {
    if (f.threadSeconds.empty() || f.times.empty()) {
        return;
    }
    std::printf("  %s: CPU s/GiB by thread:", name.c_str());
    for (const auto& [thread, spent] : f.threadSeconds) {
        // The keys sort in the order printed; their first word is only for that.
        std::printf(" %s %.2f;", thread.substr(thread.find(' ') + 1).c_str(),
                    spent / static_cast<double>(f.times.size()));
    }
    std::printf("\n");
}

void printTicks(const std::string& name, const Figures& f) {
    if (f.ticks.empty()) {
        return;
    }
    using us = std::chrono::duration<double, std::micro>;
    std::chrono::nanoseconds total{0};
    for (const auto t : f.ticks) {
        total += t;
    }
    auto sorted = f.ticks;
    std::sort(sorted.begin(), sorted.end());
    const auto n = static_cast<int>(sorted.size());
    std::printf("  %s: the 300 ms tick while downloading: %d ticks, mean %.0f us, median %.0f us, "
                "longest %.0f us; mean without each run's first tick %.0f us\n",
                name.c_str(), n, us(total).count() / n, us(sorted[sorted.size() / 2]).count(),
                us(sorted.back()).count(),
                n > f.runsWithTicks ? us(total - f.firstTicks).count() / (n - f.runsWithTicks)
                                    : 0.0);
}

void printTable(const std::string& title, const std::vector<std::string>& order,
                std::map<std::string, Figures>& figures, std::uint64_t bytes) {
    std::printf("\n%s (CPU: the client's process, seconds per GiB, median; memory in MiB, "
                "median of the runs' largest)\n",
                title.c_str());
    const int width = static_cast<int>(
        std::max_element(order.begin(), order.end(), [](const auto& a, const auto& b) {
            return a.size() < b.size();
        })->size());
    std::printf("  %-*s %4s %7s %8s %7s %8s %9s %8s %6s %6s %8s %8s\n", width, "client", "runs",
                "min s", "median s", "max s", "MB/s med", "1st byte", "CPU s/GiB", "user", "sys",
                "anon MiB", "peak MiB");
    for (const auto& name : order) {
        auto& f = figures[name];
        if (f.times.empty()) {
            std::printf("  %-*s %4d   (no finished run, %d failed)\n", width, name.c_str(), 0,
                        f.failures);
            continue;
        }
        const auto [mn, mx] = std::minmax_element(f.times.begin(), f.times.end());
        std::printf("  %-*s %4zu %7.2f %8.2f %7.2f %8.1f %9.2f %8.2f %6.2f %6.2f %8.0f %8.0f%s\n",
                    width, name.c_str(), f.times.size(), *mn, median(f.times), *mx,
                    static_cast<double>(bytes) / 1e6 / median(f.times), median(f.firstBytes),
                    median(f.cpu), median(f.user), median(f.system), median(f.anonymousMiB),
                    median(f.peakMiB), f.failures ? "  (some runs failed)" : "");
    }
    for (const auto& a : order) {
        for (const auto& b : order) {
            if (a < b && !figures[a].times.empty() && !figures[b].times.empty()) {
                std::printf("  median ratio %s / %s: time %.2f, CPU %.2f, anon %.2f\n", a.c_str(),
                            b.c_str(), median(figures[a].times) / median(figures[b].times),
                            median(figures[a].cpu) / median(figures[b].cpu),
                            median(figures[a].anonymousMiB) / median(figures[b].anonymousMiB));
            }
        }
    }
    for (const auto& name : order) {
        printThreads(name, figures[name]);
        printTicks(name, figures[name]);
    }
    std::fflush(stdout);
}

Settings parse(int argc, char** argv) {
    Settings s;
    CLI::App app("A download from a loopback swarm by the program's engine and other clients.",
                 "swarm_download_bench");
    app.add_option("--size", s.bytes, "bytes of the file set")->capture_default_str();
    app.add_option("--repeats", s.repeats, "runs of each client")->capture_default_str();
    app.add_option("--utp-repeats", s.utpRepeats, "runs over uTP")->capture_default_str();
    app.add_option("--piece-size", s.pieceSize, "torrent piece size (libtorrent's choice)");
    app.add_option("--clients", s.clients,
                   "engine (the program), libtorrent (default session), qbittorrent, mmap and "
                   "posix (TCP-only sessions with either disk back end)")
        ->delimiter(',')
        ->check(CLI::IsMember({"engine", "libtorrent", "qbittorrent", "mmap", "posix"}))
        ->capture_default_str();
    app.add_option_function<std::string>(
        "--settings",
        [&s](const std::string& list) {
            std::string error;
            s.overrides = ParseSettingOverrides(list, error);
            lt::settings_pack check;
            for (const auto& o : s.overrides) {
                if (!AddSettingOverride(o, check, error)) {
                    s.overrides.clear();
                }
            }
            if (s.overrides.empty()) {
                throw CLI::ValidationError("--settings", error);
            }
        },
        "NAME=VALUE,...: one more engine run per entry, with that library setting changed");
    app.add_option_function<int>(
        "--run-limit", [&s](int limit) { s.runLimit = std::chrono::seconds(limit); },
        "seconds a run may take");
    app.add_option("--work", s.work, "where the runs put their files (a temporary folder)");
    app.add_flag("--keep", s.keep, "keep the files afterwards");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        std::exit(app.exit(e) == 0 ? 0 : 2);
    }
    return s;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--client-child") == 0) {
        return clientChild(argc, argv);
    }
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
    const auto torrentFile = settings.work / "set.torrent";
    std::ofstream(torrentFile, std::ios::binary).write(torrent.data(), torrent.size());

    swarm::Swarm::Options so;
    so.tracker = true;
    so.trackerPort = 6969;
    so.seeders = 3;
    so.log = std::make_shared<swarm::Log>(settings.work / "swarm.log");

    std::map<std::string, Download> downloads;
    for (const std::string name : {"engine", "libtorrent", "mmap", "posix"}) {
        downloads[name] = [&, name](const std::filesystem::path& folder) {
            return downloadInChild(name, torrentFile, folder, fileServer.origin(), std::nullopt,
                                   settings.runLimit);
        };
    }
    std::vector<std::string> order = settings.clients;
    for (const auto& o : settings.overrides) {
        const std::string name = "engine:" + o.label();
        order.push_back(name);
        downloads[name] = [&, o](const std::filesystem::path& folder) {
            return downloadInChild("engine", torrentFile, folder, fileServer.origin(), o,
                                   settings.runLimit);
        };
    }
    std::unique_ptr<QbittorrentDownloader> qbittorrent;
    if (std::find(order.begin(), order.end(), "qbittorrent") != order.end()) {
        if (!QbittorrentDownloader::available()) {
            std::fprintf(stderr, "qbittorrent-nox is not installed; see bench/README.md\n");
            return 1;
        }
        qbittorrent =
            std::make_unique<QbittorrentDownloader>(settings.work / "qbittorrent", 28901, 28902);
        std::printf("qbittorrent-nox %s\n", qbittorrent->version().c_str());
        downloads["qbittorrent"] = [&](const std::filesystem::path& folder) {
            Timing timing;
            const pid_t pid = qbittorrent->pid();
            // One process serves all its runs: its high-water mark starts afresh with each.
            ResetPeakMemory(pid);
            MemoryWatch memory{pid};
            const CpuMark before(pid);
            const auto start = Steady::now();
            qbittorrent->add(torrent, folder);
            const bool done = swarm::waitFor(
                [&] {
                    memory.sample();
                    // Its web API is too coarse for this; the disk shows the first block.
                    if (timing.firstByte < 0 && bytesOnDisk(folder) > 0) {
                        timing.firstByte = seconds(start);
                    }
                    return qbittorrent->isComplete();
                },
                settings.runLimit);
            if (done) {
                timing.total = seconds(start);
                chargeSince(before, timing);
            }
            memory.sample();
            timing.anonymousBytes = memory.anonymous;
            timing.peakBytes = memory.peak;
            qbittorrent->remove();
            return timing;
        };
    }

    const double gib = static_cast<double>(settings.bytes) / (1ull << 30);
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
        for (int r = 0; r < repeats; ++r) {
            // Clients take turns so that a drift of the machine's speed hits them alike.
            for (const auto& name : order) {
                const auto folder = settings.work / ("run-" + std::to_string(++run));
                std::filesystem::create_directories(folder);
                const Timing t = downloads[name](folder);
                const char* kind = utp ? "uTP" : "TCP";
                if (t.total < 0) {
                    std::printf("  %s %-12s run %d: did not finish\n", kind, name.c_str(), r + 1);
                    ++figures[name].failures;
                } else {
                    std::printf("  %s %-12s run %d: %.2f s, CPU %.2f s (user %.2f, sys %.2f), "
                                "anon %.0f MiB, peak %.0f MiB",
                                kind, name.c_str(), r + 1, t.total, t.userSeconds + t.systemSeconds,
                                t.userSeconds, t.systemSeconds,
                                static_cast<double>(t.anonymousBytes) / (1 << 20),
                                static_cast<double>(t.peakBytes) / (1 << 20));
                    if (t.firstByte >= 0) {
                        std::printf(", first byte after %.2f s", t.firstByte);
                    }
                    std::printf("\n");
                    figures[name].add(t, gib);
                }
                std::fflush(stdout);
                std::error_code ec; // qbittorrent-nox may still be deleting in there
                std::filesystem::remove_all(folder, ec);
            }
        }
        printTable(utp ? "Seeders offering TCP and uTP" : "Seeders on TCP only", order, figures,
                   settings.bytes);
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
