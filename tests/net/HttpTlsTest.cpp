// The HTTP client over TLS against the sample publisher serving https on loopback, with an
// authority made when the test runs and handed to the client through its own trust setting.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "NetTestSupport.h"
#include "TestAuthority.h"
#include "net/DownloadCheck.h"
#include "net/HttpGet.h"
#include "support/RecordingPrompt.h"
#include "support/TempFolder.h"

using publisher::Fault;

namespace {

class TlsEnvironment : public ::testing::Environment {
public:
    void SetUp() override { InitHttpClient(); }
    void TearDown() override { SetHttpTrust(BuiltInHttpTrust()); }
};
const auto* const kTls = ::testing::AddGlobalTestEnvironment(new TlsEnvironment);

class HttpTls : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new TempFolder;
        authority_ = new TestAuthority(folder_->path() / "pki");
        good_ = new TestAuthority::Leaf(authority_->issue("good", {"127.0.0.1", "localhost"}));
        plain_ = startSmallPublisher().release();
        secure_ = start(*good_).release();
    }
    static void TearDownTestSuite() {
        delete secure_;
        delete plain_;
        delete good_;
        delete authority_;
        delete folder_;
    }
    void SetUp() override {
        secure_->clearFaults();
        SetHttpTrust({q(authority_->certificate().string()), {}, {}});
    }
    static std::unique_ptr<publisher::Publisher> start(const TestAuthority::Leaf& leaf,
                                                       const std::string& urlHost = {}) {
        publisher::PublisherOptions options;
        options.generatedBytes = 100'000;
        options.pieceSize = 16 * 1024;
        options.tlsCertificate = leaf.certificate;
        options.tlsKey = leaf.key;
        options.urlHost = urlHost;
        auto server = std::make_unique<publisher::Publisher>(options);
        server->start();
        return server;
    }
    static bool get(const std::string& url) {
        std::vector<char> buffer(1 << 20);
        std::uint32_t length = 0;
        return HttpGet(q(url), buffer.data(), static_cast<std::uint32_t>(buffer.size()), &length);
    }

    static TempFolder* folder_;
    static TestAuthority* authority_;
    static TestAuthority::Leaf* good_;
    static publisher::Publisher* plain_;
    static publisher::Publisher* secure_;
};
TempFolder* HttpTls::folder_ = nullptr;
TestAuthority* HttpTls::authority_ = nullptr;
TestAuthority::Leaf* HttpTls::good_ = nullptr;
publisher::Publisher* HttpTls::plain_ = nullptr;
publisher::Publisher* HttpTls::secure_ = nullptr;

} // namespace

// Each server certificate against the client's verification, as curl verifies by default.
TEST_F(HttpTls, CertificatesAreVerifiedForAuthorityNameAndDates) {
    const auto selfSigned = start(authority_->issue("self", {"127.0.0.1", "", false, true}));
    const auto otherName = start(authority_->issue("other-name", {"", "other.example"}));
    const auto expired = start(authority_->issue("expired", {"127.0.0.1", "", true}));
    const auto byName = start(authority_->issue("by-name", {"", "localhost"}), "localhost");
    const struct {
        const char* what;
        std::string url;
        bool ok;
    } cases[] = {
        {"trusted authority, address in the certificate", secure_->checkUrl(), true},
        {"trusted authority, host name in the certificate", byName->checkUrl(), true},
        {"untrusted (self-signed)", selfSigned->checkUrl(), false},
        {"wrong host name", otherName->checkUrl(), false},
        {"expired", expired->checkUrl(), false},
    };
    for (const auto& c : cases) {
        const bool ok = get(c.url);
        std::printf("tls: %-48s %s\n", c.what, ok ? "answered" : "failed");
        EXPECT_EQ(ok, c.ok) << c.what;
    }
    // Without the test's authority, the system's alone do not know it.
    SetHttpTrust({});
    EXPECT_FALSE(get(secure_->checkUrl()));
}

// The file server's key pin: only its own key is taken, and never over plain http.
TEST_F(HttpTls, APinnedHostMustShowItsKeyOverHttps) {
    const auto other = authority_->issue("other-key", {"127.0.0.1", ""});
    const QString authority = q(authority_->certificate().string());
    const struct {
        const char* what;
        HttpTrust trust;
        std::string url;
        bool ok;
    } cases[] = {
        {"pin matching", {authority, "127.0.0.1", good_->pin.c_str()}, secure_->checkUrl(), true},
        {"one of two pins matching",
         {authority, "127.0.0.1", (other.pin + ";" + good_->pin).c_str()},
         secure_->checkUrl(),
         true},
        {"pin not matching",
         {authority, "127.0.0.1", other.pin.c_str()},
         secure_->checkUrl(),
         false},
        {"pinned host over plain http",
         {authority, "127.0.0.1", good_->pin.c_str()},
         plain_->checkUrl(),
         false},
        {"pin for another host",
         {authority, "10.9.9.9", other.pin.c_str()},
         secure_->checkUrl(),
         true},
    };
    for (const auto& c : cases) {
        SetHttpTrust(c.trust);
        const bool ok = get(c.url);
        std::printf("tls: %-48s %s\n", c.what, ok ? "answered" : "failed");
        EXPECT_EQ(ok, c.ok) << c.what;
    }
}

// What came over TLS never continues in the clear; the other way is fine.
TEST_F(HttpTls, RedirectsNeverGoFromHttpsToHttp) {
    plain_->clearFaults();
    const struct {
        const char* what;
        publisher::Publisher* from;
        std::string to;
        bool ok;
    } cases[] = {
        {"https -> http", secure_, plain_->checkUrl(), false},
        {"https -> https", secure_, secure_->torrentUrl(), true},
        {"http -> https", plain_, secure_->torrentUrl(), true},
    };
    for (const auto& c : cases) {
        c.from->setFault("/moved", Fault::redirect(c.to));
        const bool ok = get(c.from->origin() + "/moved");
        std::printf("tls: %-48s %s\n", c.what, ok ? "answered" : "failed");
        EXPECT_EQ(ok, c.ok) << c.what;
    }
    plain_->clearFaults();
}

// The download check over https: a server it cannot trust is a network failure, (1).
TEST_F(HttpTls, TheCheckOverHttpsAnswersOrFailsWithTheFirstNumber) {
    auto torrent = std::make_unique<char[]>(kTorrentBufferSize);
    {
        RecordingPrompt prompt;
        DownloadCheckResult result;
        StatisticsRecord statistics;
        EXPECT_TRUE(RunDownloadCheck(nullptr, prompt, q(secure_->origin()), result, statistics,
                                     torrent.get()));
        EXPECT_GT(result.torrentLength, 0u);
        EXPECT_TRUE(prompt.texts(RecordingPrompt::Kind::Message).empty());
    }
    SetHttpTrust({q(authority_->certificate().string()), "127.0.0.1",
                  authority_->issue("stranger", {"127.0.0.1", ""}).pin.c_str()});
    RecordingPrompt prompt;
    DownloadCheckResult result;
    StatisticsRecord statistics;
    EXPECT_FALSE(
        RunDownloadCheck(nullptr, prompt, q(secure_->origin()), result, statistics, torrent.get()));
    EXPECT_EQ(prompt.texts(RecordingPrompt::Kind::Message),
              std::vector<QString>{
                  QStringLiteral("Cannot connect to server. Please check your network. (1)")});
}
