#include "tools/swarm/Tracker.h"

#include <string>

#include <gtest/gtest.h>
#include <httplib.h>
#include <libtorrent/bdecode.hpp>

#include "tools/swarm/Log.h"

namespace {

std::string escape(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += '%';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// Raw bytes that a '+'-to-blank or a NUL-stopping decoder would corrupt.
const std::string kHash = std::string("\x00+ab\xff", 5) + std::string(15, 'h');

struct Reply {
    std::string body;
    libtorrent::bdecode_node node;
};

Reply announce(swarm::Tracker& tracker, const std::string& peerId, int port,
               const std::string& extra) {
    httplib::Client client("127.0.0.1", tracker.port());
    const std::string path = "/announce?info_hash=" + escape(kHash) + "&peer_id=" + escape(peerId) +
                             "&port=" + std::to_string(port) + extra;
    auto res = client.Get(path.c_str(), {{"User-Agent", "Agent/" + peerId.substr(0, 2)}});
    Reply reply;
    if (res) {
        reply.body = res->body;
        libtorrent::error_code ec;
        reply.node = libtorrent::bdecode(reply.body, ec);
    }
    return reply;
}

std::string peerId(char c) {
    return "-XX0000-" + std::string(12, c);
}

} // namespace

TEST(SwarmTracker, RecordsEveryAnnounceAndListsTheOtherPeers) {
    auto log = std::make_shared<swarm::Log>();
    swarm::Tracker tracker({"127.0.0.1", 0, 77, swarm::Tracker::PeerList::AsAsked, log});
    EXPECT_EQ(tracker.announceUrl(),
              "http://127.0.0.1:" + std::to_string(tracker.port()) + "/announce");

    auto first = announce(tracker, peerId('a'), 6001, "&event=started&left=0&compact=1");
    ASSERT_EQ(first.node.type(), libtorrent::bdecode_node::dict_t) << first.body;
    EXPECT_EQ(first.node.dict_find_int_value("interval"), 77);
    EXPECT_EQ(first.node.dict_find_string_value("peers"), ""); // nobody else yet

    auto second = announce(tracker, peerId('b'), 6002, "&left=1000&compact=1");
    // 127.0.0.1:6001 in six bytes; never the asker itself.
    EXPECT_EQ(second.node.dict_find_string_value("peers"),
              std::string("\x7f\x00\x00\x01\x17\x71", 6));
    EXPECT_EQ(second.node.dict_find_int_value("complete"), 1);
    EXPECT_EQ(second.node.dict_find_int_value("incomplete"), 1);

    auto full = announce(tracker, peerId('c'), 6003, "&left=5");
    const auto list = full.node.dict_find_list("peers");
    ASSERT_EQ(list.list_size(), 2) << full.body;
    EXPECT_EQ(list.list_at(0).dict_find_string_value("ip"), "127.0.0.1");
    EXPECT_EQ(list.list_at(0).dict_find_int_value("port"), 6001);
    EXPECT_EQ(list.list_at(0).dict_find_string_value("peer id"), peerId('a'));
    EXPECT_EQ(list.list_at(1).dict_find_int_value("port"), 6002);

    // A peer that stops is no longer handed out.
    announce(tracker, peerId('a'), 6001, "&event=stopped&left=0&compact=1");
    auto after = announce(tracker, peerId('c'), 6003, "&left=5");
    ASSERT_EQ(after.node.dict_find_list("peers").list_size(), 1);
    EXPECT_EQ(after.node.dict_find_list("peers").list_at(0).dict_find_int_value("port"), 6002);

    const auto record = tracker.announces();
    ASSERT_EQ(record.size(), 5u);
    std::string hash = "002b6162ff";
    for (int i = 0; i < 15; ++i) {
        hash += "68";
    }
    EXPECT_EQ(record[0].infoHash, hash);
    EXPECT_EQ(record[0].peerId, peerId('a'));
    EXPECT_EQ(record[0].ip, "127.0.0.1");
    EXPECT_EQ(record[0].port, 6001);
    EXPECT_EQ(record[0].event, "started");
    EXPECT_EQ(record[0].left, 0);
    EXPECT_EQ(record[0].userAgent, "Agent/-X");
    EXPECT_TRUE(record[0].compact);
    EXPECT_EQ(record[2].left, 5);
    EXPECT_FALSE(record[2].compact);
    EXPECT_EQ(record[3].event, "stopped");
    ASSERT_EQ(log->lines().size(), 5u);
    EXPECT_NE(log->lines()[0].find("peer id \"-XX0000-aaaaaaaaaaaa\""), std::string::npos);
    EXPECT_NE(log->lines()[0].find("user agent \"Agent/-X\""), std::string::npos);
}

TEST(SwarmTracker, ChosenListFormOverridesTheRequest) {
    swarm::Tracker compact({"127.0.0.1", 0, 60, swarm::Tracker::PeerList::Compact, nullptr});
    announce(compact, peerId('a'), 7001, "&left=0");
    EXPECT_EQ(
        announce(compact, peerId('b'), 7002, "&left=0").node.dict_find_string_value("peers").size(),
        6u);

    swarm::Tracker full({"127.0.0.1", 0, 60, swarm::Tracker::PeerList::Full, nullptr});
    announce(full, peerId('a'), 7001, "&left=0&compact=1");
    EXPECT_EQ(announce(full, peerId('b'), 7002, "&left=0&compact=1")
                  .node.dict_find_list("peers")
                  .list_size(),
              1);
}

TEST(SwarmTracker, MalformedAnnounceIsRecordedAndRefused) {
    swarm::Tracker tracker({});
    httplib::Client client("127.0.0.1", tracker.port());
    auto res = client.Get("/announce?info_hash=short&port=1");
    ASSERT_TRUE(res);
    EXPECT_NE(res->body.find("failure reason"), std::string::npos);
    EXPECT_EQ(tracker.announceCount(), 1u);
    // A second peer is not handed the malformed one.
    auto reply = announce(tracker, peerId('z'), 7000, "&left=0");
    EXPECT_EQ(reply.node.dict_find_list("peers").list_size(), 0);
}
