#include "engine/SaveFolderProbe.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Far enough that a file system without sparse files allocates more than one block of any
// usual size for the byte written there.
constexpr off_t kTrialGap = 1 << 20;

std::string MountTable() {
    std::ifstream in("/proc/self/mountinfo");
    return {std::istreambuf_iterator<char>(in), {}};
}

// Makes a file, writes one byte kTrialGap into it and sees how much it takes; returns the
// error number of making it, 0 when it was made.
int TrialWrite(const std::string& folder, bool& sparseFiles) {
    std::string name = folder + "/.kestrel-write-check-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        return errno;
    }
    struct stat st {};
    const char byte = 0;
    // A write that fails (a full disk) tells nothing about sparse files: the files are then
    // taken to be whole, as on the file systems that have none.
    sparseFiles = ::pwrite(fd, &byte, 1, kTrialGap) == 1 && ::fstat(fd, &st) == 0 &&
                  static_cast<off_t>(st.st_blocks) * 512 < kTrialGap;
    ::close(fd);
    ::unlink(name.c_str());
    return 0;
}

std::uint64_t AllocatedBytes(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return 0;
    }
    return static_cast<std::uint64_t>(st.st_blocks) * 512;
}

} // namespace

FolderFacts ProbeSaveFolder(const QString& folder) {
    FolderFacts facts;
    const std::string path = folder.toStdString();
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) {
        facts.writeError = ec.value();
        return facts;
    }
    struct statfs fsInfo {};
    struct statvfs space {};
    struct stat st {};
    if (::statfs(path.c_str(), &fsInfo) != 0 || ::statvfs(path.c_str(), &space) != 0 ||
        ::stat(path.c_str(), &st) != 0) {
        facts.writeError = errno;
        return facts;
    }
    facts.magic = static_cast<std::uint64_t>(fsInfo.f_type);
    facts.mountType = MountTypeOf(MountTable(), major(st.st_dev), minor(st.st_dev));
    if (space.f_frsize > 0) {
        facts.blockSize = space.f_frsize;
    }
    // Some FUSE programs answer the size inquiry with zeros: no size known, rather than full.
    if (space.f_blocks > 0) {
        facts.freeBytes = static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
    }
    facts.writeError = TrialWrite(path, facts.sparseFiles);
    return facts;
}

SaveFolderVerdict CheckSaveFolder(const QString& folder, std::vector<FolderFile> files) {
    const FolderFacts facts = ProbeSaveFolder(folder);
    const fs::path root = folder.toStdString();
    for (FolderFile& f : files) {
        f.allocated = AllocatedBytes(root / f.path.toStdString());
    }
    return JudgeSaveFolder(facts, files);
}
