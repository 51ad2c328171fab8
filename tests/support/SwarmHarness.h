#pragma once

// Helpers for the session tests: a file set on disk with its torrent, waiting, temp folders,
// taken ports and loopback addresses inside the test's own network namespace.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "TorrentMaker.h"
#include "support/TempFolder.h"
#include "support/WaitFor.h"

// Files of pseudo-random bytes under root/name (file0.bin, file1.bin, ...), and their torrent
// (v1 unless told otherwise).
struct FileSet {
    std::filesystem::path root; // the folder holding `name`
    std::string name;
    std::vector<std::int64_t> sizes;
    std::vector<char> torrent; // bencoded
};
FileSet MakeFileSet(const std::filesystem::path& root, const std::string& name,
                    const std::vector<std::int64_t>& sizes,
                    const std::vector<std::string>& trackers = {}, int pieceSize = 256 * 1024,
                    publisher::TorrentKind kind = publisher::TorrentKind::V1);
// True when every file of the set under `folder` has the same bytes as under the set's root.
bool SameFiles(const FileSet& set, const std::filesystem::path& folder);

// A TCP socket listening on 0.0.0.0:port, keeping the port taken; port 0 takes a free one.
class TakenPort {
public:
    explicit TakenPort(std::uint16_t port);
    ~TakenPort();
    bool ok() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// True when something accepts TCP connections on address:port (an IPv4 address).
bool Accepts(const std::string& address, int port);

// True inside a network namespace of the tests' own: lo is the only interface.
bool OnlyLoopback();
// Adds an address to lo, only inside such a namespace; false when not possible.
bool AddLoopbackAddress(const std::string& address);
