#include "LaunchFigures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <ostream>

namespace {

constexpr double kForever = std::numeric_limits<double>::infinity();
constexpr double kMB = 1e6;

double Total(const LaunchSample& s) {
    return double(s.serverPeers + s.webSeed);
}

std::string Seconds(double s) {
    if (std::isinf(s)) {
        return "unfinished";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", s);
    return text;
}

} // namespace

double Percentile(std::vector<double> values, double percent) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const double rank = std::ceil(percent / 100.0 * double(values.size()));
    const auto index = static_cast<std::size_t>(std::max(rank, 1.0)) - 1;
    return values[std::min(index, values.size() - 1)];
}

PolicySummary Summarize(const PolicyRun& run) {
    PolicySummary s;
    std::vector<double> done, firstByte;
    for (const PlayerTimes& p : run.players) {
        done.push_back(p.done < 0 ? kForever : p.done);
        firstByte.push_back(p.firstByte < 0 ? kForever : p.firstByte);
        s.unfinished += p.done < 0 ? 1 : 0;
    }
    s.doneMedian = Percentile(done, 50);
    s.doneP95 = Percentile(done, 95);
    s.doneMax = Percentile(done, 100);
    s.firstByteMedian = Percentile(firstByte, 50);
    const double needed = double(run.setBytes) * double(run.players.size());
    if (!run.samples.empty() && needed > 0) {
        const LaunchSample& last = run.samples.back();
        s.serverPeerShare = double(last.serverPeers) / needed;
        s.webSeedShare = double(last.webSeed) / needed;
        s.publisherShare = Total(last) / needed;
        s.playerShare = double(last.players) / needed;
    }
    return s;
}

void WriteSummaryCsv(std::ostream& out, const std::vector<SummaryRow>& rows) {
    out << "point,policy,players,call_in_kib,release_kib,publisher_share,server_peer_share,"
           "web_seed_share,player_share,publisher_mb,done_median_s,done_p95_s,done_max_s,"
           "first_byte_median_s,unfinished\n";
    for (const SummaryRow& r : rows) {
        const PolicySummary s = Summarize(r.run);
        const double paid = r.run.samples.empty() ? 0 : Total(r.run.samples.back());
        out << r.point << ',' << PolicyName(r.run.policy) << ',' << r.players << ',' << r.callInKiB
            << ',' << r.releaseKiB << ',' << s.publisherShare << ',' << s.serverPeerShare << ','
            << s.webSeedShare << ',' << s.playerShare << ',' << paid / kMB << ',' << s.doneMedian
            << ',' << s.doneP95 << ',' << s.doneMax << ',' << s.firstByteMedian << ','
            << s.unfinished << '\n';
    }
}

void WriteCurveCsv(std::ostream& out, const std::vector<SummaryRow>& rows) {
    out << "point,policy,seconds,server_peer_mbps,web_seed_mbps,publisher_mbps,player_mbps,"
           "done\n";
    for (const SummaryRow& r : rows) {
        LaunchSample before;
        for (const LaunchSample& s : r.run.samples) {
            const double span = s.seconds - before.seconds;
            if (span <= 0) {
                continue;
            }
            const auto rate = [&](double bytes) { return bytes / span / kMB; };
            out << r.point << ',' << PolicyName(r.run.policy) << ',' << s.seconds << ','
                << rate(double(s.serverPeers - before.serverPeers)) << ','
                << rate(double(s.webSeed - before.webSeed)) << ',' << rate(Total(s) - Total(before))
                << ',' << rate(double(s.players - before.players)) << ',' << s.done << '\n';
            before = s;
        }
    }
}

void PrintSummaryTable(std::FILE* out, const std::vector<SummaryRow>& rows) {
    std::fprintf(out, "%-14s %-10s %10s %8s %8s %8s %10s %10s %10s %10s %10s %5s\n", "point",
                 "policy", "publisher", "servers", "web seed", "players", "median s", "p95 s",
                 "max s", "1st byte", "paid MB", "left");
    for (const SummaryRow& r : rows) {
        const PolicySummary s = Summarize(r.run);
        const double paid = r.run.samples.empty() ? 0 : Total(r.run.samples.back());
        std::fprintf(
            out, "%-14s %-10s %9.1f%% %7.1f%% %7.1f%% %7.1f%% %10s %10s %10s %10s %10.0f %5d\n",
            r.point.c_str(), PolicyName(r.run.policy), 100 * s.publisherShare,
            100 * s.serverPeerShare, 100 * s.webSeedShare, 100 * s.playerShare,
            Seconds(s.doneMedian).c_str(), Seconds(s.doneP95).c_str(), Seconds(s.doneMax).c_str(),
            Seconds(s.firstByteMedian).c_str(), paid / kMB, s.unfinished);
    }
    std::fflush(out);
}
