#include <climits>
#include <random>

#include <gtest/gtest.h>

#include "net/AnsiText.h"
#include "net/TextFields.h"

namespace {

QStringList split(const char* text, const char* separator = "|") {
    return SplitFields(QString::fromUtf8(text), QString::fromUtf8(separator));
}

} // namespace

TEST(SplitFields, KeepsEveryFieldEmptyOrNot) {
    EXPECT_EQ(split(""), QStringList());
    EXPECT_EQ(split("12|"), (QStringList{"12", ""}));
    EXPECT_EQ(split("|"), (QStringList{"", ""}));
    EXPECT_EQ(split("a|b"), (QStringList{"a", "b"}));
    EXPECT_EQ(split("a||b"), (QStringList{"a", "", "b"}));
    EXPECT_EQ(split("|a"), (QStringList{"", "a"}));
    EXPECT_EQ(split("a"), (QStringList{"a"}));
    EXPECT_EQ(split(" a \r\n| b\n"), (QStringList{" a \r\n", " b\n"}));
    EXPECT_EQ(split("50,100,", ","), (QStringList{"50", "100", ""}));
    EXPECT_EQ(split("a::b:", "::"), (QStringList{"a", "b:"}));
}

TEST(SplitFields, RandomTextsSplitIntoPiecesThatJoinBack) {
    std::mt19937 random(12345);
    const QString alphabet = QStringLiteral("|a1 ,\r\n?");
    for (int round = 0; round < 5000; ++round) {
        QString text;
        const int length = static_cast<int>(random() % 24);
        for (int i = 0; i < length; ++i) {
            text.append(alphabet[static_cast<qsizetype>(random() % alphabet.size())]);
        }
        const QStringList fields = SplitFields(text, QStringLiteral("|"));
        ASSERT_EQ(fields.join(u'|'), text);
        ASSERT_EQ(fields.size(), text.isEmpty() ? 0 : text.count(u'|') + 1);
    }
}

TEST(ParseLeadingInt, ReadsLikeTheRuntimesAtoi) {
    EXPECT_EQ(ParseLeadingInt("6881"), 6881);
    EXPECT_EQ(ParseLeadingInt("  \t-42xyz"), -42);
    EXPECT_EQ(ParseLeadingInt("\r\n+7"), 7);
    EXPECT_EQ(ParseLeadingInt("12 34"), 12);
    EXPECT_EQ(ParseLeadingInt("abc"), 0);
    EXPECT_EQ(ParseLeadingInt(""), 0);
    EXPECT_EQ(ParseLeadingInt("-"), 0);
    EXPECT_EQ(ParseLeadingInt("+-1"), 0);
    EXPECT_EQ(ParseLeadingInt("2147483647"), INT_MAX);
    EXPECT_EQ(ParseLeadingInt("-2147483648"), INT_MIN);
    // Past the range: clamped, never overflowed.
    EXPECT_EQ(ParseLeadingInt("2147483648"), INT_MAX);
    EXPECT_EQ(ParseLeadingInt("99999999999999999999999999"), INT_MAX);
    EXPECT_EQ(ParseLeadingInt("-99999999999999999999999999"), INT_MIN);
    // Full-width digits are not decimal digits here.
    EXPECT_EQ(ParseLeadingInt(QString::fromUtf8("\xEF\xBC\x91")), 0);
}

TEST(DecodeAnsiText, StopsAtTheFirstZeroByte) {
    const char body[] = "12|abc\0|hidden";
    EXPECT_EQ(DecodeAnsiText(body), QStringLiteral("12|abc"));
    EXPECT_EQ(DecodeAnsiText(""), QString());
    EXPECT_EQ(DecodeAnsiText(nullptr), QString());
}

TEST(DecodeAnsiText, BadBytesBecomeReplacementCharacters) {
    // The test runs in a C or UTF-8 locale, both read as UTF-8.
    EXPECT_EQ(DecodeAnsiText("a\xFF"
                             "b\xC3"),
              QString::fromUtf16(u"a\uFFFDb\uFFFD"));
    EXPECT_EQ(DecodeAnsiText("\xED\x95\x9C"), QString::fromUtf16(u"\uD55C"));
    EXPECT_EQ(DecodeAnsiText("\xC3\xA9\x80z"), QString::fromUtf16(u"\u00E9\uFFFDz"));
}

TEST(DecodeAnsiText, ReadsOtherCodesets) {
    // A Korean notice in EUC-KR, and Latin-1 where every byte is a character.
    EXPECT_EQ(DecodeTextFrom("\xC7\xD1\xB1\xDB|x", "EUC-KR"),
              QString::fromUtf16(u"\uD55C\uAE00|x"));
    EXPECT_EQ(DecodeTextFrom("\xE9\xFF", "ISO-8859-1"), QString::fromUtf16(u"\u00E9\u00FF"));
    EXPECT_EQ(DecodeTextFrom("\xC7\xFF"
                             "a",
                             "EUC-KR")
                  .back(),
              u'a');
    EXPECT_EQ(DecodeTextFrom("ok", "NO-SUCH-CODESET"), QStringLiteral("ok"));
}

TEST(DecodeAnsiText, RandomBytesNeverFail) {
    std::mt19937 random(777);
    char bytes[64];
    for (int round = 0; round < 3000; ++round) {
        const int length = static_cast<int>(random() % 63);
        for (int i = 0; i < length; ++i) {
            bytes[i] = static_cast<char>(1 + random() % 255);
        }
        bytes[length] = '\0';
        const QString text = DecodeAnsiText(bytes);
        ASSERT_LE(text.size(), length);
        ASSERT_EQ(text.isEmpty(), length == 0);
    }
}
