#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace publisher {

// Writes a file set shaped like a game installer under parent/name: one large archive, a few
// medium ones and some small files, totalBytes in all. The content depends only on seed, so two
// calls with the same arguments write the same bytes (a torrent made from one seeds the other).
// Returns parent/name. Throws std::filesystem::filesystem_error when a file cannot be written.
std::filesystem::path GenerateFileSet(const std::filesystem::path& parent, const std::string& name,
                                      std::uint64_t totalBytes, std::uint32_t seed);

// Writes files of pseudo-random bytes, the given sizes, as parent/name/file0.bin, file1.bin, ...
// The content depends only on seed. Returns parent/name. Throws as GenerateFileSet does.
std::filesystem::path WriteRandomFiles(const std::filesystem::path& parent, const std::string& name,
                                       const std::vector<std::uint64_t>& sizes, std::uint32_t seed);

} // namespace publisher
