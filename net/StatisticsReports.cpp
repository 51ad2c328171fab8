#include "net/StatisticsReports.h"

#include <memory>

#include "net/ReportSender.h"
#include "net/StatisticsRules.h"
#include "platform/Clock.h"

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
    sender_.send(BuildSummaryReportUrl(record_), buffer.get(), kCloseReportBufferSize);
    if (RunsSpeedTest(record_.speedTestUrl)) {
        RunSpeedTest(buffer.get());
    }
}

void StatisticsReports::RunSpeedTest(char* buffer) {
    const auto start = clock_.now();
    const auto length = sender_.fetch(record_.speedTestUrl, buffer, kCloseReportBufferSize);
    if (!length) {
        return;
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(clock_.now() - start);
    if (const auto rate = SpeedTestRate(*length, elapsed)) {
        sender_.send(BuildSpeedReportUrl(record_, *rate), buffer, kCloseReportBufferSize);
    }
}
