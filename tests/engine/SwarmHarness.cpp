#include "SwarmHarness.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>

#include <libtorrent/bencode.hpp>
#include <libtorrent/create_torrent.hpp>

#include <QCoreApplication>

namespace lt = libtorrent;
namespace fs = std::filesystem;

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "kestrel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::abort();
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

FileSet MakeFileSet(const fs::path& root, const std::string& name,
                    const std::vector<std::int64_t>& sizes,
                    const std::vector<std::string>& trackers, int pieceSize) {
    FileSet set{root, name, sizes, {}};
    std::mt19937_64 random(sizes.size() * 7919 + name.size());
    fs::create_directories(root / name);
    lt::file_storage storage;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string rel = name + "/file" + std::to_string(i) + ".bin";
        std::ofstream out(root / rel, std::ios::binary);
        std::vector<std::uint64_t> block(8192);
        for (std::int64_t left = sizes[i]; left > 0;) {
            for (auto& w : block) {
                w = random();
            }
            const auto n = std::min<std::int64_t>(left, block.size() * 8);
            out.write(reinterpret_cast<const char*>(block.data()), n);
            left -= n;
        }
        storage.add_file(rel, sizes[i]);
    }
    lt::create_torrent ct(storage, pieceSize, lt::create_torrent::v1_only);
    int tier = 0;
    for (const auto& t : trackers) {
        ct.add_tracker(t, tier++);
    }
    lt::set_piece_hashes(ct, root.string());
    lt::bencode(std::back_inserter(set.torrent), ct.generate());
    return set;
}

bool SameFiles(const FileSet& set, const fs::path& folder) {
    for (std::size_t i = 0; i < set.sizes.size(); ++i) {
        const std::string rel = set.name + "/file" + std::to_string(i) + ".bin";
        std::ifstream a(set.root / rel, std::ios::binary), b(folder / rel, std::ios::binary);
        if (!a || !b) {
            return false;
        }
        std::vector<char> x(1 << 16), y(1 << 16);
        while (a && b) {
            a.read(x.data(), x.size());
            b.read(y.data(), y.size());
            if (a.gcount() != b.gcount() ||
                !std::equal(x.begin(), x.begin() + a.gcount(), y.begin())) {
                return false;
            }
        }
        if (bool(a) != bool(b)) {
            return false;
        }
    }
    return true;
}

TakenPort::TakenPort(std::uint16_t port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, 4) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

TakenPort::~TakenPort() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

bool OnlyLoopback() {
    struct if_nameindex* names = if_nameindex();
    if (names == nullptr) {
        return false;
    }
    int count = 0;
    bool lo = false;
    for (struct if_nameindex* n = names; n->if_index != 0; ++n) {
        ++count;
        lo = lo || std::string(n->if_name) == "lo";
    }
    if_freenameindex(names);
    return count == 1 && lo;
}

bool AddLoopbackAddress(const std::string& address) {
    if (!OnlyLoopback()) {
        return false;
    }
    const std::string command = "ip addr add " + address + "/32 dev lo 2>/dev/null";
    return std::system(command.c_str()) == 0;
}
