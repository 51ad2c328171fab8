// What a torrent may put into the chosen folder, and whose torrent it must be: refused torrents
// leave the folder as it was; an ordinary one, executable file included, downloads.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include <libtorrent/bencode.hpp>
#include <libtorrent/create_torrent.hpp>
#include <libtorrent/entry.hpp>

#include "TorrentSigner.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadTask.h"
#include "engine/SessionSetup.h"
#include "engine/TorrentContentRule.h"
#include "engine/TorrentSignature.h"
#include "support/SwarmFixture.h"
#include "tools/swarm/Peer.h"

namespace fs = std::filesystem;
namespace lt = libtorrent;

namespace {

void Write(const fs::path& file, std::size_t bytes, char fill = 'k') {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << std::string(bytes, fill);
}

// A torrent of `target` (a file or a folder) as the library makes it, its entry open to edits.
std::vector<char> TorrentOf(const fs::path& target, lt::create_flags_t flags,
                            const std::function<void(lt::entry&)>& edit = nullptr) {
    lt::file_storage files;
    lt::add_files(files, target.string(), flags);
    lt::create_torrent t(files, 16 * 1024, flags);
    lt::set_piece_hashes(t, target.parent_path().string());
    lt::entry e = t.generate();
    if (edit) {
        edit(e);
    }
    std::vector<char> out;
    lt::bencode(std::back_inserter(out), e);
    return out;
}

// Everything under the folder, hidden names and links included.
std::vector<std::string> Listing(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        out.push_back(fs::relative(e.path(), folder).string() +
                      (fs::is_symlink(e.symlink_status()) ? " (link)" : ""));
    }
    std::sort(out.begin(), out.end());
    return out;
}

class TorrentContent : public SwarmTest {
protected:
    void SetUp() override {
        SwarmTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        SetUpSession(engine, static_cast<std::uint32_t>(
                                 ::testing::UnitTest::GetInstance()->random_seed() + 53));
    }
    // Adds the torrent into a fresh, empty folder; the folder's listing afterwards.
    bool add(const std::vector<char>& torrent, const std::string& folder) {
        saveFolder = temp.path() / "save" / folder;
        fs::create_directories(saveFolder);
        task = DownloadTask();
        return engine.AddTorrentFromBuffer(torrent.data(), torrent.size(),
                                           QString::fromStdString(saveFolder.string()), task);
    }

    DownloadEngine engine{12, "VrtTorrent"};
    DownloadTask task;
    fs::path saveFolder;
};

} // namespace

TEST(TorrentContentRule, HiddenNamesAndLinkAttributes) {
    EXPECT_TRUE(IsHiddenName(".bashrc"));
    EXPECT_TRUE(IsHiddenName(".config"));
    EXPECT_TRUE(IsHiddenName("."));
    EXPECT_FALSE(IsHiddenName("Emberway Installer"));
    EXPECT_FALSE(IsHiddenName("setup.bashrc"));
    EXPECT_FALSE(IsHiddenName(""));
    EXPECT_TRUE(HasLinkAttribute("l"));
    EXPECT_TRUE(HasLinkAttribute("xl"));
    EXPECT_FALSE(HasLinkAttribute("x"));
    EXPECT_FALSE(HasLinkAttribute("p"));
    EXPECT_FALSE(HasLinkAttribute(""));
}

TEST_F(TorrentContent, HiddenTopLevelNamesAndLinksAreRefusedBeforeAnythingIsWritten) {
    const fs::path src = temp.path() / "src";
    Write(src / ".bashrc", 100);
    Write(src / ".config" / "autostart" / "x.desktop", 100);
    Write(src / "Game" / "data.bin", 40000);
    fs::create_symlink("../../.bashrc", src / "Game" / "link");
    Write(src / "Plain" / "data.bin", 40000);
    Write(src / "Plain" / "more.bin", 100);
    const auto v1 = lt::create_torrent::v1_only;
    const auto links = lt::create_torrent::symlinks;
    const struct {
        const char* what;
        std::vector<char> torrent;
    } refused[] = {
        {"a single file named .bashrc", TorrentOf(src / ".bashrc", v1)},
        {"a folder named .config", TorrentOf(src / ".config", v1)},
        {"a v1 link (attr l)", TorrentOf(src / "Game", v1 | links)},
        {"a hybrid torrent's link", TorrentOf(src / "Game", links)},
        {"a link attribute without a target",
         TorrentOf(src / "Plain", v1,
                   [](lt::entry& e) { e["info"]["files"].list().back()["attr"] = "l"; })},
    };
    for (const auto& c : refused) {
        EXPECT_FALSE(add(c.torrent, c.what)) << c.what;
        EXPECT_FALSE(task.isValid()) << c.what;
        EXPECT_TRUE(Listing(saveFolder).empty()) << c.what;
    }
    // Without the link, the same folder is an ordinary torrent.
    EXPECT_TRUE(add(TorrentOf(src / "Plain", v1), "plain"));
}

// The control: a torrent holding an executable file downloads normally and the file keeps its
// executable attribute.
TEST_F(TorrentContent, AnExecutableFileDownloadsNormally) {
    const fs::path src = temp.path() / "src";
    Write(src / "Game" / "data.bin", 300000);
    Write(src / "Game" / "setup.sh", 200, '#');
    fs::permissions(src / "Game" / "setup.sh", fs::perms::owner_exec, fs::perm_options::add);
    const std::vector<char> torrent = TorrentOf(src / "Game", {});
    auto seed = peerOf(torrent, src, swarm::Peer::Role::Server, "127.0.0.2", 0, 6930);

    ASSERT_TRUE(add(torrent, "game"));
    task.ConnectPeer("127.0.0.2", 6930);
    const fs::path script = saveFolder / "Game" / "setup.sh";
    // The torrent can report complete a moment before the file shows its size on disk.
    ASSERT_TRUE(waitFor([&] {
        std::error_code error;
        return task.isComplete() && fs::file_size(script, error) == 200u;
    }));
    EXPECT_NE(fs::status(script).permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_EQ(Listing(saveFolder),
              (std::vector<std::string>{"Game", "Game/data.bin", "Game/setup.sh"}));
}

// With a publisher key, only torrents it signed are taken; without one, nothing changes.
TEST_F(TorrentContent, WithAPublisherKeyOnlyItsValidSignatureIsAccepted) {
    const fs::path src = temp.path() / "src";
    Write(src / "Game" / "data.bin", 40000);
    const std::vector<char> plain = TorrentOf(src / "Game", {});
    const auto key = publisher::SigningKey::Generate();
    const auto other = publisher::SigningKey::Generate();
    const std::vector<char> good = publisher::SignTorrent(plain, key);
    // The signature covers the info dictionary's exact bytes: one byte of the name changed
    // after signing is another text.
    std::vector<char> grafted = good;
    const std::string renamed = "4:name4:Game";
    const auto at = std::search(grafted.begin(), grafted.end(), renamed.begin(), renamed.end());
    ASSERT_NE(at, grafted.end());
    *(at + 11) = 'X'; // "GamX": same length, other bytes, the old signature

    const struct {
        const char* what;
        std::vector<char> torrent;
        bool accepted;
    } cases[] = {
        {"signed with the key", good, true},
        {"signed twice over (the signature replaced)", publisher::SignTorrent(good, key), true},
        {"no signature", plain, false},
        {"a wrong signature", publisher::SignTorrent(plain, key, true), false},
        {"signed with another key", publisher::SignTorrent(plain, other), false},
        {"info changed after signing", grafted, false},
    };
    engine.SetPublisherKey(key.publicKey());
    for (const auto& c : cases) {
        EXPECT_EQ(add(c.torrent, c.what), c.accepted) << c.what;
        if (!c.accepted) {
            EXPECT_TRUE(Listing(saveFolder).empty()) << c.what;
        }
    }
    engine.SetPublisherKey({});
    EXPECT_TRUE(add(plain, "no key, unsigned"));
    EXPECT_TRUE(add(publisher::SignTorrent(plain, key, true), "no key, wrong signature"));
}

TEST(TorrentSignature, VerifiesEd25519AndReadsTheBuildsHexKey) {
    const auto key = publisher::SigningKey::Generate();
    const std::string message = "d6:lengthi5e4:name1:xe";
    const std::string signature = key.sign(message);
    EXPECT_TRUE(VerifyEd25519(message, signature, key.publicKey()));
    EXPECT_FALSE(VerifyEd25519(message + " ", signature, key.publicKey()));
    EXPECT_FALSE(VerifyEd25519(message, signature.substr(0, 63), key.publicKey()));
    EXPECT_FALSE(VerifyEd25519(message, signature, key.publicKey().substr(1)));
    EXPECT_EQ(PublicKeyFromHex(key.publicKeyHex()), key.publicKey());
    EXPECT_EQ(PublicKeyFromHex(std::string(64, 'F')), std::string(32, '\xff'));
    EXPECT_TRUE(PublicKeyFromHex(std::string(63, '0')).empty());
    EXPECT_TRUE(PublicKeyFromHex(std::string(62, '0') + "0g").empty());
    EXPECT_TRUE(PublicKeyFromHex("").empty());
}
