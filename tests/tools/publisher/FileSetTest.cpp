#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <libtorrent/torrent_info.hpp>

#include "FileSet.h"
#include "TorrentMaker.h"
#include "support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint64_t totalSize(const fs::path& root) {
    std::uint64_t sum = 0;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_regular_file()) {
            sum += e.file_size();
        }
    }
    return sum;
}

} // namespace

TEST(FileSet, InstallerShapeAddsUpAndDependsOnlyOnSeed) {
    TempFolder dir;
    const std::uint64_t total = 3 * 1024 * 1024 + 17; // not a round number: rounding must add up
    const fs::path a = publisher::GenerateFileSet(dir.path(), "a", total, 7);
    const fs::path b = publisher::GenerateFileSet(dir.path(), "b", total, 7);
    const fs::path c = publisher::GenerateFileSet(dir.path(), "c", total, 8);
    EXPECT_EQ(a, dir.path() / "a");
    EXPECT_EQ(totalSize(a), total);

    std::vector<std::uint64_t> sizes;
    for (const auto& e : fs::recursive_directory_iterator(a)) {
        if (e.is_regular_file()) {
            sizes.push_back(e.file_size());
        }
    }
    ASSERT_GE(sizes.size(), 8u);
    std::sort(sizes.rbegin(), sizes.rend());
    EXPECT_GT(sizes[0], total / 2);  // one large file
    EXPECT_GT(sizes[1], total / 20); // a few medium ones
    EXPECT_LT(sizes.back(), total / 100);

    const std::string big = readAll(a / "Data/Game.pak");
    EXPECT_EQ(big, readAll(b / "Data/Game.pak"));
    EXPECT_NE(big, readAll(c / "Data/Game.pak"));
    // Different files of one set differ too (a seeding peer must not satisfy one with another).
    EXPECT_NE(readAll(a / "Config/Keys.ini"), readAll(a / "License.txt"));
}

TEST(FileSet, TinySetStillHasItsBytes) {
    TempFolder dir;
    const fs::path root = publisher::GenerateFileSet(dir.path(), "tiny", 5, 1);
    EXPECT_EQ(totalSize(root), 5u);
}

TEST(TorrentMaker, NamesTheFolderListsTrackersAndWebSeedsAndHashesTheData) {
    TempFolder dir;
    const fs::path root = publisher::GenerateFileSet(dir.path(), "Game Installer", 600'000, 3);
    const std::vector<char> bytes =
        publisher::MakeTorrent(root, {"http://127.0.0.1:1/announce", "http://127.0.0.2:1/announce"},
                               {"http://127.0.0.1:2/seed/"}, 32 * 1024);
    lt::error_code ec;
    lt::torrent_info info(lt::span<const char>(bytes.data(), static_cast<long>(bytes.size())), ec,
                          lt::from_span);
    ASSERT_FALSE(ec) << ec.message();
    EXPECT_EQ(info.name(), "Game Installer");
    EXPECT_EQ(info.total_size(), 600'000);
    EXPECT_EQ(info.piece_length(), 32 * 1024);
    EXPECT_FALSE(info.info_hashes().has_v2());
    ASSERT_EQ(info.trackers().size(), 2u);
    EXPECT_EQ(info.trackers()[1].url, "http://127.0.0.2:1/announce");
    EXPECT_EQ(info.trackers()[1].tier, 1);
    ASSERT_EQ(info.web_seeds().size(), 1u);
    EXPECT_EQ(info.web_seeds()[0].url, "http://127.0.0.1:2/seed/");
    const auto& files = info.files();
    bool sawBig = false;
    for (auto i : files.file_range()) {
        sawBig = sawBig || files.file_path(i) == "Game Installer/Data/Game.pak";
    }
    EXPECT_TRUE(sawBig);

    // Same folder, same bytes: the info-hash is stable, so a regenerated set seeds the torrent.
    EXPECT_EQ(bytes, publisher::MakeTorrent(
                         root, {"http://127.0.0.1:1/announce", "http://127.0.0.2:1/announce"},
                         {"http://127.0.0.1:2/seed/"}, 32 * 1024));
    const fs::path again =
        publisher::GenerateFileSet(dir.path() / "other", "Game Installer", 600'000, 3);
    const auto other = publisher::MakeTorrent(again, {}, {}, 32 * 1024);
    lt::torrent_info otherInfo(lt::span<const char>(other.data(), static_cast<long>(other.size())),
                               ec, lt::from_span);
    ASSERT_FALSE(ec);
    EXPECT_EQ(otherInfo.info_hashes(), info.info_hashes());
}

TEST(TorrentMaker, EmptyFolderIsRefused) {
    TempFolder dir;
    fs::create_directories(dir.path() / "empty");
    EXPECT_ANY_THROW(publisher::MakeTorrent(dir.path() / "empty", {}, {}));
}
