#include "FileSet.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

namespace publisher {

namespace {

struct PlannedFile {
    const char* path;
    std::uint64_t bytes;
};

// splitmix64: cheap, good enough to make every block differ, and the same on every machine.
class BlockGenerator {
public:
    explicit BlockGenerator(std::uint64_t seed) : state_(seed) {}

    void fill(std::uint64_t* words, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
            words[i] = z ^ (z >> 31);
        }
    }

private:
    std::uint64_t state_;
};

// Shares of the total, in parts per 1000: one large archive, three medium, eight small.
constexpr std::array<std::pair<const char*, unsigned>, 12> kLayout{{
    {"Data/Game.pak", 700},
    {"Data/Textures.pak", 110},
    {"Data/Sound.pak", 80},
    {"Data/Movies.pak", 60},
    {"Setup.exe", 20},
    {"Bin/Engine.dll", 12},
    {"Bin/Launcher.exe", 8},
    {"Bin/Patch.dll", 4},
    {"Config/Default.ini", 2},
    {"Config/Keys.ini", 1},
    {"Readme.txt", 2},
    {"License.txt", 1},
}};

std::vector<PlannedFile> planFiles(std::uint64_t totalBytes) {
    std::vector<PlannedFile> plan;
    std::uint64_t assigned = 0;
    for (const auto& [path, share] : kLayout) {
        // Split the total without overflow for any 64-bit size.
        const std::uint64_t bytes = totalBytes / 1000 * share + totalBytes % 1000 * share / 1000;
        if (bytes > 0) {
            plan.push_back({path, bytes});
            assigned += bytes;
        }
    }
    // Rounding leftovers go to the large archive so the sizes add up exactly.
    if (plan.empty()) {
        if (totalBytes > 0) {
            plan.push_back({kLayout[0].first, totalBytes});
        }
    } else {
        plan.front().bytes += totalBytes - assigned;
    }
    return plan;
}

void writeFile(const std::filesystem::path& file, std::uint64_t bytes, std::uint64_t seed) {
    std::filesystem::create_directories(file.parent_path());
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(file.c_str(), "wb"),
                                                        &std::fclose);
    if (!out) {
        throw std::filesystem::filesystem_error("cannot create", file,
                                                std::error_code(errno, std::generic_category()));
    }
    // 4 MiB per write, and no more than the file holds: a set of thousands of small files
    // otherwise spends its time clearing a block it never uses.
    constexpr std::uint64_t kBlockWords = 512 * 1024;
    std::vector<std::uint64_t> block(
        static_cast<std::size_t>(std::min<std::uint64_t>(kBlockWords, (bytes + 7) / 8)));
    BlockGenerator generator(seed);
    std::uint64_t left = bytes;
    while (left > 0) {
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size() * 8));
        generator.fill(block.data(), (chunk + 7) / 8);
        if (std::fwrite(block.data(), 1, chunk, out.get()) != chunk) {
            throw std::filesystem::filesystem_error(
                "cannot write", file, std::error_code(errno, std::generic_category()));
        }
        left -= chunk;
    }
    if (std::fclose(out.release()) != 0) {
        throw std::filesystem::filesystem_error("cannot close", file,
                                                std::error_code(errno, std::generic_category()));
    }
}

} // namespace

std::filesystem::path GenerateFileSet(const std::filesystem::path& parent, const std::string& name,
                                      std::uint64_t totalBytes, std::uint32_t seed) {
    const std::filesystem::path root = parent / name;
    std::filesystem::create_directories(root);
    std::uint64_t index = 0;
    for (const PlannedFile& f : planFiles(totalBytes)) {
        ++index;
        writeFile(root / f.path, f.bytes, (std::uint64_t{seed} << 32) ^ (index * 0x100000001ULL));
    }
    return root;
}

std::filesystem::path WriteRandomFiles(const std::filesystem::path& parent, const std::string& name,
                                       const std::vector<std::uint64_t>& sizes,
                                       std::uint32_t seed) {
    const std::filesystem::path root = parent / name;
    std::filesystem::create_directories(root);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        writeFile(root / ("file" + std::to_string(i) + ".bin"), sizes[i],
                  (std::uint64_t{seed} << 32) ^ ((i + 1) * 0x100000001ULL));
    }
    return root;
}

} // namespace publisher
