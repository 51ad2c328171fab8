#include "app/CKestrelDlg.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <string>
#include <vector>

#include "net/LocalAddress.h"
#include "net/ReportSender.h"
#include "net/StatisticsRules.h"
#include "support/SmallPublisher.h"
#include "support/WindowSwarm.h"

using namespace std::chrono_literals;
using publisher::Fault;
using publisher::Publisher;

namespace {

// Hands every call on to the real sender and notes it first, with whether the window showed.
class WatchingSender final : public ReportSender {
public:
    WatchingSender(ReportSender& real, std::function<bool()> windowShows)
        : real_(real), windowShows_(std::move(windowShows)) {}

    void sendInBackground(QString url) override {
        note("background", url);
        real_.sendInBackground(std::move(url));
    }
    bool send(const QString& url, char* buffer, std::uint32_t capacity,
              std::chrono::milliseconds limit) override {
        note("send", url);
        return real_.send(url, buffer, capacity, limit);
    }
    std::optional<std::uint32_t> fetch(const QString& url, char* buffer, std::uint32_t capacity,
                                       std::chrono::milliseconds limit) override {
        note("fetch", url);
        return real_.fetch(url, buffer, capacity, limit);
    }
    void stop() override {
        calls.push_back("stop");
        real_.stop();
    }

    std::vector<std::string> calls;

private:
    void note(const std::string& what, const QString& url) {
        const QString type = url.section(QLatin1Char('?'), 1).section(QLatin1Char('&'), 0, 0);
        calls.push_back(what + (type.isEmpty() ? "" : " " + type.toStdString()) +
                        (windowShows_() ? " shown" : " hidden"));
    }
    ReportSender& real_;
    std::function<bool()> windowShows_;
};

// The window with its real engine against the sample publisher, reporting over HTTP.
class DlgReports : public WindowSwarm {
protected:
    void arrange() override {
        startPublisher(1024 * 1024);
        answerFolder();
        dlg = makeDlg(prompt, clock, watching);
    }
    // Started, and the torrent checked: the progress timer runs.
    bool started() {
        dlg->OnInitDialog();
        return until([&] { return dlg->Timers().isRunning(CKestrelDlg::kProgressReportTimer); });
    }
    std::vector<std::string> reports() const { return ReportsReceived(*pub); }

    // The namespace's own address (other tests add some to it), as the reports carry it.
    const std::string ip = InternalIpDigits(Ipv4HostOrder(GuessLocalAddress())).toStdString();
    HttpReportSender http;
    std::unique_ptr<CKestrelDlg> dlg;
    WatchingSender watching{http, [this] { return dlg && dlg->isVisible(); }};
};

} // namespace

TEST_F(DlgReports, CloseHidesThenReportsThenWaitsThenEnds) {
    ASSERT_TRUE(started());
    const StatisticsRecord& record = dlg->Statistics();
    EXPECT_EQ(record.internalIp.toStdString(), ip);
    const std::string stamp = TimeStamp(clock.localTime()).toStdString();
    EXPECT_EQ(record.startTime.toStdString(), stamp);

    clock.onWait = [&] { watching.calls.push_back(dlg->Ended() ? "wait ended" : "wait"); };
    prompt.answers = {Prompt::Answer::Yes};
    dlg->OnCommand(CKestrelDlg::kCloseCommand);
    EXPECT_TRUE(dlg->Ended());
    EXPECT_EQ(watching.calls, (std::vector<std::string>{"send stType=1 hidden", "fetch hidden",
                                                        "send stType=3 hidden", "wait"}));
    EXPECT_EQ(clock.waits, std::vector<std::chrono::milliseconds>{2000ms});

    const auto got = reports();
    ASSERT_EQ(got.size(), 2u);
    // Closed before completion: no completion time.
    EXPECT_EQ(got[0], "stType=1&InternalIP=" + ip + "&StartTime=" + stamp +
                          "&CompleteTime=&EndTime=" + stamp + "&UploadAmount=0");
    EXPECT_EQ(got[1].rfind("stType=3&InternalIP=" + ip + "&Rate=", 0), 0u) << got[1];
    EXPECT_EQ(pub->requestCount(Publisher::kSpeedTestPath), 1u);
}

TEST_F(DlgReports, ProgressReportStalledOnTheServerNeitherDelaysNorBreaksTheEnd) {
    pub->setFault(Publisher::kStatisticsPath, Fault::stall(1h));
    ASSERT_TRUE(started());
    dlg->OnTimer(CKestrelDlg::kProgressReportTimer);
    ASSERT_TRUE(waitFor([&] { return reports().size() == 1; }));
    EXPECT_EQ(reports()[0], "stType=2&InternalIP=" + ip + "&PeerCnt=0&DownRate=0&UpRate=0");

    // The progress report hangs on; the close's own reports are answered.
    pub->clearFaults();
    prompt.answers = {Prompt::Answer::Yes};
    dlg->OnCommand(CKestrelDlg::kCloseCommand);
    ASSERT_TRUE(dlg->Ended());
    dlg->OnTimer(CKestrelDlg::kProgressReportTimer); // a tick that was already queued
    EXPECT_EQ(watching.calls,
              (std::vector<std::string>{"background stType=2 shown", "send stType=1 hidden",
                                        "fetch hidden", "send stType=3 hidden"}));
    EXPECT_EQ(http.inFlight(), 1u);

    // The end of the run: the window goes, then the sender stops, as the application does.
    dlg.reset();
    auto stopped = std::async(std::launch::async, [&] { http.stop(); });
    // Only a bound on a failure: the client's own limits would hold the report for a minute.
    EXPECT_TRUE(waitFor([&] { return stopped.wait_for(0s) == std::future_status::ready; }, 30s));
    pub->stop(); // releases the stall, should the sender still hold on
    stopped.get();
    EXPECT_EQ(http.inFlight(), 0u);
    EXPECT_EQ(reports().size(), 3u);
}

TEST_F(DlgReports, CloseBeforeTheCheckReportsNoAddressAndNoStart) {
    dlg->OnInitDialog(); // no tick yet, so the checked event waits in the engine
    ASSERT_FALSE(dlg->Timers().isRunning(CKestrelDlg::kProgressReportTimer));
    prompt.answers = {Prompt::Answer::Yes};
    dlg->OnCommand(CKestrelDlg::kCloseCommand);
    const std::string stamp = TimeStamp(clock.localTime()).toStdString();
    const auto got = reports();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0],
              "stType=1&InternalIP=&StartTime=&CompleteTime=&EndTime=" + stamp + "&UploadAmount=0");
}

TEST_F(DlgReports, WithoutAReportPageNothingIsSentButTheCloseStillWaits) {
    pub->setCheckField(9, "");
    ASSERT_TRUE(started());
    dlg->OnTimer(CKestrelDlg::kProgressReportTimer);
    prompt.answers = {Prompt::Answer::Yes};
    dlg->OnCommand(CKestrelDlg::kCloseCommand);
    EXPECT_TRUE(dlg->Ended());
    EXPECT_TRUE(watching.calls.empty());
    EXPECT_EQ(clock.waits, std::vector<std::chrono::milliseconds>{2000ms});
    EXPECT_TRUE(reports().empty());
}
