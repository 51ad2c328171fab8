#include "net/StatisticsReports.h"

#include <memory>

#include "net/ReportSender.h"
#include "net/StatisticsRules.h"
#include "platform/Clock.h"

namespace {
using Ms = std::chrono::milliseconds;
Ms SpanOf(std::chrono::steady_clock::duration d) {
    return std::chrono::duration_cast<Ms>(d);
}
} // namespace

StatisticsReports::StatisticsReports(StatisticsRecord& record, Clock& clock, ReportSender& sender)
    : record_(record), clock_(clock), sender_(sender) {}

void StatisticsReports::StampLocalTime(QString& field) {
    field = TimeStamp(clock_.localTime());
}

void StatisticsReports::SetInternalIp(std::uint32_t address) {
    record_.internalIp += InternalIpDigits(address);
}

void StatisticsReports::SetUploadAmount(std::int32_t wholeMiB) {
    record_.uploadAmount = QString::number(wholeMiB);
}

void StatisticsReports::SendProgressReport(const TorrentFigures& torrent) {
    if (!torrent.exists || torrent.paused || record_.baseUrl.isEmpty() || closing_) {
        return;
    }
    sender_.sendInBackground(BuildProgressReportUrl(
        record_, torrent.peerCount, ProgressDownRate(torrent.complete, torrent.downloadRate),
        KiBPerSecond(torrent.uploadRate)));
}

void StatisticsReports::SendCloseReports(std::int64_t payloadUploaded) {
    closing_ = true;
    if (record_.baseUrl.isEmpty()) {
        return;
    }
    StampLocalTime(record_.endTime);
    SetUploadAmount(WholeMiB(payloadUploaded));
    const auto buffer = std::make_unique<char[]>(kCloseReportBufferSize);
    const auto begin = clock_.now();
    sender_.send(BuildSummaryReportUrl(record_), buffer.get(), kCloseReportBufferSize,
                 CloseStepLimit(kSummaryShare, Ms{0}));
    if (RunsSpeedTest(record_.speedTestUrl)) {
        RunSpeedTest(buffer.get(), begin);
    }
}

void StatisticsReports::RunSpeedTest(char* buffer, std::chrono::steady_clock::time_point begin) {
    const auto start = clock_.now();
    const auto limit = CloseStepLimit(kSpeedTestShare, SpanOf(start - begin));
    if (limit <= Ms{0}) {
        return;
    }
    const auto length = sender_.fetch(record_.speedTestUrl, buffer, kCloseReportBufferSize, limit);
    if (!length) {
        return;
    }
    const auto end = clock_.now();
    const auto rate = SpeedTestRate(*length, SpanOf(end - start));
    const auto rest = CloseStepLimit(kCloseReportsBudget, SpanOf(end - begin));
    if (rate && rest > Ms{0}) {
        sender_.send(BuildSpeedReportUrl(record_, *rate), buffer, kCloseReportBufferSize, rest);
    }
}
