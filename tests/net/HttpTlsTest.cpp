// The HTTP client over TLS against the sample publisher serving https on loopback, with an
// authority made when the test runs and handed to the client through its own trust setting.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestAuthority.h"
#include "net/DownloadCheck.h"
#include "net/HttpGet.h"
#include "support/RecordingPrompt.h"
#include "support/SmallPublisher.h"
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

// A request under a trust, and whether it is answered.
struct TrustCase {
    const char* what;
    HttpTrust trust;
    std::string url;
    bool ok;
};
template <std::size_t N>
void ExpectAnswers(const char* tag, const TrustCase (&cases)[N]) {
    for (const auto& c : cases) {
        SetHttpTrust(c.trust);
        std::vector<char> buffer(1 << 20);
        std::uint32_t length = 0;
        const bool ok =
            HttpGet(q(c.url), buffer.data(), static_cast<std::uint32_t>(buffer.size()), &length);
        std::printf("%s: %-52s %s\n", tag, c.what, ok ? "answered" : "failed");
        EXPECT_EQ(ok, c.ok) << c.what;
    }
}
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
    const TrustCase cases[] = {
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
    ExpectAnswers("tls", cases);
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

// The pin holds for every hop that reaches the pinned host, however its name is spelled and
// wherever the request started; the key alone is the trust there.
TEST_F(HttpTls, ThePinHoldsOnEveryPathToThePinnedHost) {
    const auto nameLeaf = authority_->issue("pinned-name", {"", "localhost"});
    const auto byName = start(nameLeaf, "localhost");
    const auto stranger = authority_->issue("stranger-key", {"127.0.0.1", ""});
    const auto selfSigned = authority_->issue("self-pinned", {"127.0.0.1", "", false, true});
    const auto alone = start(selfSigned);
    const auto misnamedLeaf = authority_->issue("pinned-misnamed", {"", "other.example"});
    const auto misnamed = start(misnamedLeaf);
    const QString authority = q(authority_->certificate().string());
    const std::string port = std::to_string(byName->port());
    const std::string plainViaName = "http://localhost:" + std::to_string(plain_->port());
    plain_->clearFaults();
    byName->clearFaults();
    // Into the pinned host from a host that is not pinned, and back out of https.
    plain_->setFault("/into-pinned", Fault::redirect(secure_->checkUrl()));
    plain_->setFault("/out-again", Fault::redirect(secure_->origin() + "/back"));
    secure_->setFault("/back", Fault::redirect(plain_->checkUrl()));
    const TrustCase cases[] = {
        {"redirected into the pinned host, its key",
         {authority, "127.0.0.1", good_->pin.c_str()},
         plainViaName + "/into-pinned",
         true},
        {"redirected into the pinned host, another key",
         {authority, "127.0.0.1", stranger.pin.c_str()},
         plainViaName + "/into-pinned",
         false},
        {"http -> https -> http", {authority, {}, {}}, plain_->origin() + "/out-again", false},
        {"pinned name in capitals, another key",
         {authority, "localhost", stranger.pin.c_str()},
         "https://LOCALHOST:" + port + "/common/downloader/checkfiledownload.asp?JH=EMW_FULL",
         false},
        {"pinned name in capitals over plain http",
         {authority, "localhost", good_->pin.c_str()},
         "http://LocalHost:" + std::to_string(plain_->port()) + "/",
         false},
        {"pinned key of a certificate no authority signed",
         {{}, "127.0.0.1", selfSigned.pin.c_str()},
         alone->checkUrl(),
         true},
        {"pinned key of a certificate for another name",
         {authority, "127.0.0.1", misnamedLeaf.pin.c_str()},
         misnamed->checkUrl(),
         false},
    };
    ExpectAnswers("pin", cases);
    plain_->clearFaults();
}

// The root's trailing dot names the same host; no look-up here knows "localhost.".
TEST(PinnedHost, NamesCompareAsUrlsCompareThem) {
    EXPECT_EQ(ComparableHost(QUrl(QStringLiteral("https://Files.Example.COM./x"))),
              ComparableHost(QUrl(QStringLiteral("https://files.example.com"))));
    EXPECT_EQ(ComparableHost(QUrl(QStringLiteral("https://0x7f.0.0.1/"))),
              ComparableHost(QUrl(QStringLiteral("https://127.0.0.1/"))));
    EXPECT_NE(ComparableHost(QUrl(QStringLiteral("https://files.example.com.evil/"))),
              ComparableHost(QUrl(QStringLiteral("https://files.example.com"))));
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

// In an https build only https addresses of the answer are fetched or opened; the web seed,
// whose pieces are checked against the torrent, may stay http.
TEST_F(HttpTls, AnHttpsBuildTakesNoPlainHttpAddressFromTheAnswer) {
    plain_->clearFaults();
    const std::string plainPage = plain_->origin() + "/page";
    const struct {
        const char* what;
        int field;
        std::string text;
        bool proceeds;
        std::vector<QString> messages;
        std::vector<QString> opened;
    } cases[] = {
        {"https torrent (the control)", 4, secure_->torrentUrl(), true, {}, {}},
        {"http torrent",
         4,
         plain_->torrentUrl(),
         false,
         {QStringLiteral("Cannot connect to server. Please check your network. (3)")},
         {}},
        {"http notice page", 3, plainPage, true, {}, {}},
        {"https notice page",
         3,
         secure_->origin() + "/page",
         true,
         {},
         {q(secure_->origin() + "/page")}},
        {"http statistics page", 9, plain_->statisticsUrl(), true, {}, {}},
        {"http speed test", 10, plain_->speedTestUrl(), true, {}, {}},
        {"http web seed", 5, plain_->webSeedUrl(), true, {}, {}},
    };
    const std::size_t plainTorrentFetches = plain_->requestCount("/files/installer.torrent");
    auto torrent = std::make_unique<char[]>(kTorrentBufferSize);
    const QStringList original = q(secure_->checkAnswer()).split(u'|');
    for (const auto& c : cases) {
        secure_->setCheckField(c.field, c.text);
        RecordingPrompt prompt;
        DownloadCheckResult result;
        StatisticsRecord statistics;
        EXPECT_EQ(RunDownloadCheck(nullptr, prompt, q(secure_->origin()), result, statistics,
                                   torrent.get()),
                  c.proceeds)
            << c.what;
        EXPECT_EQ(prompt.texts(RecordingPrompt::Kind::Message), c.messages) << c.what;
        EXPECT_EQ(prompt.texts(RecordingPrompt::Kind::Open), c.opened) << c.what;
        if (c.field == 9) {
            EXPECT_TRUE(statistics.baseUrl.isEmpty()) << c.what;
        }
        if (c.field == 10) {
            EXPECT_TRUE(statistics.speedTestUrl.isEmpty()) << c.what;
        }
        if (c.field == 5) {
            EXPECT_EQ(result.webSeedUrl, q(c.text)) << c.what;
        }
        std::printf("https answer: %-28s %s\n", c.what, c.proceeds ? "went on" : "refused");
        secure_->setCheckField(c.field, original[c.field].toStdString());
    }
    EXPECT_EQ(plain_->requestCount("/files/installer.torrent"), plainTorrentFetches);

    // Turned away: an http page is not opened, an https one is.
    for (const auto& [page, opened] :
         {std::pair{plainPage, false}, std::pair{secure_->origin() + "/update", true}}) {
        secure_->setCheckBody("13|" + page);
        RecordingPrompt prompt;
        prompt.answers = {Prompt::Answer::Yes};
        DownloadCheckResult result;
        StatisticsRecord statistics;
        EXPECT_FALSE(RunDownloadCheck(nullptr, prompt, q(secure_->origin()), result, statistics,
                                      torrent.get()));
        EXPECT_EQ(prompt.texts(RecordingPrompt::Kind::Open).size(), opened ? 1u : 0u) << page;
    }
    secure_->setCheckBody(std::nullopt);
}
