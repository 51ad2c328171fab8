// Launch day: a crowd of players joining over a minute, each the program's own engine behind
// a home link, against the sample publisher's tracker, server peers and web seed; once with
// the program's rules for the publisher's sources, once greedy, once from the publisher only.
// Prints the policies side by side per point of the sweep and writes the figures as CSV.
// Run it through bench/launch-day, which puts it in a network namespace and draws the pictures.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QCoreApplication>

#include "LaunchFigures.h"
#include "LaunchRun.h"
#include "LaunchSettings.h"

namespace fs = std::filesystem;

namespace {

std::string PointName(const SweepPoint& p) {
    if (p.players) {
        return "players=" + std::to_string(*p.players);
    }
    if (p.callInKiB) {
        return "rates=" + std::to_string(*p.callInKiB) + ":" + std::to_string(*p.releaseKiB);
    }
    return "default";
}

void PrintSettings(const LaunchSettings& s) {
    std::printf("%.0f MiB set; players join over %d s, down %.1f-%.1f MB/s, up %.1f-%.1f MB/s; "
                "%d server peers at %.1f MB/s; web seed %.1f MB/s per connection; "
                "field 8 %d:%d KiB/s\n",
                double(s.bytes) / 1048576.0, s.joinSeconds, s.down.low / 1e6, s.down.high / 1e6,
                s.up.low / 1e6, s.up.high / 1e6, s.serverPeers, s.serverPeerRate / 1e6,
                s.webSeedRate / 1e6, s.callInKiB, s.releaseKiB);
}

void WriteCsvs(const fs::path& out, const std::vector<SummaryRow>& rows) {
    fs::create_directories(out);
    std::ofstream summary(out / "summary.csv");
    WriteSummaryCsv(summary, rows);
    std::ofstream curve(out / "curve.csv");
    WriteCurveCsv(curve, rows);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    auto command = ParseLaunchCommand(std::vector<std::string>(argv + 1, argv + argc));
    if (!command) {
        return 2;
    }
    if (command->work.empty()) {
        std::string pattern = (fs::temp_directory_path() / "kestrel-launch-XXXXXX").string();
        command->work = mkdtemp(pattern.data());
    }
    if (command->out.empty()) {
        command->out = "launch-day";
    }
    std::vector<SweepPoint> points = command->sweep;
    if (points.empty()) {
        points.push_back({});
    }
    PrintSettings(command->settings);
    std::vector<SummaryRow> rows;
    for (const SweepPoint& point : points) {
        const LaunchSettings s = Apply(command->settings, point);
        std::vector<SummaryRow> pointRows;
        for (const Policy policy : s.policies) {
            const fs::path folder = command->work / PolicyName(policy);
            std::fprintf(stderr, "%s, %d players, %s\n", PointName(point).c_str(), s.players,
                         PolicyName(policy));
            pointRows.push_back({PointName(point), s.players, s.callInKiB, s.releaseKiB,
                                 RunPolicy(s, policy, folder)});
            std::error_code ec;
            fs::remove_all(folder, ec);
        }
        PrintSummaryTable(stdout, pointRows);
        rows.insert(rows.end(), pointRows.begin(), pointRows.end());
        WriteCsvs(command->out, rows);
    }
    std::printf("figures: %s\n", fs::absolute(command->out / "summary.csv").c_str());
    std::error_code ec;
    fs::remove_all(command->work, ec);
    return 0;
}
