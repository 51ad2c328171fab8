#include <climits>
#include <random>

#include <gtest/gtest.h>

#include "net/CheckAnswer.h"
#include "net/TextFields.h"

namespace {

CheckVerdict classify(const char* body) {
    return ClassifyCheckAnswer(SplitFields(QString::fromUtf8(body), QStringLiteral("|")));
}

} // namespace

TEST(ClassifyCheckAnswer, VersionAndFieldCountDecide) {
    EXPECT_EQ(classify(""), CheckVerdict::TooFewFields);
    EXPECT_EQ(classify("12"), CheckVerdict::TooFewFields);
    EXPECT_EQ(classify("12|"), CheckVerdict::InvalidData);
    EXPECT_EQ(classify("12|1|2|3|4|5|6|7|8|9"), CheckVerdict::InvalidData);
    EXPECT_EQ(classify("12|1|2|3|4|5|6|7|8|9|10"), CheckVerdict::Proceed);
    EXPECT_EQ(classify("12|1|2|3|4|5|6|7|8|9|10|"), CheckVerdict::InvalidData);
    EXPECT_EQ(classify("-1|http://h/"), CheckVerdict::ServiceClosed);
    EXPECT_EQ(classify("13|http://h/"), CheckVerdict::NewVersion);
    EXPECT_EQ(classify("12\r\n|1|2|3|4|5|6|7|8|9|10"), CheckVerdict::NewVersion);
    EXPECT_EQ(classify(" 12|1|2|3|4|5|6|7|8|9|10"), CheckVerdict::NewVersion);
    EXPECT_EQ(classify("-1 |x"), CheckVerdict::NewVersion);
}

TEST(ServerPeerPort, KeepsTheLowSixteenBits) {
    EXPECT_EQ(ServerPeerPort("6881"), 6881);
    EXPECT_EQ(ServerPeerPort("70000"), 4464);
    EXPECT_EQ(ServerPeerPort("65536"), 0);
    EXPECT_EQ(ServerPeerPort("letters"), 0);
    EXPECT_EQ(ServerPeerPort("-1"), 65535);
    EXPECT_EQ(ServerPeerPort("99999999999"), 65535); // clamped to INT_MAX first
}

TEST(ServerPeerList, ParsesAddressesAndSkipsWhatIsNotOne) {
    EXPECT_TRUE(ServerPeerList("", 1).empty());
    const auto peers = ServerPeerList("10.0.0.1,::1,not-an-ip,,1.2.3,2001:DB8::7, 10.0.0.2", 6881);
    ASSERT_EQ(peers.size(), 3u);
    EXPECT_EQ(peers[0], (PeerEndpoint{"10.0.0.1", 6881}));
    EXPECT_EQ(peers[1], (PeerEndpoint{"::1", 6881}));
    EXPECT_EQ(peers[2], (PeerEndpoint{"2001:db8::7", 6881}));
    EXPECT_TRUE(ServerPeerList(QString::fromUtf16(u"10.0.0.\uFF11"), 1).empty());
}

TEST(ServerPeerRates, TwoElementsInKiBGiveBytesPerSecond) {
    std::uint32_t callIn = 1;
    std::uint32_t release = 1;
    ASSERT_TRUE(ServerPeerRates("50,100", callIn, release));
    EXPECT_EQ(callIn, 51'200u);
    EXPECT_EQ(release, 102'400u);
    EXPECT_FALSE(ServerPeerRates("50", callIn, release));
    EXPECT_FALSE(ServerPeerRates("50,100,", callIn, release));
    EXPECT_FALSE(ServerPeerRates("", callIn, release));
    ASSERT_TRUE(ServerPeerRates("x,", callIn, release));
    EXPECT_EQ(callIn, 0u);
    EXPECT_EQ(release, 0u);
    // Beyond 32 bits and below zero: clamped, never wrapped.
    ASSERT_TRUE(ServerPeerRates("4194304,-5", callIn, release));
    EXPECT_EQ(callIn, UINT32_MAX);
    EXPECT_EQ(release, 0u);
    ASSERT_TRUE(ServerPeerRates("4194303,2147483647", callIn, release));
    EXPECT_EQ(callIn, 4'294'966'272u);
    EXPECT_EQ(release, UINT32_MAX);
}

// Random answers built from the characters that matter: the parsers never crash, and the
// verdict agrees with the field count and field 0.
TEST(CheckAnswerParsing, RandomAnswersAreHandled) {
    std::mt19937 random(2024);
    const QString alphabet = QStringLiteral("|||,,12-. :a\r\n7");
    for (int round = 0; round < 5000; ++round) {
        QString text = round % 3 == 0 ? QStringLiteral("12|") : QString();
        const int length = static_cast<int>(random() % 40);
        for (int i = 0; i < length; ++i) {
            text.append(alphabet[static_cast<qsizetype>(random() % alphabet.size())]);
        }
        const QStringList fields = SplitFields(text, QStringLiteral("|"));
        const CheckVerdict verdict = ClassifyCheckAnswer(fields);
        if (fields.size() < 2) {
            ASSERT_EQ(verdict, CheckVerdict::TooFewFields);
            continue;
        }
        ASSERT_EQ(verdict == CheckVerdict::Proceed, fields[0] == u"12" && fields.size() == 11);
        for (const QString& field : fields) {
            const auto peers = ServerPeerList(field, ServerPeerPort(field));
            ASSERT_LE(peers.size(), static_cast<std::size_t>(field.count(u',') + 1));
            std::uint32_t a = 0;
            std::uint32_t b = 0;
            ASSERT_EQ(ServerPeerRates(field, a, b), field.count(u',') == 1);
        }
    }
}
