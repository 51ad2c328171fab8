// What a torrent may put into the chosen folder, and whose torrent it must be: refused torrents
// leave the folder as it was; an ordinary one, executable file included, downloads.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include <libtorrent/bdecode.hpp>
#include <libtorrent/bencode.hpp>
#include <libtorrent/create_torrent.hpp>
#include <libtorrent/entry.hpp>

#include "TorrentSigner.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadTask.h"
#include "engine/EngineInternals.h"
#include "engine/TorrentAdmission.h"
#include "engine/TorrentContentRule.h"
#include "engine/TorrentSignature.h"
#include "support/EngineRun.h"
#include "support/SwarmFixture.h"
#include "support/TempFolder.h"
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
    void arrange() override { run = std::make_unique<EngineRun>(RunSeed(53)); }
    // Adds the torrent into a fresh, empty folder; the folder's listing afterwards.
    bool add(const std::vector<char>& torrent, const std::string& folder) {
        saveFolder = temp.path() / "save" / folder;
        fs::create_directories(saveFolder);
        run->task = DownloadTask();
        return run->engine.AddTorrentFromBuffer(
            torrent.data(), torrent.size(), QString::fromStdString(saveFolder.string()), run->task);
    }

    // The session starts only inside the test's namespace.
    std::unique_ptr<EngineRun> run;
    fs::path saveFolder;
};

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
        EXPECT_FALSE(run->task.isValid()) << c.what;
        EXPECT_TRUE(Listing(saveFolder).empty()) << c.what;
    }
    // Without the link, the same folder is an ordinary torrent.
    EXPECT_TRUE(add(TorrentOf(src / "Plain", v1), "plain"));
}

// Names that read as others, and files where the player's shell looks for commands: refused
// before anything is written; the same torrents elsewhere, or named plainly, download.
TEST_F(TorrentContent, BidiNamesAndFilesInCommandFoldersAreRefused) {
    const fs::path src = temp.path() / "src";
    Write(src / "setup\u2066txt.exe", 100);
    Write(src / "Game\u061C" / "data.bin", 40000);
    Write(src / "Nested" / "readme\u2069.txt", 100);
    Write(src / "Nested" / "data.bin", 40000);
    Write(src / "bin" / "ls", 40000);
    Write(src / "Game" / "bin" / "ls", 40000);
    Write(src / "tool", 100);
    const fs::path home = temp.path() / "save" / "home";
    fs::create_directories(home / ".local");
    fs::create_directories(home / "tools");
    fs::create_directory_symlink(home / "tools", home / "linked-tools");
    run->engine.SetCommandFolders(CommandFolders((home / "tools").string(), home));
    const auto v1 = lt::create_torrent::v1_only;
    const struct {
        const char* what;
        std::vector<char> torrent;
        fs::path folder;
        bool accepted;
    } cases[] = {
        {"a single file with an isolate", TorrentOf(src / "setup\u2066txt.exe", v1), "bidi1",
         false},
        {"a folder with the Arabic letter mark", TorrentOf(src / "Game\u061C", v1), "bidi2", false},
        {"an inner file with a pop isolate", TorrentOf(src / "Nested", v1), "bidi3", false},
        {"folder bin into the home folder", TorrentOf(src / "bin", v1), home, false},
        {"folder bin into ~/.local", TorrentOf(src / "bin", v1), home / ".local", false},
        {"a file into a PATH folder", TorrentOf(src / "tool", v1), home / "tools", false},
        {"a file into a link to a PATH folder", TorrentOf(src / "tool", v1), home / "linked-tools",
         false},
        {"folder bin elsewhere", TorrentOf(src / "bin", v1), "elsewhere", true},
        {"a bin folder inside the game's folder", TorrentOf(src / "Game", v1), home, true},
    };
    for (const auto& c : cases) {
        const fs::path folder = c.folder.is_absolute() ? c.folder : temp.path() / "save" / c.folder;
        fs::create_directories(folder);
        const auto before = Listing(folder);
        run->task = DownloadTask();
        EXPECT_EQ(run->engine.AddTorrentFromBuffer(c.torrent.data(), c.torrent.size(),
                                                   QString::fromStdString(folder.string()),
                                                   run->task),
                  c.accepted)
            << c.what;
        if (!c.accepted) {
            EXPECT_EQ(Listing(folder), before) << c.what;
        }
    }
}

TEST(TorrentContentRule, CommandFoldersAndBidiControls) {
    EXPECT_EQ(CommandFolders("/usr/bin::/bin:", "/home/p"),
              (std::vector<fs::path>{"/usr/bin", "/bin", "/home/p/bin", "/home/p/.local/bin"}));
    EXPECT_EQ(CommandFolders("", ""), std::vector<fs::path>{});
    EXPECT_TRUE(AnyIsCommandFolder({"/usr/bin/"}, {"/usr/bin"}));
    EXPECT_TRUE(AnyIsCommandFolder({"/home/p/x/../bin"}, {"/home/p/bin/"}));
    EXPECT_FALSE(AnyIsCommandFolder({"/home/p/bin/sub"}, {"/home/p/bin"}));
    EXPECT_TRUE(HasBidiControl("a\u2068b"));
    EXPECT_TRUE(HasBidiControl("\u202E"));
    EXPECT_FALSE(HasBidiControl("\u2065\u206A\u061B plain"));
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
    run->task.ConnectPeer("127.0.0.2", 6930);
    const fs::path script = saveFolder / "Game" / "setup.sh";
    // The torrent can report complete a moment before the file shows its size on disk.
    ASSERT_TRUE(waitFor([&] {
        std::error_code error;
        return run->task.isComplete() && fs::file_size(script, error) == 200u;
    }));
    EXPECT_NE(fs::status(script).permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_EQ(Listing(saveFolder),
              (std::vector<std::string>{"Game", "Game/data.bin", "Game/setup.sh"}));
}

// The torrent with one top-level key more. Keys stay sorted, as the library and the signer
// write them, so every other byte stays as it was.
std::vector<char> WithKey(const std::vector<char>& torrent, const std::string& key,
                          const lt::entry& value) {
    lt::entry e;
    e = lt::bdecode(torrent);
    e[key] = value;
    std::vector<char> out;
    lt::bencode(std::back_inserter(out), e);
    return out;
}

// The signature the program once took: of the info dictionary alone, in the same place.
std::vector<char> SignedInfoOnly(std::vector<char> torrent, const publisher::SigningKey& key) {
    lt::error_code ec;
    const lt::bdecode_node root = lt::bdecode(torrent, ec);
    const auto info = root.dict_find_dict("info").data_section();
    const std::string signature = key.sign(std::string(info.data(), info.size()));
    const std::string marker = "17:kestrel-signature64:";
    const auto at = std::search(torrent.begin(), torrent.end(), marker.begin(), marker.end());
    std::copy(signature.begin(), signature.end(), at + static_cast<std::ptrdiff_t>(marker.size()));
    return torrent;
}

lt::entry List(std::initializer_list<lt::entry> items) {
    lt::entry out(lt::entry::list_t);
    for (const auto& item : items) {
        out.list().push_back(item);
    }
    return out;
}

} // namespace

// With a publisher key, only torrents it signed are taken, every byte of them; without one,
// nothing changes.
TEST_F(TorrentContent, WithAPublisherKeyOnlyItsValidSignatureIsAccepted) {
    const fs::path src = temp.path() / "src";
    Write(src / "Game" / "data.bin", 40000);
    const std::vector<char> plain = TorrentOf(
        src / "Game", {}, [](lt::entry& e) { e["announce"] = "http://127.0.0.1:6969/announce"; });
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
    std::vector<char> trailing = good;
    trailing.push_back('x');

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
        {"signed as before, the info dictionary alone", SignedInfoOnly(good, key), false},
        {"a web seed added", WithKey(good, "url-list", "http://127.0.0.9/seed"), false},
        {"an http seed added", WithKey(good, "httpseeds", List({"http://127.0.0.9/s"})), false},
        {"the tracker replaced", WithKey(good, "announce", "http://127.0.0.9/announce"), false},
        {"trackers added",
         WithKey(good, "announce-list", List({List({"http://127.0.0.9/announce"})})), false},
        {"DHT nodes added", WithKey(good, "nodes", List({List({"127.0.0.9", 6881})})), false},
        {"bytes after the torrent", trailing, false},
    };
    run->engine.SetPublisherKey(key.publicKey());
    for (const auto& c : cases) {
        EXPECT_EQ(add(c.torrent, c.what), c.accepted) << c.what;
        if (!c.accepted) {
            EXPECT_TRUE(Listing(saveFolder).empty()) << c.what;
        }
    }
    // What was signed reaches the session: the tracker, and it alone.
    ASSERT_TRUE(add(good, "signed, its tracker"));
    const auto trackers = EngineInternals::Of(run->task).handle.trackers();
    ASSERT_EQ(trackers.size(), 1u);
    EXPECT_EQ(trackers[0].url, "http://127.0.0.1:6969/announce");
    EXPECT_TRUE(EngineInternals::Of(run->task).handle.url_seeds().empty());

    run->engine.SetPublisherKey({});
    EXPECT_TRUE(add(plain, "no key, unsigned"));
    EXPECT_TRUE(add(publisher::SignTorrent(plain, key, true), "no key, wrong signature"));
}

// One answer per torrent, and the first rule it breaks is the reason given.
TEST(TorrentAdmission, NamesTheRuleATorrentBreaks) {
    TempFolder temp;
    const fs::path src = temp.path() / "src";
    Write(src / ".bashrc", 100);
    Write(src / "Game" / "data.bin", 40000);
    Write(src / "bin" / "ls", 100);
    const auto v1 = lt::create_torrent::v1_only;
    const std::vector<char> game = TorrentOf(src / "Game", v1);
    const std::vector<char> hidden = TorrentOf(src / ".bashrc", v1);
    const auto key = publisher::SigningKey::Generate();
    const auto admit = [&](const std::vector<char>& torrent, const std::string& publisherKey) {
        return AdmitTorrent(std::string_view(torrent.data(), torrent.size()), publisherKey,
                            temp.path() / "save", {temp.path() / "save" / "bin"});
    };
    const struct {
        const char* what;
        std::vector<char> torrent;
        std::string key;
        TorrentRefusal refusal;
    } cases[] = {
        {"an ordinary torrent", game, "", TorrentRefusal::None},
        {"signed with the key", publisher::SignTorrent(game, key), key.publicKey(),
         TorrentRefusal::None},
        {"not bencoded", {'d', '4', ':'}, "", TorrentRefusal::Undecodable},
        {"a dictionary without info", {'d', 'e'}, "", TorrentRefusal::Undecodable},
        {"unsigned, with a key", game, key.publicKey(), TorrentRefusal::Unsigned},
        // The signature is looked at before the content: nobody's torrent gets further.
        {"hidden and unsigned", hidden, key.publicKey(), TorrentRefusal::Unsigned},
        {"hidden", hidden, "", TorrentRefusal::HiddenOrLink},
        {"into a command folder", TorrentOf(src / "bin", v1), "", TorrentRefusal::CommandFolder},
    };
    for (const auto& c : cases) {
        const TorrentAdmission admission = admit(c.torrent, c.key);
        EXPECT_EQ(admission.refusal, c.refusal) << c.what;
        // Only an admitted torrent comes with its description, the one it was given.
        EXPECT_EQ(admission.info != nullptr, admission.admitted()) << c.what;
        if (admission.admitted()) {
            EXPECT_EQ(admission.info->name(), "Game") << c.what;
        }
    }
    // Deciding writes nothing, not even the save folder.
    EXPECT_FALSE(fs::exists(temp.path() / "save"));
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
