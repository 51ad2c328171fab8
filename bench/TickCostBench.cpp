// The cost of the program's 300 ms tick (status refresh, then event pump) while its window
// downloads at a few rates, with the seeders in a process of their own. Run it through
// bench/tick-cost, which puts it in a network namespace of its own.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <CLI/CLI.hpp>

#include "BenchPrompt.h"
#include "FileSet.h"
#include "Publisher.h"
#include "TimedKestrelDlg.h"
#include "net/ReportSender.h"
#include "platform/Clock.h"
#include "tools/swarm/Log.h"
#include "tools/swarm/Swarm.h"

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

constexpr int kSeeders = 3;
constexpr int kTrackerPort = 6969;

struct Settings {
    std::uint64_t bytes = 1ull << 30;
    std::vector<double> rates = {10, 50, 0}; // MB/s in all, 0: no limit
    int ticks = 100;                         // ticks to measure at each rate, at least
    int maxRuns = 20;                        // downloads at each rate, at most
    std::filesystem::path work;
    // Diagnosis only: nice values for this process's threads by the start of their name
    // (the library names its threads "libtorrent-network-thread", "libtorrent-disk-thread").
    std::map<std::string, int> nice;
};

// Gives each thread of this process whose name starts with a key of `nice` that nice value,
// once per thread; the library starts its disk threads as it needs them.
void applyNice(const std::map<std::string, int>& nice, std::set<int>& done) {
    if (nice.empty()) {
        return;
    }
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        const int tid = std::atoi(entry.path().filename().c_str());
        if (done.count(tid)) {
            continue;
        }
        std::string name;
        std::getline(std::ifstream(entry.path() / "comm"), name);
        for (const auto& [prefix, value] : nice) {
            if (name.rfind(prefix, 0) == 0) {
                if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), value) != 0) {
                    std::perror("setpriority");
                }
                done.insert(tid);
            }
        }
    }
}

double seconds(Steady::time_point since) {
    return std::chrono::duration<double>(Steady::now() - since).count();
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// The seeders' side, in a child process: the tracker and the seeders, each seeder's upload
// limited to `rate` bytes per second. Says "ready" once they hold the data checked, and ends
// when its standard input closes.
int seedersChild(const std::filesystem::path& torrentFile, const std::filesystem::path& source,
                 int rate, const std::filesystem::path& work) {
    std::ifstream in(torrentFile, std::ios::binary);
    const std::vector<char> torrent((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    swarm::Swarm::Options so;
    so.tracker = true;
    so.trackerPort = kTrackerPort;
    so.seeders = kSeeders;
    so.seederRate = rate;
    so.workFolder = work;
    so.log = std::make_shared<swarm::Log>(work / "swarm.log");
    swarm::Swarm swarm(so);
    swarm.start(torrent, source);
    if (!swarm.waitUntilReady(20min)) {
        std::puts("not ready");
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    char buffer[64];
    while (read(0, buffer, sizeof buffer) > 0) {
    }
    for (const auto& line : swarm.uploadSummary()) {
        std::fprintf(stderr, "    %s\n", line.c_str());
    }
    return 0;
}

// The child above, started from this very program.
class SeedersProcess {
public:
    SeedersProcess(const std::filesystem::path& torrentFile, const std::filesystem::path& source,
                   int rate, const std::filesystem::path& work) {
        int toChild[2];
        int fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) {
            return;
        }
        const std::string rateText = std::to_string(rate);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            close(toChild[1]);
            close(fromChild[0]);
            execl("/proc/self/exe", "tick_cost_bench", "--seeders-child", torrentFile.c_str(),
                  source.c_str(), rateText.c_str(), work.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        input_ = toChild[1];
        output_ = fdopen(fromChild[0], "r");
    }
    ~SeedersProcess() {
        if (input_ >= 0) {
            close(input_); // the child ends on end of input
        }
        if (pid_ > 0) {
            waitpid(pid_, nullptr, 0);
        }
        if (output_) {
            std::fclose(output_);
        }
    }
    SeedersProcess(const SeedersProcess&) = delete;
    SeedersProcess& operator=(const SeedersProcess&) = delete;

    bool waitUntilReady() {
        char line[64] = {};
        return pid_ > 0 && output_ && std::fgets(line, sizeof line, output_) &&
               std::strncmp(line, "ready", 5) == 0;
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    FILE* output_ = nullptr;
};

// What one rate's downloads showed.
struct RateFigures {
    std::vector<std::chrono::nanoseconds> ticks;      // every tick, in order
    std::vector<std::chrono::nanoseconds> firstTicks; // each download's first (torrent checked)
    // The timed refreshes half-way between two ticks.
    int refreshes = 0;
    std::chrono::nanoseconds refresh{0};
    InquiryCosts inquiries;
    std::int64_t bytes = 0;
    double downloading = 0; // seconds
    int runs = 0;
    int completed = 0;
};

// One download by the program's window until it completes, `ticksWanted` ticks have run, or
// the time runs out. The file server answers the check and hands out the torrent.
void downloadWithProgram(const std::string& fileServer, const std::filesystem::path& folder,
                         int ticksWanted, const std::map<std::string, int>& nice,
                         RateFigures& figures) {
    BenchPrompt prompt(QString::fromStdString(folder.string()));
    SystemClock clock;
    HttpReportSender sender;
    auto dlg = std::make_unique<TimedKestrelDlg>(prompt, clock, sender,
                                                 QString::fromStdString(fileServer));
    dlg->Start();
    if (!dlg->added || prompt.messages != 0) {
        std::fprintf(stderr, "the program did not start its download (%d messages)\n",
                     prompt.messages);
        return;
    }
    const auto start = *dlg->added;
    QEventLoop loop;
    QTimer poll;
    bool complete = false;
    std::set<int> niced;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        applyNice(nice, niced);
        complete = dlg->complete();
        if (complete || dlg->ticks >= ticksWanted || Steady::now() - start > 10min) {
            loop.quit();
        }
    });
    poll.start(20);
    loop.exec();
    dlg->counting = false;
    ++figures.runs;
    figures.completed += complete ? 1 : 0;
    figures.bytes += dlg->totalDone();
    figures.downloading += seconds(start);
    if (!dlg->each.empty()) {
        figures.firstTicks.push_back(dlg->each.front());
    }
    figures.ticks.insert(figures.ticks.end(), dlg->each.begin(), dlg->each.end());
    figures.refreshes += dlg->refreshes;
    figures.refresh += dlg->refreshTime;
    figures.inquiries.merge(dlg->inquiries);
}

double micro(std::chrono::nanoseconds t) {
    return std::chrono::duration<double, std::micro>(t).count();
}

void printFigures(double rate, const RateFigures& f, const std::string& loadBefore) {
    std::printf("\n%s: %d downloads (%d complete), %.1f MB/s achieved; load %s -> %s\n",
                rate > 0 ? (std::to_string(static_cast<int>(rate)) + " MB/s").c_str() : "unlimited",
                f.runs, f.completed, f.downloading > 0 ? f.bytes / 1e6 / f.downloading : 0.0,
                loadBefore.c_str(), loadAverage().c_str());
    if (f.ticks.empty()) {
        std::printf("  no tick ran\n");
        return;
    }
    auto sorted = f.ticks;
    std::sort(sorted.begin(), sorted.end());
    std::chrono::nanoseconds total{0};
    for (const auto t : sorted) {
        total += t;
    }
    const auto n = static_cast<int>(sorted.size());
    const auto p95 = sorted[static_cast<std::size_t>(std::max(0, (n * 95 + 99) / 100 - 1))];
    std::printf("  tick: %d ticks, mean %.0f us, median %.0f us, 95th percentile %.0f us, "
                "max %.0f us\n",
                n, micro(total) / n, micro(sorted[sorted.size() / 2]), micro(p95),
                micro(sorted.back()));
    std::chrono::nanoseconds firstLongest{0};
    for (const auto t : f.firstTicks) {
        firstLongest = std::max(firstLongest, t);
    }
    std::printf("        each download's first tick (the checked reactions): longest %.0f us\n",
                micro(firstLongest));
    std::fflush(stdout);
    if (f.refreshes == 0) {
        return;
    }
    std::printf("  a status refresh half-way between two ticks: %d refreshes, mean %.0f us (the "
                "task's %.1f inquiries %.0f us, the window's own work %.0f us)\n",
                f.refreshes, micro(f.refresh) / f.refreshes,
                static_cast<double>(f.inquiries.count) / f.refreshes,
                micro(f.inquiries.total) / f.refreshes,
                micro(f.refresh - f.inquiries.total) / f.refreshes);
    for (const auto& [name, cost] : f.inquiries.byName) {
        auto each = cost.each;
        std::sort(each.begin(), each.end());
        std::printf("    %-14s %6d asked, mean %7.1f us, median %6.1f us, longest %7.0f us\n",
                    name.c_str(), cost.count, micro(cost.total) / cost.count,
                    micro(each[each.size() / 2]), micro(cost.longest));
    }
    std::fflush(stdout);
}

Settings parse(int argc, char** argv) {
    Settings s;
    CLI::App app("The cost of the program's tick while it downloads at a few rates.",
                 "tick_cost_bench");
    app.add_option("--size", s.bytes, "bytes of the file set")->capture_default_str();
    app.add_option("--rates", s.rates,
                   "the seeders' upload in all, MB/s (10^6 bytes); 0 is no limit")
        ->delimiter(',')
        ->capture_default_str();
    app.add_option("--ticks", s.ticks, "ticks measured per rate")->capture_default_str();
    app.add_option("--runs", s.maxRuns, "runs at most")->capture_default_str();
    app.add_option("--work", s.work, "where the runs put their files (a temporary folder)");
    app.add_option_function<std::vector<std::string>>(
        "--nice",
        [&s](const std::vector<std::string>& all) {
            for (const auto& v : all) {
                const auto eq = v.find('=');
                int value = 0;
                const char* end = v.data() + v.size();
                if (eq == std::string::npos ||
                    std::from_chars(v.data() + eq + 1, end, value).ptr != end ||
                    eq + 1 == v.size()) {
                    throw CLI::ValidationError("--nice", "not THREAD-NAME-START=N: " + v);
                }
                s.nice[v.substr(0, eq)] = value;
            }
        },
        "THREAD-NAME-START=N, for diagnosis, e.g. libtorrent-network=-10 (as root), "
        "libtorrent-disk=10 (repeatable)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        std::exit(app.exit(e) == 0 ? 0 : 2);
    }
    return s;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::strcmp(argv[1], "--seeders-child") == 0) {
        return seedersChild(argv[2], argv[3], std::atoi(argv[4]), argv[5]);
    }
    // The program's window runs offscreen; the figures are about its work, not the screen.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    Settings settings = parse(argc, argv);
    const bool ownWork = settings.work.empty();
    if (ownWork) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kestrel-tick-XXXXXX").string();
        settings.work = mkdtemp(pattern.data());
    }
    std::printf("work folder %s, %llu bytes, %d seeders in a process of their own, at least %d "
                "ticks per rate; load %s\n",
                settings.work.c_str(), static_cast<unsigned long long>(settings.bytes), kSeeders,
                settings.ticks, loadAverage().c_str());

    const auto root = publisher::GenerateFileSet(settings.work / "source", "Emberway Installer",
                                                 settings.bytes, 1);
    // The file server answers the check and hands out the torrent; it is idle while the
    // download runs. No web seed: the data comes from the seeders alone.
    publisher::PublisherOptions po;
    po.contentFolder = root;
    po.announceUrls = {"http://127.0.0.1:" + std::to_string(kTrackerPort) + "/announce"};
    po.checkFields[5] = "";
    po.statisticsLog = settings.work / "statistics.jsonl";
    publisher::Publisher fileServer(po);
    fileServer.start();
    const auto torrentFile = settings.work / "installer.torrent";
    {
        std::ofstream out(torrentFile, std::ios::binary);
        out.write(fileServer.torrent().data(),
                  static_cast<std::streamsize>(fileServer.torrent().size()));
    }

    int run = 0;
    for (const double rate : settings.rates) {
        const int perSeeder = static_cast<int>(rate * 1e6 / kSeeders);
        const auto seederWork = settings.work / ("seeders-" + std::to_string(run));
        SeedersProcess seeders(torrentFile, root.parent_path(), perSeeder, seederWork);
        const auto t0 = Steady::now();
        if (!seeders.waitUntilReady()) {
            std::fprintf(stderr, "the seeders did not get ready\n");
            return 1;
        }
        std::printf("\nseeders ready after %.1f s, each uploading %s\n", seconds(t0),
                    perSeeder > 0 ? (std::to_string(perSeeder) + " B/s at most").c_str()
                                  : "without limit");
        std::fflush(stdout);
        const std::string loadBefore = loadAverage();
        RateFigures figures;
        while (static_cast<int>(figures.ticks.size()) < settings.ticks &&
               figures.runs < settings.maxRuns) {
            const auto folder = settings.work / ("run-" + std::to_string(++run));
            std::filesystem::create_directories(folder);
            downloadWithProgram(fileServer.origin(), folder,
                                settings.ticks - static_cast<int>(figures.ticks.size()),
                                settings.nice, figures);
            std::filesystem::remove_all(folder);
        }
        printFigures(rate, figures, loadBefore);
    }
    if (ownWork) {
        std::filesystem::remove_all(settings.work);
    }
    return 0;
}
