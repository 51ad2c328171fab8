#include "net/StatisticsRules.h"

#include <algorithm>

#include <arpa/inet.h>

QString TimeStamp(const std::tm& local) {
    return QString::asprintf("%4d%2d%2d%2d%2d%2d", local.tm_year + 1900, local.tm_mon + 1,
                             local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

QString InternalIpDigits(std::uint32_t address) {
    return QStringLiteral("%1").arg(address, 8, 16, QLatin1Char('0')).toUpper();
}

std::uint32_t Ipv4HostOrder(const std::string& addressText) {
    in_addr address{};
    if (inet_pton(AF_INET, addressText.c_str(), &address) != 1) {
        return 0;
    }
    return ntohl(address.s_addr);
}

QString BuildSummaryReportUrl(const StatisticsRecord& record) {
    return record.baseUrl + QStringLiteral("?stType=1&InternalIP=") + record.internalIp +
           QStringLiteral("&StartTime=") + record.startTime + QStringLiteral("&CompleteTime=") +
           record.completeTime + QStringLiteral("&EndTime=") + record.endTime +
           QStringLiteral("&UploadAmount=") + record.uploadAmount;
}

QString BuildProgressReportUrl(const StatisticsRecord& record, int peerCount, int downRate,
                               int upRate) {
    return record.baseUrl + QStringLiteral("?stType=2&InternalIP=") + record.internalIp +
           QStringLiteral("&PeerCnt=") + QString::number(peerCount) + QStringLiteral("&DownRate=") +
           QString::number(downRate) + QStringLiteral("&UpRate=") + QString::number(upRate);
}

QString BuildSpeedReportUrl(const StatisticsRecord& record, int rate) {
    return record.baseUrl + QStringLiteral("?stType=3&InternalIP=") + record.internalIp +
           QStringLiteral("&Rate=") + QString::number(rate);
}

int KiBPerSecond(std::uint32_t bytesPerSecond) {
    return static_cast<int>(bytesPerSecond / 1024);
}

int ProgressDownRate(bool complete, std::uint32_t bytesPerSecond) {
    return complete ? -1 : KiBPerSecond(bytesPerSecond);
}

std::int32_t WholeMiB(std::int64_t bytes) {
    return static_cast<std::int32_t>(bytes / 1'048'576);
}

bool RunsSpeedTest(const QString& speedTestUrl) {
    return speedTestUrl.size() > 5;
}

std::optional<int> SpeedTestRate(std::uint32_t bodyBytes, std::chrono::milliseconds elapsed) {
    if (elapsed.count() < 0 || bodyBytes < kMinSpeedTestBytes) {
        return std::nullopt;
    }
    const auto seconds = std::max<std::int64_t>(1, elapsed.count() / 1000);
    return static_cast<int>((bodyBytes / 1024) / seconds);
}

std::chrono::milliseconds CloseStepLimit(std::chrono::milliseconds share,
                                         std::chrono::milliseconds spent) {
    const auto left = kCloseReportsBudget - spent;
    return std::max(std::chrono::milliseconds{0}, std::min(share, left));
}
