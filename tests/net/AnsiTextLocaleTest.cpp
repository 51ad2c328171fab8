#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include "net/AnsiText.h"

namespace {

// Builds a locale into folder with localedef; empty on success, else why not.
QString GenerateLocale(const QString& folder, const QString& source, const QString& charmap) {
    QProcess localedef;
    const QString name = source + u'.' + charmap;
    localedef.start(
        QStringLiteral("localedef"),
        {QStringLiteral("-i"), source, QStringLiteral("-f"), charmap, folder + u'/' + name});
    if (!localedef.waitForFinished(120'000) || localedef.exitStatus() != QProcess::NormalExit ||
        localedef.exitCode() != 0) {
        return QStringLiteral("localedef (package locales) cannot build %1: %2 %3")
            .arg(name, localedef.errorString(),
                 QString::fromLocal8Bit(localedef.readAllStandardError()));
    }
    return {};
}

} // namespace

// Server text in the user's 8-bit codeset reads right, also where Qt has moved the character-type
// locale to UTF-8 by the time the text arrives.
TEST(DecodeAnsiText, ReadsTheUsersEightBitCodesetOnceQtRuns) {
    QTemporaryDir locales;
    ASSERT_TRUE(locales.isValid());
    struct Case {
        QString source;
        QString charmap;
        QByteArray bytes;
        QString text;
    };
    const Case cases[] = {
        {"ko_KR", "EUC-KR", "\xC7\xD1\xB1\xB9|x", QString::fromUtf16(u"\uD55C\uAD6D|x")},
        {"de_DE", "ISO-8859-1", "Gr\xFC\xDF", QString::fromUtf16(u"Gr\u00FC\u00DF")},
    };
    for (const Case& c : cases) {
        const QString why = GenerateLocale(locales.path(), c.source, c.charmap);
        if (!why.isEmpty()) {
            GTEST_SKIP() << why.toStdString();
        }
        for (const bool movesToUtf8 : {false, true}) {
            QProcess probe;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("LOCPATH"), locales.path());
            environment.insert(QStringLiteral("LC_ALL"), c.source + u'.' + c.charmap);
            // glibc keeps the LOCPATH list it reads for the rest of the process, which the leak
            // checker of a sanitized build would report at exit.
            environment.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
            probe.setProcessEnvironment(environment);
            QStringList arguments{QString::fromLatin1(c.bytes.toHex())};
            if (movesToUtf8) {
                arguments << QStringLiteral("C.UTF-8");
            }
            probe.start(QStringLiteral(KESTREL_ANSI_PROBE_PATH), arguments);
            ASSERT_TRUE(probe.waitForFinished(60'000)) << c.charmap.toStdString();
            EXPECT_EQ(probe.exitCode(), 0) << c.charmap.toStdString();
            EXPECT_EQ(QString::fromUtf8(probe.readAllStandardOutput()), c.text)
                << c.charmap.toStdString() << (movesToUtf8 ? ", moved to UTF-8" : "");
        }
    }
}

// An address the server sent in an 8-bit codeset goes back in the same bytes, percent-encoded:
// as a request and as a page opened for the user. Characters the codeset lacks go as UTF-8.
TEST(EncodeAnsiText, AddressesGoBackInTheCodesetTheyCameIn) {
    QTemporaryDir locales;
    ASSERT_TRUE(locales.isValid());
    const QString why = GenerateLocale(locales.path(), "ko_KR", "EUC-KR");
    if (!why.isEmpty()) {
        GTEST_SKIP() << why.toStdString();
    }
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LOCPATH"), locales.path());
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("ko_KR.EUC-KR"));
    environment.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    probe.setProcessEnvironment(environment);
    // "http://h/<Han>?q=<Han Guk> x" in EUC-KR.
    const QByteArray address = "http://h/\xC7\xD1?q=\xC7\xD1\xB1\xB9 x";
    probe.start(QStringLiteral(KESTREL_ANSI_PROBE_PATH),
                {QStringLiteral("wire"), QString::fromLatin1(address.toHex())});
    ASSERT_TRUE(probe.waitForFinished(60'000));
    EXPECT_EQ(probe.exitCode(), 0);
    EXPECT_EQ(probe.readAllStandardOutput().toStdString(),
              "http://h/%C7%D1?q=%C7%D1%B1%B9%20x\nhttp://h/%C7%D1?q=%C7%D1%B1%B9%20x");

    // In-process, a named codeset: a character EUC-KR lacks goes as UTF-8, the rest as EUC-KR.
    EXPECT_EQ(EncodeTextTo(QString::fromUtf16(u"\uD55Cx\u00E9"), "EUC-KR"),
              QByteArray("\xC7\xD1x\xC3\xA9"));
    EXPECT_EQ(EncodeTextTo(QString::fromUtf16(u"a\U0001F600b"), "EUC-KR"),
              QByteArray("a\xF0\x9F\x98\x80"
                         "b"));
}
