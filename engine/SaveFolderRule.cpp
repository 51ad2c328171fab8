#include "engine/SaveFolderRule.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>

namespace {

constexpr std::uint64_t kFuseMagic = 0x65735546;
constexpr std::uint64_t kMsdosMagic = 0x4d44; // the kernel's msdos and vfat

// FUSE mounts list "fuse" or "fuseblk", then ".subtype" when the program names one.
std::string_view FuseSubtype(std::string_view mountType) {
    for (const std::string_view prefix : {"fuse.", "fuseblk."}) {
        if (mountType.starts_with(prefix)) {
            return mountType.substr(prefix.size());
        }
    }
    return {};
}

bool IsFat(std::uint64_t magic, std::string_view mountType) {
    constexpr std::array<std::string_view, 4> kFatNames = {"vfat", "msdos", "fat", "fusefat"};
    const std::string_view sub = FuseSubtype(mountType);
    const std::string_view name = sub.empty() ? mountType : sub;
    return magic == kMsdosMagic ||
           std::find(kFatNames.begin(), kFatNames.end(), name) != kFatNames.end();
}

std::uint64_t RoundUp(std::uint64_t bytes, std::uint64_t unit) {
    return unit == 0 ? bytes : (bytes + unit - 1) / unit * unit;
}

// The next space-separated field of line from at, moving at past it.
std::string_view NextField(std::string_view line, std::size_t& at) {
    while (at < line.size() && line[at] == ' ') {
        ++at;
    }
    const std::size_t end = std::min(line.find(' ', at), line.size());
    const std::string_view field = line.substr(at, end - at);
    at = end;
    return field;
}

bool IsDevice(std::string_view field, unsigned major, unsigned minor) {
    const std::size_t colon = field.find(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    unsigned a = 0, b = 0;
    const char* end = field.data() + field.size();
    const auto ra = std::from_chars(field.data(), field.data() + colon, a);
    const auto rb = std::from_chars(field.data() + colon + 1, end, b);
    return ra.ec == std::errc() && ra.ptr == field.data() + colon && rb.ec == std::errc() &&
           rb.ptr == end && a == major && b == minor;
}

} // namespace

bool IsFuseFileSystem(std::uint64_t magic, std::string_view mountType) {
    return magic == kFuseMagic || mountType == "fuse" || mountType == "fuseblk" ||
           !FuseSubtype(mountType).empty();
}

std::optional<std::uint64_t> MaxFileSize(std::uint64_t magic, std::string_view mountType) {
    if (IsFat(magic, mountType)) {
        return kFatMaxFileSize;
    }
    return std::nullopt;
}

std::string MountTypeOf(std::string_view mountinfo, unsigned major, unsigned minor) {
    // "36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 - ext3 /dev/root rw": the device is
    // the third field, the type the first after the lone "-". A device mounted twice (a bind
    // mount) has one type; the last line is taken.
    std::string type;
    while (!mountinfo.empty()) {
        const std::size_t eol = std::min(mountinfo.find('\n'), mountinfo.size());
        const std::string_view line = mountinfo.substr(0, eol);
        mountinfo.remove_prefix(std::min(eol + 1, mountinfo.size()));
        std::size_t at = 0;
        NextField(line, at);
        NextField(line, at);
        if (!IsDevice(NextField(line, at), major, minor)) {
            continue;
        }
        for (std::string_view f = NextField(line, at); !f.empty(); f = NextField(line, at)) {
            if (f == "-") {
                type = std::string(NextField(line, at));
                break;
            }
        }
    }
    return type;
}

std::uint64_t BytesStillNeeded(const std::vector<FolderFile>& files, std::uint64_t blockSize) {
    std::uint64_t needed = 0;
    for (const FolderFile& f : files) {
        const std::uint64_t whole = RoundUp(f.size, blockSize);
        needed += whole > f.allocated ? whole - f.allocated : 0;
    }
    return needed;
}

DiskBackEnd ChooseDiskBackEnd(bool fuse, bool sparseFiles) {
    return fuse || !sparseFiles ? DiskBackEnd::Posix : DiskBackEnd::Mapped;
}

SaveFolderVerdict JudgeSaveFolder(const FolderFacts& facts, const std::vector<FolderFile>& files) {
    using Refusal = SaveFolderVerdict::Refusal;
    SaveFolderVerdict v;
    v.backEnd =
        ChooseDiskBackEnd(IsFuseFileSystem(facts.magic, facts.mountType), facts.sparseFiles);
    // A disk too full for even the trial file is a matter of space, told with its figures.
    if (facts.writeError != 0 && facts.writeError != ENOSPC && facts.writeError != EDQUOT) {
        v.refusal = Refusal::NotWritable;
        v.writeError = facts.writeError;
        return v;
    }
    const auto largest = std::max_element(
        files.begin(), files.end(), [](const auto& a, const auto& b) { return a.size < b.size; });
    const std::optional<std::uint64_t> limit = MaxFileSize(facts.magic, facts.mountType);
    if (limit && largest != files.end() && largest->size > *limit) {
        v.refusal = Refusal::FileTooLarge;
        v.file = largest->path;
        v.fileSize = largest->size;
        v.fileLimit = *limit;
        return v;
    }
    const std::uint64_t needed = BytesStillNeeded(files, facts.blockSize);
    if (facts.freeBytes && needed > *facts.freeBytes) {
        v.refusal = Refusal::NotEnoughSpace;
        v.neededBytes = needed;
        v.freeBytes = *facts.freeBytes;
    }
    return v;
}
