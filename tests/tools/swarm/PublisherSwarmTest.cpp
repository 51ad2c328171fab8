// The sample publisher as a program, with its tracker and peers: what the check answer and the
// torrent name, and a download from the swarm they describe.
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>
#include <libtorrent/torrent_info.hpp>

#include <QProcess>
#include <QStringList>

#include "support/SwarmHarness.h"
#include "tools/swarm/Peer.h"
#include "tools/swarm/WaitFor.h"

using namespace std::chrono_literals;

namespace {

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, sep)) {
        parts.push_back(part);
    }
    return parts;
}

} // namespace

TEST(PublisherSwarm, AnswerAndTorrentNameTheTrackerAndServerPeersThatServeTheSet) {
    TempFolder dir;
    QProcess publisher;
    publisher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    publisher.start(KESTREL_PUBLISHER_EXE,
                    {"--port",
                     "0",
                     "--size",
                     "6000000",
                     "--piece-size",
                     "65536",
                     "--tracker",
                     "--server-peers",
                     "2",
                     "--seeders",
                     "2",
                     "--partials",
                     "1",
                     "--quiet",
                     "--work",
                     QString::fromStdString(dir.path().string()),
                     "--swarm-log",
                     QString::fromStdString((dir.path() / "swarm.log").string()),
                     "--stats-log",
                     QString::fromStdString((dir.path() / "stats.jsonl").string())});
    ASSERT_TRUE(publisher.waitForStarted());

    std::string output;
    std::string answer, trackerUrl;
    ASSERT_TRUE(swarm::waitFor(
        [&] {
            publisher.waitForReadyRead(100);
            output += publisher.readAll().toStdString();
            for (const auto& line : split(output, '\n')) {
                if (line.rfind("answer:  ", 0) == 0) {
                    answer = line.substr(9);
                } else if (line.rfind("tracker: ", 0) == 0) {
                    trackerUrl = line.substr(9);
                }
            }
            return !answer.empty() && !trackerUrl.empty();
        },
        120s))
        << output;

    const auto fields = split(answer, '|');
    ASSERT_EQ(fields.size(), 11u) << answer;
    EXPECT_EQ(fields[6], "31000");
    EXPECT_EQ(fields[7], "127.0.0.2,127.0.0.3");
    // The web seed on an address of its own.
    EXPECT_EQ(fields[5].rfind("http://127.0.0.5:", 0), 0u) << fields[5];
    EXPECT_TRUE(Accepts("127.0.0.2", 31000));
    EXPECT_TRUE(Accepts("127.0.0.3", 31000));

    // The torrent names the tracker first.
    const auto slash = fields[4].find('/', 7);
    httplib::Client client(fields[4].substr(0, slash));
    auto res = client.Get(fields[4].substr(slash).c_str());
    ASSERT_TRUE(res && res->status == 200);
    const std::vector<char> torrent(res->body.begin(), res->body.end());
    const libtorrent::torrent_info info(libtorrent::span<char const>(torrent),
                                        libtorrent::from_span);
    ASSERT_FALSE(info.trackers().empty());
    EXPECT_EQ(info.trackers()[0].url, trackerUrl);

    {
        swarm::Peer::Options o;
        o.role = swarm::Peer::Role::Downloader;
        o.address = "127.0.0.30";
        o.dataDir = dir.path() / "downloader";
        swarm::Peer downloader(torrent, {}, o);
        ASSERT_TRUE(swarm::waitFor([&] { return downloader.isReady(); }, 180s));
    }

    publisher.terminate();
    ASSERT_TRUE(publisher.waitForFinished(60000));
    output += publisher.readAll().toStdString();

    std::ifstream logFile(dir.path() / "swarm.log");
    const std::string log((std::istreambuf_iterator<char>(logFile)), {});
    // Swarm peers announce; server peers never do.
    EXPECT_NE(log.find("tracker: announce"), std::string::npos);
    EXPECT_NE(log.find("from 127.0.1.1:"), std::string::npos);
    EXPECT_NE(log.find("from 127.0.0.30:"), std::string::npos);
    EXPECT_EQ(log.find("from 127.0.0.2:"), std::string::npos);
    EXPECT_EQ(log.find("from 127.0.0.3:"), std::string::npos);
    // Who served the downloader, by its address.
    EXPECT_NE(log.find("uploaded"), std::string::npos);
    EXPECT_NE(log.find(" to 127.0.0.30:"), std::string::npos) << log;
    EXPECT_NE(output.find("seeder-1 127.0.1.1:"), std::string::npos) << output;
    // The totals by source, on exit and in the log: the downloader took all from the swarm.
    for (const std::string& text : {output, log}) {
        EXPECT_NE(text.find("total from the swarm: "), std::string::npos);
        EXPECT_EQ(text.find("total from the swarm: 0 bytes"), std::string::npos);
        EXPECT_NE(text.find("total from server-peer-1 127.0.0.2:31000: 0 bytes"),
                  std::string::npos);
        EXPECT_NE(text.find("total from server-peer-2 127.0.0.3:31000: 0 bytes"),
                  std::string::npos);
        EXPECT_NE(text.find("total from the web seed " + fields[5] + ": 0 bytes"),
                  std::string::npos)
            << text;
    }
}
