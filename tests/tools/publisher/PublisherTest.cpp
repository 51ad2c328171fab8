#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <httplib.h>
#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/settings_pack.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>

#include "Publisher.h"
#include "ReportAttempts.h"
#include "WebSeedServer.h"
#include "support/TempFolder.h"
#include "support/WaitFor.h"

namespace fs = std::filesystem;
using publisher::Fault;
using publisher::Publisher;

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PublisherTest : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = folder_.path();
        publisher::PublisherOptions options;
        options.workFolder = work_ / "data";
        options.generatedBytes = 2 * 1024 * 1024 + 5;
        options.pieceSize = 64 * 1024;
        options.statisticsLog = work_ / "statistics.jsonl";
        options.serverPeerPort = 6881;
        options.serverPeerAddresses = {"127.0.0.2", "127.0.0.3"};
        options.callInKiB = 50;
        options.releaseKiB = 100;
        options.checkFields[2] = "Welcome";
        options.speedTestBytes = 123'456;
        server_ = std::make_unique<Publisher>(options);
        server_->start();
        client_ = std::make_unique<httplib::Client>("127.0.0.1", server_->port());
        seed_ = std::make_unique<httplib::Client>("127.0.0.1", server_->webSeedPort());
    }
    void TearDown() override {
        client_.reset();
        seed_.reset();
        server_.reset();
    }

    TempFolder folder_;
    fs::path work_;
    std::unique_ptr<Publisher> server_;
    std::unique_ptr<httplib::Client> client_;
    std::unique_ptr<httplib::Client> seed_;
};

} // namespace

TEST_F(PublisherTest, CheckAnswerPointsBackAtItselfWithOverrides) {
    const std::string o = server_->origin();
    const std::string expected = "12|" + o + "/update.html|Welcome||" + o +
                                 "/files/installer.torrent|" + server_->webSeedUrl() +
                                 "|6881|127.0.0.2,127.0.0.3|"
                                 "50,100|" +
                                 o + "/statistics/report.asp|" + o + "/speedtest.bin";
    auto res = client_->Get("/common/downloader/checkfiledownload.asp?JH=EMW_FULL");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, expected);
    EXPECT_EQ(server_->checkUrl(), o + "/common/downloader/checkfiledownload.asp?JH=EMW_FULL");

    server_->setCheckField(0, "13");
    res = client_->Get("/common/downloader/checkfiledownload.asp?JH=EMW_FULL");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body.substr(0, 3), "13|");
    server_->setCheckBody("12");
    EXPECT_EQ(client_->Get("/common/downloader/checkfiledownload.asp")->body, "12");
}

TEST_F(PublisherTest, WebSeedServesFileRangesAndNothingOutsideTheData) {
    const fs::path big = server_->contentRoot() / "Data/Game.pak";
    const std::string content = readFile(big);
    ASSERT_GT(content.size(), 200'000u);

    auto res =
        seed_->Get("/seed/Emberway%20Installer/Data/Game.pak", {{"Range", "bytes=100000-199999"}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 206);
    EXPECT_EQ(res->body, content.substr(100'000, 100'000));
    EXPECT_EQ(res->get_header_value("Content-Range"),
              "bytes 100000-199999/" + std::to_string(content.size()));

    res = seed_->Get("/seed/Emberway%20Installer/Data/Game.pak");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, content);

    std::ofstream(work_ / "data" / "secret.txt") << "secret";
    for (const char* path :
         {"/seed/Emberway%20Installer/../secret.txt", "/seed/secret.txt", "/seed/..%2Fsecret.txt",
          "/seed/Emberway%20Installer/Data", "/seed/Emberway%20Installer/Nope.bin"}) {
        res = seed_->Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 404) << path;
        EXPECT_EQ(res->body.find("secret"), std::string::npos) << path;
    }
}

TEST_F(PublisherTest, StatisticsAreLoggedAsJsonLinesAndRequestsRecorded) {
    auto res = client_->Get("/statistics/report.asp?stType=2&InternalIP=C0A8010A&PeerCnt=3&"
                            "DownRate=-1&UpRate=7&Odd=%22q%22%5Cx");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, "OK");
    const auto lines = server_->statisticsLines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string tail = ",\"stType\":\"2\",\"InternalIP\":\"C0A8010A\",\"PeerCnt\":\"3\","
                             "\"DownRate\":\"-1\",\"UpRate\":\"7\",\"Odd\":\"\\\"q\\\"\\\\x\"}";
    EXPECT_EQ(lines[0].substr(0, 9), "{\"time\":\"");
    EXPECT_NE(lines[0].find("\",\"attempt\":1,\"stType\""), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].substr(lines[0].size() - tail.size()), tail);
    EXPECT_EQ(readFile(work_ / "statistics.jsonl"), lines[0] + "\n");

    httplib::Client agent("127.0.0.1", server_->port());
    agent.set_default_headers({{"User-Agent", "VrtTorrentCGI"}});
    ASSERT_TRUE(agent.Get("/update.html?from=test"));
    const auto requests = server_->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].path, "/update.html");
    EXPECT_EQ(requests[1].query, "from=test");
    EXPECT_EQ(requests[1].userAgent, "VrtTorrentCGI");
}

TEST(ReportAttempts, SameReportSoonAfterIsItsNextAttempt) {
    using namespace std::chrono_literals;
    publisher::ReportAttempts attempts;
    const publisher::ReportAttempts::Time t0{};
    EXPECT_EQ(attempts.arrived("stType=2&PeerCnt=0", t0), 1);
    EXPECT_EQ(attempts.arrived("stType=1&EndTime=x", t0 + 1s), 1);
    EXPECT_EQ(attempts.arrived("stType=2&PeerCnt=0", t0 + 2s), 2);
    EXPECT_EQ(attempts.arrived("stType=2&PeerCnt=0", t0 + 122s), 3);       // 120 s after the last
    EXPECT_EQ(attempts.arrived("stType=2&PeerCnt=0", t0 + 242s + 1ms), 1); // five minutes later
}

TEST_F(PublisherTest, SpeedTestAndFaultsByPath) {
    auto res = client_->Get("/speedtest.bin");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body.size(), 123'456u);

    server_->setFault("/speedtest.bin", Fault::notFound());
    server_->setFault("/seed/*", Fault::serverError());
    res = client_->Get("/speedtest.bin");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
    EXPECT_NE(res->body.find("<html>"), std::string::npos);
    res = seed_->Get("/seed/Emberway%20Installer/Setup.exe");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 500);

    server_->setFault("/speedtest.bin", Fault::cutOff(100'000));
    EXPECT_FALSE(client_->Get("/speedtest.bin")); // the connection drops mid-body

    server_->clearFaults();
    res = client_->Get("/speedtest.bin");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body.size(), 123'456u);
}

TEST_F(PublisherTest, StoppingReleasesAStalledAnswer) {
    server_->setFault("/common/downloader/checkfiledownload.asp",
                      Fault::stall(std::chrono::hours(1)));
    std::thread caller([this] { client_->Get("/common/downloader/checkfiledownload.asp"); });
    ASSERT_TRUE(waitFor([this] { return !server_->requests().empty(); }, std::chrono::seconds(10)));
    server_->stop(); // would hang for an hour if the stall held the handler
    caller.join();
    SUCCEED();
}

// A real libtorrent session fetches the whole torrent from the web seed alone (no peers, no
// tracker), which proves the torrent, the file layout and the Range answers fit together.
TEST_F(PublisherTest, LibtorrentDownloadsEverythingFromTheWebSeed) {
    lt::settings_pack pack;
    pack.set_str(lt::settings_pack::listen_interfaces, "127.0.0.1:0");
    pack.set_bool(lt::settings_pack::enable_dht, false);
    pack.set_bool(lt::settings_pack::enable_lsd, false);
    pack.set_bool(lt::settings_pack::enable_upnp, false);
    pack.set_bool(lt::settings_pack::enable_natpmp, false);
    lt::session session(pack);

    const auto& bytes = server_->torrent();
    lt::add_torrent_params params;
    params.ti = std::make_shared<lt::torrent_info>(
        lt::span<const char>(bytes.data(), static_cast<long>(bytes.size())), lt::from_span);
    params.save_path = (work_ / "download").string();
    params.url_seeds = {server_->webSeedUrl()};
    lt::torrent_handle handle = session.add_torrent(params);

    const bool done = waitFor([&] { return handle.status().is_seeding; }, std::chrono::seconds(60));
    ASSERT_TRUE(done) << "progress " << handle.status().progress;
    // Seeding can be reported while the last pieces are still being written out.
    const auto sameAsServed = [&] {
        for (const auto& entry : fs::recursive_directory_iterator(server_->contentRoot())) {
            const auto relative =
                entry.path().lexically_relative(server_->contentRoot().parent_path());
            if (entry.is_regular_file() &&
                readFile(work_ / "download" / relative) != readFile(entry.path())) {
                return false;
            }
        }
        return true;
    };
    EXPECT_TRUE(waitFor(sameAsServed, std::chrono::seconds(30)));
    EXPECT_GT(server_->requestCount("/seed/Emberway Installer/Data/Game.pak"), 0u);
}

TEST(ParseByteRange, SingleRangesWithinTheFile) {
    using publisher::ParseByteRange;
    auto r = ParseByteRange("bytes=0-99", 1000);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->first, 0u);
    EXPECT_EQ(r->last, 99u);
    r = ParseByteRange("bytes=900-5000", 1000); // clipped to the end
    ASSERT_TRUE(r);
    EXPECT_EQ(r->last, 999u);
    r = ParseByteRange("bytes=990-", 1000);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->first, 990u);
    EXPECT_EQ(r->last, 999u);
    r = ParseByteRange("bytes=-10", 1000); // the last ten
    ASSERT_TRUE(r);
    EXPECT_EQ(r->first, 990u);
    r = ParseByteRange("bytes=-5000", 1000);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->first, 0u);
    for (const char* bad : {"bytes=1000-", "bytes=5-4", "bytes=-0", "bytes=a-1", "items=0-1",
                            "bytes=0-1,5-6", "bytes=", "bytes=99999999999999999999-"}) {
        EXPECT_FALSE(ParseByteRange(bad, 1000)) << bad;
    }
    EXPECT_FALSE(ParseByteRange("bytes=0-0", 0));
}

// BitTorrent clients write several range requests before reading any answer; each must be
// answered, in order, on the same connection.
TEST_F(PublisherTest, WebSeedAnswersPipelinedRequestsInOrder) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(server_->webSeedPort()));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    std::string requests;
    for (const char* range : {"0-9", "10-29", "5-5"}) {
        requests += std::string("GET /seed/Emberway%20Installer/Setup.exe HTTP/1.1\r\nHost: x\r\n"
                                "Range: bytes=") +
                    range + "\r\n\r\n";
    }
    requests += "GET /seed/Emberway%20Installer/Setup.exe HTTP/1.1\r\nHost: x\r\n"
                "Range: bytes=0-3\r\nConnection: close\r\n\r\n";
    ASSERT_EQ(::send(fd, requests.data(), requests.size(), 0),
              static_cast<ssize_t>(requests.size()));
    std::string answer;
    char chunk[4096];
    ssize_t n;
    while ((n = ::recv(fd, chunk, sizeof chunk, 0)) > 0) { // ends when the server closes
        answer.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);

    const std::string file = readFile(server_->contentRoot() / "Setup.exe");
    std::vector<std::string> bodies;
    std::size_t at = 0;
    while ((at = answer.find("\r\n\r\n", at)) != std::string::npos) {
        const auto lengthAt = answer.rfind("Content-Length: ", at);
        const std::size_t length = std::stoul(answer.substr(lengthAt + 16));
        bodies.push_back(answer.substr(at + 4, length));
        at += 4 + length;
    }
    EXPECT_EQ(bodies, (std::vector<std::string>{file.substr(0, 10), file.substr(10, 20),
                                                file.substr(5, 1), file.substr(0, 4)}));
}
