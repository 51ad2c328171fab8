#include <memory>

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "net/DownloadCheck.h"
#include "support/RecordingPrompt.h"
#include "support/SmallPublisher.h"

// The kestrel-publisher program, started as the README says, answers a check the program accepts.
TEST(PublisherProgram, AnswersACheckThatIsAccepted) {
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    QProcess program;
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QStringLiteral(KESTREL_PUBLISHER_PATH),
                  {"--port", "0", "--size", "1000000", "--work", work.path(), "--stats-log",
                   work.path() + "/statistics.jsonl", "--server-peer", "127.0.0.5",
                   "--server-peer-port", "7000", "--rates", "50,100"});
    ASSERT_TRUE(program.waitForStarted());

    QString output;
    QString origin;
    const QRegularExpression check(QStringLiteral("check: +(http://[0-9.]+:[0-9]+)/"));
    ASSERT_TRUE(waitFor([&] {
        program.waitForReadyRead(50);
        output += QString::fromUtf8(program.readAll());
        const auto match = check.match(output);
        origin = match.captured(1);
        return match.hasMatch();
    })) << output.toStdString();

    RecordingPrompt prompt;
    DownloadCheckResult result;
    StatisticsRecord statistics;
    auto torrent = std::make_unique<char[]>(kTorrentBufferSize);
    const bool accepted =
        RunDownloadCheck(nullptr, prompt, origin, result, statistics, torrent.get());
    program.terminate();
    program.waitForFinished();
    output += QString::fromUtf8(program.readAll());

    ASSERT_TRUE(accepted) << output.toStdString();
    EXPECT_TRUE(prompt.entries.empty());
    EXPECT_GT(result.torrentLength, 0u);
    EXPECT_EQ(std::string(result.torrentData, 4), "d4:i");
    EXPECT_EQ(result.serverPeers, (std::vector<PeerEndpoint>{{"127.0.0.5", 7000}}));
    EXPECT_EQ(result.serverPeerCallInRate, 51'200u);
    EXPECT_EQ(statistics.baseUrl, origin + "/statistics/report.asp");
    EXPECT_TRUE(output.contains("ua=\"VrtTorrentCGI\"")) << output.toStdString();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}
