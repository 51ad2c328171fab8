#include <cstdio>
#include <deque>
#include <future>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "net/ReportSender.h"
#include "net/StatisticsReports.h"
#include "net/StatisticsRules.h"
#include "support/ManualClock.h"
#include "support/SmallPublisher.h"

using namespace std::chrono_literals;
using publisher::Fault;
using publisher::Publisher;

namespace {

std::tm localTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return t;
}

std::time_t instant(int year, int month, int day, int hour, int minute, int second) {
    std::tm t = localTime(year, month, day, hour, minute, second);
    return std::mktime(&t);
}

} // namespace

TEST(StatisticsRules, TimeStampsAreBlankPaddedNeverZeroPadded) {
    EXPECT_EQ(TimeStamp(localTime(2009, 1, 5, 9, 3, 7)), "2009 1 5 9 3 7");
    EXPECT_EQ(TimeStamp(localTime(2009, 12, 31, 23, 59, 59)), "20091231235959");
    EXPECT_EQ(TimeStamp(localTime(2010, 10, 1, 0, 0, 10)), "201010 1 0 010");
}

TEST(StatisticsRules, InternalIpIsEightUpperCaseDigitsOfAnIpv4Address) {
    EXPECT_EQ(InternalIpDigits(Ipv4HostOrder("192.168.1.10")), "C0A8010A");
    EXPECT_EQ(InternalIpDigits(Ipv4HostOrder("10.0.0.255")), "0A0000FF");
    EXPECT_EQ(InternalIpDigits(Ipv4HostOrder("0.0.0.0")), "00000000");
    // A machine with IPv6 addresses only has no IPv4 number to give.
    EXPECT_EQ(Ipv4HostOrder("2001:db8::5"), 0u);
    EXPECT_EQ(Ipv4HostOrder("junk"), 0u);
}

TEST(StatisticsRules, UrlsCarryEveryKeyInOrderEmptyFieldsIncluded) {
    StatisticsRecord r;
    r.baseUrl = "http://h/s.asp";
    r.internalIp = "C0A8010A";
    r.startTime = "2009 1 5 9 3 7";
    r.endTime = "20091231235959";
    r.uploadAmount = "12";
    EXPECT_EQ(BuildSummaryReportUrl(r),
              "http://h/s.asp?stType=1&InternalIP=C0A8010A&StartTime=2009 1 5 9 3 7"
              "&CompleteTime=&EndTime=20091231235959&UploadAmount=12");
    EXPECT_EQ(BuildProgressReportUrl(r, 3, -1, 17),
              "http://h/s.asp?stType=2&InternalIP=C0A8010A&PeerCnt=3&DownRate=-1&UpRate=17");
    EXPECT_EQ(BuildSpeedReportUrl(r, 1464),
              "http://h/s.asp?stType=3&InternalIP=C0A8010A&Rate=1464");
    EXPECT_EQ(BuildSummaryReportUrl(StatisticsRecord{}),
              "?stType=1&InternalIP=&StartTime=&CompleteTime=&EndTime=&UploadAmount=");
}

TEST(StatisticsRules, NumbersAtTheirBoundaries) {
    EXPECT_EQ(KiBPerSecond(1023), 0);
    EXPECT_EQ(KiBPerSecond(1024), 1);
    EXPECT_EQ(ProgressDownRate(false, 2047), 1);
    EXPECT_EQ(ProgressDownRate(true, 2047), -1);
    EXPECT_EQ(WholeMiB(1'048'575), 0);
    EXPECT_EQ(WholeMiB(5 * 1'048'576 + 1'048'575), 5);
    EXPECT_FALSE(RunsSpeedTest("http:"));
    EXPECT_TRUE(RunsSpeedTest("http:/"));

    struct Case {
        std::uint32_t bytes;
        std::chrono::milliseconds elapsed;
        std::optional<int> rate;
    };
    const Case cases[] = {
        {3'000'000, 2500ms, 1464}, // 2929 KiB in 2 whole seconds
        {3'000'000, 800ms, 2929},  // under a second counts as one
        {3'000'000, 0ms, 2929},          {3'000'000, 1999ms, 2929},       {102'400, 1000ms, 100},
        {102'399, 1000ms, std::nullopt}, {3'000'000, -1ms, std::nullopt}, // a clock that went back
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bytes) + " bytes in " + std::to_string(c.elapsed.count()));
        EXPECT_EQ(SpeedTestRate(c.bytes, c.elapsed), c.rate);
    }
}

namespace {

// The reports against the sample publisher in this process, with a clock the test sets. Each test
// has a publisher of its own, so stalled answers end with it.
class StatisticsReportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_ = startSmallPublisher();
        record_.baseUrl = q(server_->statisticsUrl());
        record_.speedTestUrl = q(server_->speedTestUrl());
        record_.internalIp = "C0A8010A";
        record_.startTime = "20081231235959";
    }

    std::vector<std::string> reports() const { return ReportsReceived(*server_); }
    std::vector<std::string> paths() const {
        std::vector<std::string> out;
        for (const auto& r : server_->requests()) {
            out.push_back(r.path);
        }
        return out;
    }
    bool idle() {
        return waitFor([&] { return sender_.inFlight() == 0; });
    }

    std::unique_ptr<Publisher> server_;
    StatisticsRecord record_;
    ManualClock clock_{instant(2009, 1, 5, 9, 3, 7)};
    HttpGetTimeouts timeouts_{10s, 2s};
    HttpReportSender sender_{timeouts_};
    StatisticsReports reports_{record_, clock_, sender_};
};

const std::string kSummary = "stType=1&InternalIP=C0A8010A&StartTime=20081231235959"
                             "&CompleteTime=&EndTime=2009 1 5 9 3 7&UploadAmount=5";

} // namespace

TEST_F(StatisticsReportsTest, StampsAndAddressGroupsGoIntoTheRecord) {
    reports_.SetInternalIp(Ipv4HostOrder("10.1.2.3"));
    EXPECT_EQ(record_.internalIp, "C0A8010A0A010203"); // a second checked event adds a group
    reports_.StampLocalTime(record_.completeTime);
    clock_.setTime(instant(2009, 12, 31, 23, 59, 59));
    reports_.StampLocalTime(record_.completeTime);
    EXPECT_EQ(record_.completeTime, "20091231235959"); // each stamp replaces the last
    reports_.SetUploadAmount(-3);
    EXPECT_EQ(record_.uploadAmount, "-3");
}

TEST_F(StatisticsReportsTest, ProgressGoesOnlyForARunningTorrentWithAPage) {
    const TorrentFigures running{true, false, false, 3, 2047, 1024};
    TorrentFigures none = running;
    none.exists = false;
    TorrentFigures paused = running;
    paused.paused = true;
    TorrentFigures complete = running;
    complete.complete = true;

    reports_.SendProgressReport(none);
    reports_.SendProgressReport(paused);
    reports_.SendProgressReport(running);
    ASSERT_TRUE(waitFor([&] { return reports().size() == 1; }));
    reports_.SendProgressReport(complete);
    ASSERT_TRUE(waitFor([&] { return reports().size() == 2; }));
    const QString page = record_.baseUrl;
    record_.baseUrl.clear();
    reports_.SendProgressReport(running);
    record_.baseUrl = page;
    // Once the close has begun, the timer's last ticks send nothing.
    reports_.SendCloseReports(0);
    reports_.SendProgressReport(running);
    ASSERT_TRUE(idle());

    const auto got = reports();
    ASSERT_EQ(got.size(), 4u); // two progress reports, the summary and the speed report
    EXPECT_EQ(got[0], "stType=2&InternalIP=C0A8010A&PeerCnt=3&DownRate=1&UpRate=1");
    EXPECT_EQ(got[1], "stType=2&InternalIP=C0A8010A&PeerCnt=3&DownRate=-1&UpRate=1");
    EXPECT_EQ(got[2].substr(0, 8), "stType=1");
    EXPECT_EQ(got[3].substr(0, 8), "stType=3");
}

TEST_F(StatisticsReportsTest, CloseSendsSummaryThenSpeedTestThenSpeedReport) {
    for (const auto elapsed : {2500ms, 800ms}) {
        SCOPED_TRACE(elapsed.count());
        server_ = startSmallPublisher(); // 3,000,000 bytes of speed test
        record_.baseUrl = q(server_->statisticsUrl());
        record_.speedTestUrl = q(server_->speedTestUrl());
        clock_.readings = {1000ms, 1000ms, 1000ms + elapsed};
        reports_.SendCloseReports(5 * 1'048'576 + 1'048'575);

        const std::vector<std::string> order = {
            Publisher::kStatisticsPath, Publisher::kSpeedTestPath, Publisher::kStatisticsPath};
        EXPECT_EQ(paths(), order);
        const std::string rate = elapsed == 2500ms ? "1464" : "2929";
        EXPECT_EQ(reports(), (std::vector<std::string>{
                                 kSummary, "stType=3&InternalIP=C0A8010A&Rate=" + rate}));
        const auto lines = server_->statisticsLines();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_NE(lines[0].find("\"EndTime\":\"2009 1 5 9 3 7\""), std::string::npos) << lines[0];
    }
}

TEST_F(StatisticsReportsTest, SpeedReportOnlyForAUsableTest) {
    struct Case {
        const char* name;
        std::optional<Fault> speedTest; // none: the speed-test address is too short
        std::size_t reports;
    };
    const Case cases[] = {
        {"5 characters", std::nullopt, 1},
        {"102,399 bytes", Fault::sized(102'399), 1},
        {"102,400 bytes", Fault::sized(102'400), 2},
        {"fills the buffer", Fault::sized(kCloseReportBufferSize), 1},
        {"empty", Fault::empty(), 1},
        {"broken off", Fault::cutOff(3'000'000), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server_ = startSmallPublisher();
        record_.baseUrl = q(server_->statisticsUrl());
        if (c.speedTest) {
            server_->setFault("/test.bin", *c.speedTest);
            record_.speedTestUrl = q(server_->origin() + "/test.bin");
        } else {
            record_.speedTestUrl = "http:";
        }
        reports_.SendCloseReports(0);
        EXPECT_EQ(reports().size(), c.reports);
        EXPECT_EQ(server_->requestCount("/test.bin"), c.speedTest ? 1u : 0u);
    }
}

TEST_F(StatisticsReportsTest, AnswerCountsAsDeliveredOnceItBegins) {
    struct Case {
        const char* name;
        Fault answer;
        std::size_t attempts; // of each report
    };
    const Case cases[] = {
        {"empty", Fault::empty(), 2},
        {"broken off after its first half", Fault::cutOff(200'000), 1},
        {"larger than the buffer", Fault::sized(kCloseReportBufferSize + 1), 1},
        // The client gives up on a stall after 2 s; this one would last an hour.
        {"stalled after the first piece", Fault::trickle(1000, 1h), 1},
        {"an error page", Fault::serverError(), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server_ = startSmallPublisher();
        server_->setFault(Publisher::kStatisticsPath, c.answer);
        record_.baseUrl = q(server_->statisticsUrl());
        record_.speedTestUrl = q(server_->speedTestUrl());
        reports_.SendCloseReports(0);
        EXPECT_EQ(reports().size(), 2 * c.attempts);

        // The publisher numbers each report's attempts in its log.
        std::string attempts;
        for (const auto& line : server_->statisticsLines()) {
            attempts += line.substr(line.find("\"attempt\":") + 10, 1);
        }
        EXPECT_EQ(attempts, c.attempts == 2 ? "1212" : "11");

        // A progress report from its worker thread follows the same rule.
        StatisticsReports running(record_, clock_, sender_);
        running.SendProgressReport({true, false, false, 0, 0, 0});
        ASSERT_TRUE(idle());
        EXPECT_EQ(reports().size(), 3 * c.attempts);
    }
}

// The close's requests share one budget by the clock: whatever the page does, the summary and
// the speed test each get their share at most, the speed report what is left.
TEST(CloseBudget, EachStepGetsItsShareOfWhatIsLeft) {
    EXPECT_EQ(CloseStepLimit(kSummaryShare, 0ms), 8000ms);
    EXPECT_EQ(CloseStepLimit(kSpeedTestShare, 8000ms), 8000ms);
    EXPECT_EQ(CloseStepLimit(kSpeedTestShare, 12001ms), 7999ms);
    EXPECT_EQ(CloseStepLimit(kCloseReportsBudget, 16000ms), 4000ms);
    EXPECT_EQ(CloseStepLimit(kCloseReportsBudget, 20000ms), 0ms);
    EXPECT_EQ(CloseStepLimit(kCloseReportsBudget, 25000ms), 0ms);
}

namespace {
// Answers every fetch with a body of `bytes` and records each request's limit.
struct MeasuringSender final : ReportSender {
    std::uint32_t bytes = 3'000'000;
    std::vector<std::string> calls;
    std::vector<std::chrono::milliseconds> limits;
    void sendInBackground(QString) override {}
    bool send(const QString& url, char*, std::uint32_t, std::chrono::milliseconds limit) override {
        calls.push_back(url.section('?', 1).section('&', 0, 0).toStdString());
        limits.push_back(limit);
        return true;
    }
    std::optional<std::uint32_t> fetch(const QString&, char*, std::uint32_t,
                                       std::chrono::milliseconds limit) override {
        calls.push_back("fetch");
        limits.push_back(limit);
        return bytes;
    }
    void stop() override {}
};
} // namespace

TEST(CloseBudget, TheCloseHandsEachRequestItsLimitByTheClock) {
    struct Case {
        const char* name;
        std::deque<std::chrono::milliseconds> readings; // begin, speed test start, its end
        std::vector<std::string> calls;
        std::vector<std::chrono::milliseconds> limits;
    };
    const Case cases[] = {
        {"answered at once",
         {0ms, 0ms, 2500ms},
         {"stType=1", "fetch", "stType=3"},
         {8000ms, 8000ms, 17500ms}},
        {"summary took its share, test its own",
         {0ms, 8000ms, 16000ms},
         {"stType=1", "fetch", "stType=3"},
         {8000ms, 8000ms, 4000ms}},
        {"little left for the test",
         {0ms, 19000ms, 20000ms},
         {"stType=1", "fetch"},
         {8000ms, 1000ms}},
        {"nothing left", {0ms, 20000ms}, {"stType=1"}, {8000ms}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StatisticsRecord record;
        record.baseUrl = "http://127.0.0.1:1/s";
        record.speedTestUrl = "http://127.0.0.1:1/t.bin";
        ManualClock clock;
        clock.readings = c.readings;
        MeasuringSender sender;
        StatisticsReports(record, clock, sender).SendCloseReports(0);
        EXPECT_EQ(sender.calls, c.calls);
        EXPECT_EQ(sender.limits, c.limits);
    }
}

// The real client against a page that never answers: the close's requests end within the budget
// instead of running into the client's minute-long limits twice over, then the speed test.
TEST_F(StatisticsReportsTest, ASilentPageHoldsTheCloseNoLongerThanItsBudget) {
    server_->setFault(Publisher::kStatisticsPath, Fault::stall(1h));
    server_->setFault("/test.bin", Fault::stall(1h));
    record_.speedTestUrl = q(server_->origin() + "/test.bin");
    HttpReportSender sender; // the program's own limits
    StatisticsReports reports(record_, clock_, sender);
    const auto start = std::chrono::steady_clock::now();
    auto closed = std::async(std::launch::async, [&] { reports.SendCloseReports(0); });
    // Only a bound on a failure: the budget is 20 s, the client's own limits would take minutes.
    const bool ended =
        waitFor([&] { return closed.wait_for(0s) == std::future_status::ready; }, 40s);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::printf("close reports against a silent page ended after %lld ms\n",
                static_cast<long long>(took.count()));
    server_->stop(); // releases the stalls, should the close still hang on
    closed.get();
    EXPECT_TRUE(ended);
    EXPECT_EQ(server_->requestCount("/test.bin"), 1u);
}

TEST_F(StatisticsReportsTest, NothingWithoutAReportPage) {
    record_.baseUrl.clear();
    reports_.SendCloseReports(1'048'576);
    EXPECT_TRUE(server_->requests().empty());
    EXPECT_EQ(record_.endTime, "");
}

// --- The sender's worker threads -------------------------------------------------------------

TEST_F(StatisticsReportsTest, ReportWhoseThreadCannotStartIsDropped) {
    int starts = 0;
    HttpReportSender sender(timeouts_, [&](std::function<void()> work) {
        if (++starts == 1) {
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        return std::thread(std::move(work));
    });
    EXPECT_NO_THROW(sender.sendInBackground(record_.baseUrl + "?first"));
    EXPECT_EQ(sender.inFlight(), 0u);
    sender.sendInBackground(record_.baseUrl + "?second");
    ASSERT_TRUE(waitFor([&] { return sender.inFlight() == 0; }));
    ASSERT_EQ(reports(), std::vector<std::string>{"second"});
}

TEST_F(StatisticsReportsTest, StopEndsAReportStalledOnAServerThatNeverAnswers) {
    server_->setFault(Publisher::kStatisticsPath, Fault::stall(1h));
    // Time-outs that would hold the thread for an hour: only cancelling can end it sooner.
    HttpReportSender sender(HttpGetTimeouts{1h, 1h});
    sender.sendInBackground(record_.baseUrl + "?stalled");
    ASSERT_TRUE(waitFor([&] { return reports().size() == 1; }));
    EXPECT_EQ(sender.inFlight(), 1u);

    auto stopped = std::async(std::launch::async, [&] { sender.stop(); });
    // The deadline only bounds a failure; the thread notices within about a second.
    EXPECT_TRUE(waitFor([&] { return stopped.wait_for(0s) == std::future_status::ready; }, 30s));
    server_->stop(); // releases the stall, should the sender still hold on
    stopped.get();
    sender.sendInBackground(record_.baseUrl + "?after");
    EXPECT_EQ(sender.inFlight(), 0u);
    EXPECT_EQ(reports().size(), 1u); // cancelled, not tried again, nothing new
}
