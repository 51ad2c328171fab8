#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/DownloadCheck.h"
#include "support/RecordingPrompt.h"
#include "support/SmallPublisher.h"

using publisher::Fault;
using Kind = RecordingPrompt::Kind;

namespace {

const QString kConnect1 =
    QStringLiteral("Cannot connect to server. Please check your network. (1)");
const QString kConnect2 =
    QStringLiteral("Cannot connect to server. Please check your network. (2)");
const QString kConnect3 =
    QStringLiteral("Cannot connect to server. Please check your network. (3)");
const QString kInvalid = QStringLiteral("Invalid cgi data");
const QString kClosed = QStringLiteral("This program can no longer be used. Please check the "
                                       "notice at our homepage. Go to homepage?");
const QString kUpdate =
    QStringLiteral("New version has been updated. Would you like to update now?");

// The field texts as the publisher first sends them, taken from its answer.
std::vector<std::string> splitAnswer(const std::string& answer) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const auto bar = answer.find('|', start);
        fields.push_back(answer.substr(start, bar - start));
        if (bar == std::string::npos) {
            return fields;
        }
        start = bar + 1;
    }
}

class DownloadCheckTest : public SmallPublisherSuite {
protected:
    static void SetUpTestSuite() {
        SmallPublisherSuite::SetUpTestSuite();
        defaults_ = splitAnswer(server_->checkAnswer());
    }
    void SetUp() override {
        SmallPublisherSuite::SetUp();
        server_->setCheckBody(std::nullopt);
        for (int i = 0; i < 11; ++i) {
            server_->setCheckField(i, defaults_[static_cast<std::size_t>(i)]);
        }
        torrent_ = std::make_unique<char[]>(kTorrentBufferSize);
    }
    bool run() {
        return RunDownloadCheck(nullptr, prompt_, q(server_->origin()), result_, statistics_,
                                torrent_.get());
    }

    std::vector<QString> messages() const { return prompt_.texts(Kind::Message); }
    std::vector<QString> opened() const { return prompt_.texts(Kind::Open); }

    static std::vector<std::string> defaults_;
    RecordingPrompt prompt_;
    DownloadCheckResult result_;
    StatisticsRecord statistics_;
    std::unique_ptr<char[]> torrent_;
};

} // namespace

std::vector<std::string> DownloadCheckTest::defaults_;

TEST_F(DownloadCheckTest, PublisherAnswerIsAccepted) {
    ASSERT_EQ(defaults_.size(), 11u);
    server_->setCheckField(6, "6881");
    server_->setCheckField(7, "127.0.0.2,127.0.0.3");
    server_->setCheckField(8, "50,100");

    ASSERT_TRUE(run());
    EXPECT_TRUE(prompt_.entries.empty());
    const auto& torrent = server_->torrent();
    ASSERT_EQ(result_.torrentLength, torrent.size());
    EXPECT_EQ(result_.torrentData, torrent_.get());
    EXPECT_EQ(std::string(torrent_.get(), result_.torrentLength),
              std::string(torrent.begin(), torrent.end()));
    EXPECT_EQ(result_.torrentData[result_.torrentLength], '\0');
    EXPECT_EQ(result_.webSeedUrl, q(server_->webSeedUrl()));
    EXPECT_EQ(result_.serverPeers,
              (std::vector<PeerEndpoint>{{"127.0.0.2", 6881}, {"127.0.0.3", 6881}}));
    EXPECT_EQ(result_.serverPeerCallInRate, 51'200u);
    EXPECT_EQ(result_.serverPeerReleaseRate, 102'400u);
    EXPECT_EQ(statistics_.baseUrl, q(server_->statisticsUrl()));
    EXPECT_EQ(statistics_.speedTestUrl, q(server_->speedTestUrl()));

    const auto requests = server_->requests();
    bool sawCheck = false;
    for (const auto& r : requests) {
        if (r.path == publisher::Publisher::kCheckPath) {
            sawCheck = true;
            EXPECT_EQ(r.query, "JH=EMW_FULL");
            EXPECT_EQ(r.userAgent, "VrtTorrentCGI");
        }
    }
    EXPECT_TRUE(sawCheck);
}

TEST_F(DownloadCheckTest, CheckRequestFailuresShowMessageOne) {
    // Nobody listening.
    EXPECT_FALSE(RunDownloadCheck(nullptr, prompt_, QStringLiteral("http://127.0.0.1:1"), result_,
                                  statistics_, torrent_.get()));
    // An empty answer, and one that does not fit the 1,048,576-byte buffer.
    server_->setFault(publisher::Publisher::kCheckPath, Fault::empty());
    EXPECT_FALSE(run());
    server_->setFault(publisher::Publisher::kCheckPath, Fault::sized(1'048'576));
    EXPECT_FALSE(run());
    EXPECT_EQ(messages(), (std::vector<QString>{kConnect1, kConnect1, kConnect1}));
    EXPECT_EQ(statistics_.baseUrl, QString());
}

TEST_F(DownloadCheckTest, MalformedAnswersShowTheirMessages) {
    const std::vector<std::pair<std::string, QString>> cases = {
        {"12", kConnect2},                        // no separator: one field
        {"12|", kInvalid},                        // two fields, but ours needs eleven
        {"12|1|2|3|4|5|6|7|8|9|10|11", kInvalid}, // twelve
    };
    for (const auto& [body, message] : cases) {
        server_->setCheckBody(body);
        EXPECT_FALSE(run()) << body;
    }
    std::vector<QString> expected;
    for (const auto& c : cases) {
        expected.push_back(c.second);
    }
    EXPECT_EQ(messages(), expected);
    EXPECT_TRUE(opened().empty());
}

TEST_F(DownloadCheckTest, TorrentThatCannotBeFetchedShowsMessageThree) {
    const std::string path = "/files/installer.torrent";
    const std::vector<Fault> faults = {Fault::empty(), Fault::sized(kTorrentBufferSize),
                                       Fault::cutOff(100'000)};
    for (const auto& fault : faults) {
        server_->setFault(path, fault);
        EXPECT_FALSE(run());
    }
    EXPECT_EQ(messages(), (std::vector<QString>{kConnect3, kConnect3, kConnect3}));
    EXPECT_EQ(result_.torrentLength, 0u);
    EXPECT_EQ(result_.webSeedUrl, QString());

    // The largest torrent that fits is taken.
    server_->setFault(path, Fault::sized(kTorrentBufferSize - 1));
    EXPECT_TRUE(run());
    EXPECT_EQ(result_.torrentLength, kTorrentBufferSize - 1);
}

TEST_F(DownloadCheckTest, RatesNeedExactlyTwoNumbers) {
    for (const char* rates : {"50", "50,100,"}) {
        server_->setCheckField(8, rates);
        EXPECT_FALSE(run()) << rates;
    }
    EXPECT_EQ(messages(), (std::vector<QString>{kInvalid, kInvalid}));
    // Already fetched and stored before the rates were read; the caller closes without them.
    EXPECT_EQ(result_.webSeedUrl, q(server_->webSeedUrl()));
    EXPECT_EQ(statistics_.baseUrl, QString());
}

TEST_F(DownloadCheckTest, TurnedAwayAnswersOfferTheirPage) {
    const std::size_t torrentFetches = server_->requestCount("/files/installer.torrent");
    server_->setCheckBody("-1|http://h/closed");
    prompt_.answers = {Prompt::Answer::Yes};
    EXPECT_FALSE(run());
    server_->setCheckBody("13|http://h/update");
    prompt_.answers = {Prompt::Answer::Yes};
    EXPECT_FALSE(run());
    server_->setCheckBody("13|http://h/declined");
    prompt_.answers = {Prompt::Answer::No};
    EXPECT_FALSE(run());
    // A line break after the version makes it another version.
    server_->setCheckBody("12\r\n|http://h/crlf|2|3|4|5|6|7|8|9|10");
    prompt_.answers = {Prompt::Answer::Yes};
    EXPECT_FALSE(run());
    // A page the launcher refuses is not opened, and the check still ends.
    // Nor is a local path, a folder as much as a file: the answer names pages only.
    for (const char* notAPage : {"javascript:alert(1)", "/etc", "/etc/passwd", "file:///etc"}) {
        server_->setCheckBody(std::string("13|") + notAPage);
        prompt_.answers = {Prompt::Answer::Yes};
        EXPECT_FALSE(run()) << notAPage;
    }

    EXPECT_EQ(messages(), (std::vector<QString>{kClosed, kUpdate, kUpdate, kUpdate, kUpdate,
                                                kUpdate, kUpdate, kUpdate}));
    for (const auto& e : prompt_.entries) {
        if (e.kind == Kind::Message) {
            EXPECT_EQ(e.buttons, Prompt::Buttons::YesNo);
        }
    }
    EXPECT_EQ(opened(),
              (std::vector<QString>{"http://h/closed", "http://h/update", "http://h/crlf"}));
    EXPECT_EQ(server_->requestCount("/files/installer.torrent"), torrentFetches);
}

TEST_F(DownloadCheckTest, NoticeIsShownBeforeItsPageIsOpened) {
    server_->setCheckField(2, "Maintenance on Thursday.\r\nSee the page.");
    server_->setCheckField(3, server_->origin() + "/notice.html?id=7 x");
    ASSERT_TRUE(run());
    ASSERT_EQ(prompt_.entries.size(), 2u);
    EXPECT_EQ(prompt_.entries[0].kind, Kind::Message);
    EXPECT_EQ(prompt_.entries[0].text, QStringLiteral("Maintenance on Thursday.\r\nSee the page."));
    EXPECT_EQ(prompt_.entries[0].buttons, Prompt::Buttons::Ok);
    EXPECT_EQ(prompt_.entries[1].kind, Kind::Open);
    EXPECT_EQ(prompt_.entries[1].text, q(server_->origin() + "/notice.html?id=7%20x"));
}

TEST_F(DownloadCheckTest, ServerPeerFieldsEdgeCases) {
    server_->setCheckField(6, "70000");
    server_->setCheckField(7, "127.0.0.9,bogus,::1");
    ASSERT_TRUE(run());
    EXPECT_EQ(result_.serverPeers, (std::vector<PeerEndpoint>{{"127.0.0.9", 4464}, {"::1", 4464}}));

    result_ = {};
    server_->setCheckField(6, "port");
    server_->setCheckField(7, "127.0.0.9");
    ASSERT_TRUE(run());
    EXPECT_EQ(result_.serverPeers, (std::vector<PeerEndpoint>{{"127.0.0.9", 0}}));

    result_ = {};
    server_->setCheckField(7, "");
    ASSERT_TRUE(run());
    EXPECT_TRUE(result_.serverPeers.empty());
    EXPECT_TRUE(prompt_.entries.empty());
}

TEST_F(DownloadCheckTest, NothingIsTrimmed) {
    server_->setCheckField(5, " " + server_->webSeedUrl());
    server_->setCheckField(10, server_->speedTestUrl() + "\r\n");
    ASSERT_TRUE(run());
    EXPECT_EQ(result_.webSeedUrl, q(" " + server_->webSeedUrl()));
    EXPECT_EQ(statistics_.speedTestUrl, q(server_->speedTestUrl() + "\r\n"));
}
