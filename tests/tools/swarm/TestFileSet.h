#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <libtorrent/bencode.hpp>
#include <libtorrent/create_torrent.hpp>

// A small file set with random bytes (a folder of a few files) and its torrent, for tests that
// need real data without the publisher's generator.
struct TestFileSet {
    std::filesystem::path parent; // the save path of a complete download
    std::vector<char> torrent;
};

inline TestFileSet makeTestFileSet(const std::filesystem::path& parent,
                                   const std::vector<std::int64_t>& sizes,
                                   const std::vector<std::string>& trackers, int pieceSize,
                                   std::uint32_t seed = 7) {
    namespace lt = libtorrent;
    const auto root = parent / "set";
    std::filesystem::create_directories(root);
    std::mt19937 generator(seed);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        std::ofstream out(root / ("file" + std::to_string(i) + ".bin"), std::ios::binary);
        std::vector<char> block(65536);
        for (std::int64_t left = sizes[i]; left > 0;) {
            for (auto& c : block) {
                c = static_cast<char>(generator());
            }
            const auto n = std::min<std::int64_t>(left, static_cast<std::int64_t>(block.size()));
            out.write(block.data(), n);
            left -= n;
        }
    }
    lt::file_storage fs;
    lt::add_files(fs, root.string());
    lt::create_torrent ct(fs, pieceSize, lt::create_torrent::v1_only);
    for (std::size_t i = 0; i < trackers.size(); ++i) {
        ct.add_tracker(trackers[i], static_cast<int>(i));
    }
    lt::set_piece_hashes(ct, parent.string());
    TestFileSet set{parent, {}};
    lt::bencode(std::back_inserter(set.torrent), ct.generate());
    return set;
}

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};
