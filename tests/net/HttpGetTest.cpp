#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "net/HttpGet.h"
#include "net/ReportThread.h"
#include "support/SmallPublisher.h"
#include "support/TempFolder.h"

using publisher::Fault;

namespace {

class CurlEnvironment : public ::testing::Environment {
public:
    void SetUp() override { InitHttpClient(); }
};
const auto* const kCurl = ::testing::AddGlobalTestEnvironment(new CurlEnvironment);

constexpr std::uint32_t kUntouched = 0xDEADBEEF;

class HttpGetTest : public SmallPublisherSuite {
protected:
    QString url(const std::string& path) const { return q(server_->origin() + path); }
};

Fault sized(std::uint64_t bytes) {
    return Fault::sized(bytes);
}
} // namespace

TEST_F(HttpGetTest, BodyMustLeaveRoomForTheZeroByte) {
    // Small capacities arrive in one piece, the large ones in many: both paths are checked.
    for (const std::uint32_t capacity : {2u, 1024u, 1'048'576u}) {
        SCOPED_TRACE(capacity);
        std::vector<char> buffer(capacity + 1, '#');

        server_->setFault("/fits", sized(capacity - 1));
        std::uint32_t length = kUntouched;
        ASSERT_TRUE(HttpGet(url("/fits"), buffer.data(), capacity, &length));
        EXPECT_EQ(length, capacity - 1);
        EXPECT_EQ(buffer[capacity - 1], '\0');
        EXPECT_EQ(buffer[capacity], '#'); // nothing written past the capacity
        EXPECT_EQ(buffer[0], 'a');

        for (const std::uint64_t body : {std::uint64_t{capacity}, std::uint64_t{capacity} + 1}) {
            server_->setFault("/full", sized(body));
            length = kUntouched;
            std::fill(buffer.begin(), buffer.end(), '#');
            EXPECT_FALSE(HttpGet(url("/full"), buffer.data(), capacity, &length));
            EXPECT_EQ(length, kUntouched);
            EXPECT_EQ(buffer[capacity], '#');
        }
    }
}

TEST_F(HttpGetTest, EmptyBodyFailsWithLengthZero) {
    server_->setFault("/empty", Fault::empty());
    char buffer[16];
    std::uint32_t length = kUntouched;
    EXPECT_FALSE(HttpGet(url("/empty"), buffer, sizeof buffer, &length));
    EXPECT_EQ(length, 0u);
}

TEST_F(HttpGetTest, BodyThatBreaksOffFails) {
    server_->setFault("/cut", Fault::cutOff(200'000));
    std::vector<char> buffer(1'048'576);
    std::uint32_t length = kUntouched;
    EXPECT_FALSE(HttpGet(url("/cut"), buffer.data(), 1'048'576, &length));
    EXPECT_EQ(length, kUntouched);
}

TEST_F(HttpGetTest, ErrorPagesAreBodiesLikeAnyOther) {
    server_->setFault("/missing", Fault::notFound());
    server_->setFault("/broken", Fault::serverError());
    char buffer[4096];
    std::uint32_t length = 0;
    ASSERT_TRUE(HttpGet(url("/missing"), buffer, sizeof buffer, &length));
    EXPECT_NE(std::strstr(buffer, "404 Not Found"), nullptr);
    EXPECT_EQ(length, std::strlen(buffer));
    ASSERT_TRUE(HttpGet(url("/broken"), buffer, sizeof buffer, &length));
    EXPECT_NE(std::strstr(buffer, "500 Internal Server Error"), nullptr);
}

TEST_F(HttpGetTest, ServerThatNeverAnswersIsGivenUp) {
    // The server would answer after 20 s; the client's stall limit is 300 ms.
    // Without the limit the call would wait and then succeed, so failing is the proof.
    server_->setFault("/stall", Fault::stall(std::chrono::seconds(20)));
    char buffer[64];
    std::uint32_t length = kUntouched;
    HttpGetTimeouts quick;
    quick.stallTimeout = std::chrono::milliseconds(300);
    EXPECT_FALSE(HttpGet(url("/stall"), buffer, sizeof buffer, &length, quick));
    EXPECT_EQ(length, kUntouched);
}

// A listener whose accept queue is full drops further connection attempts, so a connect hangs
// the way it does towards a host that does not answer.
TEST(HttpGetConnect, ConnectionThatCannotBeMadeIsGivenUp) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t len = sizeof addr;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        fillers.push_back(fd);
    }

    // The precondition: a further attempt neither completes nor is refused.
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ::connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    pollfd pending{probe, POLLOUT, 0};
    ASSERT_EQ(::poll(&pending, 1, 200), 0);
    ::close(probe);

    HttpGetTimeouts quick;
    quick.connectTimeout = std::chrono::milliseconds(300);
    quick.stallTimeout = std::chrono::hours(1); // only the connect limit can end this early
    const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(ntohs(addr.sin_port));
    auto outcome = std::async(std::launch::async, [&] {
        char buffer[16];
        std::uint32_t length = kUntouched;
        const bool ok = HttpGet(url, buffer, sizeof buffer, &length, quick);
        return !ok && length == kUntouched;
    });
    // The kernel alone would give up only after about two minutes of SYN retries.
    ASSERT_TRUE(waitFor(
        [&] { return outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        std::chrono::seconds(20)));
    EXPECT_TRUE(outcome.get());
    for (int fd : fillers) {
        ::close(fd);
    }
    ::close(listener);
}

TEST_F(HttpGetTest, SlowButMovingTransferIsNotCut) {
    // Ten pieces 150 ms apart: 1.35 s in all, each gap well under the 600 ms stall limit.
    server_->setFault("/slow", Fault::trickle(1000, std::chrono::milliseconds(150)));
    char buffer[2048];
    std::uint32_t length = 0;
    HttpGetTimeouts quick;
    quick.stallTimeout = std::chrono::milliseconds(600);
    quick.floorBytes = 1;
    ASSERT_TRUE(HttpGet(url("/slow"), buffer, sizeof buffer, &length, quick));
    EXPECT_EQ(length, 1000u);
}

TEST_F(HttpGetTest, TrickleBelowTheSpeedFloorIsCut) {
    // 1,000 bytes in ten pieces 150 ms apart: moving, but under 300 bytes a second. Every gap is
    // far inside the 1 s window, so only the floor can end it early.
    server_->setFault("/trickle", Fault::trickle(1000, std::chrono::milliseconds(150)));
    char buffer[2048];
    std::uint32_t length = kUntouched;
    HttpGetTimeouts floor;
    floor.stallTimeout = std::chrono::seconds(1);
    floor.floorBytes = 1000;
    EXPECT_FALSE(HttpGet(url("/trickle"), buffer, sizeof buffer, &length, floor));
    EXPECT_EQ(length, kUntouched);
}

TEST_F(HttpGetTest, TheCeilingEndsAMovingTransferAndAMeasurementKeepsWhatArrived) {
    // 100,000 bytes in ten pieces 400 ms apart (3.6 s), well above any floor; the ceiling is
    // 1 s, so the body is cut after its first few pieces.
    server_->setFault("/long", Fault::trickle(100'000, std::chrono::milliseconds(400)));
    std::vector<char> buffer(200'000);
    std::uint32_t length = kUntouched;
    HttpGetTimeouts ceiling;
    ceiling.floorBytes = 1;
    ceiling.ceiling = std::chrono::seconds(1);
    EXPECT_FALSE(HttpGet(url("/long"), buffer.data(), 200'000, &length, ceiling));
    EXPECT_EQ(length, kUntouched);

    ASSERT_TRUE(HttpGetUntilCeiling(url("/long"), buffer.data(), 200'000, &length, ceiling));
    EXPECT_GT(length, 0u);
    EXPECT_LT(length, 100'000u);
    EXPECT_EQ(buffer[length], '\0');

    // A body that ends before the ceiling is whole; one that breaks off still fails.
    server_->setFault("/short", sized(5000));
    ASSERT_TRUE(HttpGetUntilCeiling(url("/short"), buffer.data(), 200'000, &length, ceiling));
    EXPECT_EQ(length, 5000u);
    server_->setFault("/cut", Fault::cutOff(100'000));
    EXPECT_FALSE(HttpGetUntilCeiling(url("/cut"), buffer.data(), 200'000, &length, ceiling));
}

TEST_F(HttpGetTest, RedirectsAreFollowedButNotForeverNorOffTheWeb) {
    server_->setFault("/moved", Fault::redirect("/target"));
    server_->setFault("/target", sized(10));
    char buffer[64];
    std::uint32_t length = 0;
    ASSERT_TRUE(HttpGet(url("/moved"), buffer, sizeof buffer, &length));
    EXPECT_EQ(length, 10u);
    EXPECT_EQ(server_->requestCount("/target"), 1u);

    server_->setFault("/loop", Fault::redirect("/loop"));
    EXPECT_FALSE(HttpGet(url("/loop"), buffer, sizeof buffer, &length));
    EXPECT_LE(server_->requestCount("/loop"), 10u);

    server_->setFault("/local", Fault::redirect("file:///etc/hostname"));
    EXPECT_FALSE(HttpGet(url("/local"), buffer, sizeof buffer, &length));
    EXPECT_FALSE(HttpGet(QStringLiteral("file:///etc/hostname"), buffer, sizeof buffer, &length));
}

TEST_F(HttpGetTest, RequestCarriesTheAgentAndArrivesAsComposed) {
    const std::string composed = "stType=1&InternalIP=C0A8010A&StartTime=2009 1 5 9 3 7&"
                                 "CompleteTime=&EndTime=20091231235959&UploadAmount=12";
    char buffer[64];
    std::uint32_t length = 0;
    ASSERT_TRUE(
        HttpGet(q(server_->statisticsUrl() + "?" + composed), buffer, sizeof buffer, &length));
    EXPECT_STREQ(buffer, "OK");
    const auto requests = server_->requests();
    ASSERT_FALSE(requests.empty());
    const auto& last = requests.back();
    EXPECT_EQ(last.userAgent, "VrtTorrentCGI");
    EXPECT_EQ(last.path, publisher::Publisher::kStatisticsPath);
    EXPECT_EQ(publisher::DecodePercent(last.query), composed);
    const auto lines = server_->statisticsLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("\"StartTime\":\"2009 1 5 9 3 7\",\"CompleteTime\":\"\""),
              std::string::npos)
        << lines.back();
}

TEST_F(HttpGetTest, ProxyFromTheEnvironmentIsIgnored) {
    // A proxy that refuses every connection: the request must not go there.
    setenv("http_proxy", "http://127.0.0.1:1", 1);
    setenv("ALL_PROXY", "http://127.0.0.1:1", 1);
    server_->setFault("/direct", sized(5));
    char buffer[16];
    std::uint32_t length = 0;
    const bool ok = HttpGet(url("/direct"), buffer, sizeof buffer, &length);
    unsetenv("http_proxy");
    unsetenv("ALL_PROXY");
    EXPECT_TRUE(ok);
}

TEST_F(HttpGetTest, RefusedConnectionAndBadArgumentsFail) {
    char buffer[16];
    std::uint32_t length = kUntouched;
    EXPECT_FALSE(HttpGet(QStringLiteral("http://127.0.0.1:1/"), buffer, sizeof buffer, &length));
    EXPECT_FALSE(HttpGet(QString(), buffer, sizeof buffer, &length));
    EXPECT_FALSE(HttpGet(url("/x"), nullptr, 16, &length));
    EXPECT_FALSE(HttpGet(url("/x"), buffer, 0, &length));
    EXPECT_EQ(length, kUntouched);
}

TEST_F(HttpGetTest, ReportIsSentTwiceOnlyWhenTheFirstAnswerIsEmpty) {
    server_->setFault("/report-empty", Fault::empty());
    ReportThreadProc(url("/report-empty"));
    EXPECT_EQ(server_->requestCount("/report-empty"), 2u);

    server_->setFault("/report-ok", sized(3));
    ReportThreadProc(url("/report-ok"));
    EXPECT_EQ(server_->requestCount("/report-ok"), 1u);

    server_->setFault("/report-cut", Fault::cutOff(1000));
    ReportThreadProc(url("/report-cut"));
    EXPECT_EQ(server_->requestCount("/report-cut"), 1u);
}

TEST(EncodeUrlForWire, EncodesOnlyWhatCannotStandInAUrl) {
    EXPECT_EQ(EncodeUrlForWire(QStringLiteral("http://h:1/p?a=1&b=x y\t\"<>\\^`{|}%41")),
              QByteArray("http://h:1/p?a=1&b=x%20y%09%22%3C%3E%5C%5E%60%7B%7C%7D%41"));
    EXPECT_EQ(EncodeUrlForWire(QString::fromUtf8("http://h/\xED\x95\x9C")),
              QByteArray("http://h/%ED%95%9C"));
}

// A request given up while its host name is being looked up returns without waiting for the
// resolver. The look-up goes to a name server that never answers, in a network and mount
// namespace of the test's own; the resolver would wait 30 s for it.
TEST(HttpGetResolve, ACancelDuringTheLookUpDoesNotWaitForTheResolver) {
    if (unshare(CLONE_NEWNS | CLONE_NEWNET) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        std::system("ip link set lo up") != 0) {
        GTEST_SKIP() << "needs network and mount namespaces of its own";
    }
    TempFolder temp;
    const auto conf = temp.path() / "resolv.conf";
    std::ofstream(conf) << "nameserver 127.0.0.1\noptions timeout:30 attempts:1\n";
    ASSERT_EQ(mount(conf.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr), 0);
    const int silent = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(53);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

    std::atomic<bool> cancel{false};
    auto outcome = std::async(std::launch::async, [&] {
        char buffer[16];
        return HttpGetReport(QStringLiteral("http://kestrel-silent.example/"), buffer,
                             sizeof buffer, {}, &cancel);
    });
    // The look-up is under way once its question reaches the silent server.
    pollfd question{silent, POLLIN, 0};
    ASSERT_EQ(::poll(&question, 1, 10'000), 1);
    cancel = true;
    // Only a bound on a failure: waiting for the resolver would take 30 s.
    EXPECT_TRUE(waitFor(
        [&] { return outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        std::chrono::seconds(15)));
    EXPECT_FALSE(outcome.get());
    umount2("/etc/resolv.conf", MNT_DETACH);
    ::close(silent);
}
