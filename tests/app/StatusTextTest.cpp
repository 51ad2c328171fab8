#include "app/StatusText.h"

#include <gtest/gtest.h>

namespace {

std::string Size(std::uint64_t done, std::uint64_t total) {
    return SizeLineText(done, total).toStdString();
}

std::string Rate(std::uint32_t rate, std::optional<RemainingTime> left) {
    return RateLineText(rate, left).toStdString();
}

// The time the engine reports for `left` bytes at `rate`: seconds kept to 32 bits, hours to 16.
RemainingTime Left(std::uint64_t bytes, std::uint32_t rate) {
    const auto seconds = static_cast<std::uint32_t>(bytes / rate);
    return {static_cast<std::uint16_t>(seconds / 3600),
            static_cast<std::uint16_t>(seconds % 3600 / 60),
            static_cast<std::uint16_t>(seconds % 60)};
}

} // namespace

TEST(StatusText, BytesScaleToTheLargestUnitUpToGigabytes) {
    const std::vector<std::pair<std::uint64_t, std::string>> table = {
        {0, "0.00 B"},
        {1023, "1023.00 B"},
        {1024, "1.00 KB"},
        {1536, "1.50 KB"},
        {1048575, "1024.00 KB"}, // rounds up to 1024 at two decimals; the unit stays KB
        {1048576, "1.00 MB"},
        {1073741823, "1024.00 MB"},
        {1073741824, "1.00 GB"},
        {5368709120ULL, "5.00 GB"},
        {2199023255552ULL, "2048.00 GB"}, // nothing above GB
        {UINT64_MAX, "17179869184.00 GB"},
    };
    for (const auto& [bytes, text] : table) {
        EXPECT_EQ(Size(bytes, 0), " : " + text + " / 0.00 B") << bytes;
    }
    EXPECT_EQ(ScaleBytes(1048575).unit, 2);
    EXPECT_EQ(UnitName(0), "");
    EXPECT_EQ(UnitName(5), "");
}

TEST(StatusText, SizeLineShowsDoneThenTotal) {
    EXPECT_EQ(Size(10485760, 2147483648ULL), " : 10.00 MB / 2.00 GB");
    // While checking: nothing done yet, the total after the slash.
    EXPECT_EQ(Size(0, 734003200), " : 0.00 B / 700.00 MB");
}

TEST(StatusText, RateLineAddsTheTimeLeftInHoursOrMinutes) {
    EXPECT_EQ(Rate(0, RemainingTime{0xFFFF, 0xFFFF, 0xFFFF}), " : 0.00 B/s");
    EXPECT_EQ(Rate(2000, Left(1000000, 2000)), " : 1.95 KB/s - About 8m 20s Remains");
    EXPECT_EQ(Rate(10000, Left(100000000, 10000)), " : 9.77 KB/s - About 2h 46m Remains");
    EXPECT_EQ(Rate(1000, Left(3600 * 1000, 1000)), " : 1000.00 B/s - About 1h 0m Remains");
    EXPECT_EQ(Rate(1000, Left(59 * 1000, 1000)), " : 1000.00 B/s - About 0m 59s Remains");
    // A complete torrent still moving data shows a zero rate with zero time.
    EXPECT_EQ(Rate(0, RemainingTime{0, 0, 0}), " : 0.00 B/s - About 0m 0s Remains");
    // No estimate from an invalid handle: the rate alone.
    EXPECT_EQ(Rate(512, std::nullopt), " : 512.00 B/s");
}

TEST(StatusText, HoursShowModulo65536AndTheWrapOnto65535ShowsTheRateAlone) {
    // 65,536 hours at 1 byte/s wrap to 0 hours.
    const std::uint64_t hour = 3600;
    EXPECT_EQ(Rate(1, Left(65536 * hour + 61, 1)), " : 1.00 B/s - About 1m 1s Remains");
    EXPECT_EQ(Rate(1, Left(65537 * hour, 1)), " : 1.00 B/s - About 1h 0m Remains");
    // 65,535 hours, whether reached directly or by wrapping, means "no estimate".
    EXPECT_EQ(Rate(1, Left(65535 * hour, 1)), " : 1.00 B/s");
    EXPECT_EQ(Rate(1, Left(65534 * hour + 3599, 1)), " : 1.00 B/s - About 65534h 59m Remains");
}

TEST(StatusText, PeersLineShowsThePortOnlyWhileListening) {
    EXPECT_EQ(PeersLineText(12, 23456).toStdString(), " : 12 peers (Listen port : 23456)");
    EXPECT_EQ(PeersLineText(12, 0).toStdString(), " : 12 peers");
    EXPECT_EQ(PeersLineText(0, 65535).toStdString(), " : 0 peers (Listen port : 65535)");
}

TEST(StatusText, PercentAndFilePath) {
    EXPECT_EQ(PercentText(37).toStdString(), "37%");
    EXPECT_EQ(PercentText(100).toStdString(), "100%");
    EXPECT_EQ(FilePathText("/home/p/Games", "Setup").toStdString(), " : /home/p/Games/Setup");
    EXPECT_EQ(FilePathText("/home/p/Games/", "Setup").toStdString(), " : /home/p/Games/Setup");
    // Only a slash counts: a backslash gets one appended too.
    EXPECT_EQ(FilePathText("C:\\Games\\", "Setup").toStdString(), " : C:\\Games\\/Setup");
    EXPECT_EQ(FilePathText("", "Setup").toStdString(), " : Setup");
    EXPECT_EQ(
        FilePathText(QString::fromUtf8("/home/플레이어"), QString::fromUtf8("설치")).toStdString(),
        " : /home/플레이어/설치");
}
