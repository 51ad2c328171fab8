#include "support/SwarmHarness.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <thread>

#include "FileSet.h"

namespace fs = std::filesystem;

FileSet MakeFileSet(const fs::path& root, const std::string& name,
                    const std::vector<std::int64_t>& sizes,
                    const std::vector<std::string>& trackers, int pieceSize,
                    publisher::TorrentKind kind) {
    FileSet set{root, name, sizes, {}};
    const std::vector<std::uint64_t> bytes(sizes.begin(), sizes.end());
    const auto folder = publisher::WriteRandomFiles(
        root, name, bytes, static_cast<std::uint32_t>(sizes.size() * 7919 + name.size()));
    set.torrent = publisher::MakeTorrent(folder, trackers, {}, pieceSize, kind);
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

bool Accepts(const std::string& address, int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
    close(fd);
    return ok;
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
