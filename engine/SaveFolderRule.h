#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QString>

// Which of the library's disk back ends the session runs on. Mapped files are the library's
// default; the POSIX one reads and writes with plain calls, which FUSE drives and file systems
// without sparse files need (a mapped write far into a file there faults, or zero-fills all
// before it first).
enum class DiskBackEnd { Mapped, Posix };

// The largest file FAT12, FAT16 and FAT32 can hold: 4 GiB less one byte.
inline constexpr std::uint64_t kFatMaxFileSize = 4294967295ull;

// What the save folder's file system tells about itself.
struct FolderFacts {
    // The system's error number of a trial write into the folder; 0 when it was taken.
    int writeError = 0;
    // Free bytes for an ordinary user; none when the file system reports no sizes at all.
    std::optional<std::uint64_t> freeBytes;
    // The unit the file system allocates in; every file takes a whole number of them.
    std::uint64_t blockSize = 4096;
    // statfs's f_type, and the mount's type as the system lists it ("ext4", "fuse.fusefat").
    std::uint64_t magic = 0;
    std::string mountType;
    // Whether a byte written far into an empty file left the bytes before it unallocated.
    bool sparseFiles = true;
};

// One file of the torrent, what it will take and what it already takes there.
struct FolderFile {
    QString path; // relative to the save folder
    std::uint64_t size = 0;
    std::uint64_t allocated = 0;
};

struct SaveFolderVerdict {
    enum class Refusal { None, NotWritable, FileTooLarge, NotEnoughSpace };
    Refusal refusal = Refusal::None;
    int writeError = 0;                           // NotWritable
    QString file;                                 // FileTooLarge: the largest file
    std::uint64_t fileSize = 0, fileLimit = 0;    // FileTooLarge
    std::uint64_t neededBytes = 0, freeBytes = 0; // NotEnoughSpace
    DiskBackEnd backEnd = DiskBackEnd::Mapped;
};

// Whether the mount is served by a program through FUSE.
bool IsFuseFileSystem(std::uint64_t magic, std::string_view mountType);
// The largest file the file system can hold, or none when no limit is known.
std::optional<std::uint64_t> MaxFileSize(std::uint64_t magic, std::string_view mountType);
// The mount type of the device major:minor in the text of /proc/self/mountinfo; empty when
// it is not listed.
std::string MountTypeOf(std::string_view mountinfo, unsigned major, unsigned minor);
// The space the files still need: each file in whole blocks, less what it takes already.
// Data already there counts whatever it holds: a re-check keeps it or writes over it in place.
std::uint64_t BytesStillNeeded(const std::vector<FolderFile>& files, std::uint64_t blockSize);
DiskBackEnd ChooseDiskBackEnd(bool fuse, bool sparseFiles);
// A folder that cannot be written (for another reason than a full disk), a file over the file
// system's limit, then too little free space, in that order: the first holds whatever the others
// say.
SaveFolderVerdict JudgeSaveFolder(const FolderFacts& facts, const std::vector<FolderFile>& files);
