#include "engine/SaveFolderRule.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

constexpr std::uint64_t kFuse = 0x65735546, kMsdos = 0x4d44, kExt4 = 0xef53;

FolderFacts Facts(std::uint64_t magic, std::string type, std::optional<std::uint64_t> free) {
    FolderFacts f;
    f.magic = magic;
    f.mountType = std::move(type);
    f.freeBytes = free;
    return f;
}

using Refusal = SaveFolderVerdict::Refusal;

} // namespace

TEST(SaveFolderRule, TheMountTableGivesTheTypeOfTheFoldersDevice) {
    const std::string table =
        "22 1 259:1 / / rw,relatime shared:1 - ext4 /dev/vda1 rw\n"
        "31 22 0:45 / /media/stick rw,nosuid - fuse.fusefat fusefat rw,user_id=0\n"
        "32 22 0:46 / /media/win rw shared:7 master:2 - fuseblk /dev/sdb1 rw,allow_other\n"
        "33 22 259:1 /home /srv/home rw - ext4 /dev/vda1 rw\n"
        "34 22 0:47 / /mnt/broken rw\n"; // no separator
    EXPECT_EQ(MountTypeOf(table, 259, 1), "ext4");
    EXPECT_EQ(MountTypeOf(table, 0, 45), "fuse.fusefat");
    EXPECT_EQ(MountTypeOf(table, 0, 46), "fuseblk"); // optional fields before "-"
    EXPECT_EQ(MountTypeOf(table, 0, 4), "");         // not 0:45 by prefix
    EXPECT_EQ(MountTypeOf(table, 0, 47), "");
    EXPECT_EQ(MountTypeOf(table, 7, 7), "");
    EXPECT_EQ(MountTypeOf("", 0, 45), "");
    EXPECT_EQ(MountTypeOf("1 2 0:45", 0, 45), "");
}

TEST(SaveFolderRule, FuseDrivesAndFatAreToldByMagicOrMountType) {
    EXPECT_TRUE(IsFuseFileSystem(kFuse, ""));
    EXPECT_TRUE(IsFuseFileSystem(0, "fuseblk"));
    EXPECT_TRUE(IsFuseFileSystem(0, "fuse.sshfs"));
    EXPECT_FALSE(IsFuseFileSystem(kExt4, "ext4"));
    EXPECT_FALSE(IsFuseFileSystem(kMsdos, "vfat"));

    EXPECT_EQ(MaxFileSize(kMsdos, "vfat"), kFatMaxFileSize);
    EXPECT_EQ(MaxFileSize(kMsdos, ""), kFatMaxFileSize);
    EXPECT_EQ(MaxFileSize(kFuse, "fuse.fusefat"), kFatMaxFileSize);
    EXPECT_EQ(MaxFileSize(kFuse, "fuseblk"), std::nullopt); // NTFS or exFAT: no limit that matters
    EXPECT_EQ(MaxFileSize(kFuse, "fuse.exfat"), std::nullopt);
    EXPECT_EQ(MaxFileSize(kExt4, "ext4"), std::nullopt);
    EXPECT_EQ(kFatMaxFileSize, (std::uint64_t{4} << 30) - 1);
}

TEST(SaveFolderRule, BytesStillNeededCountWholeBlocksLessWhatIsThere) {
    EXPECT_EQ(BytesStillNeeded({}, 4096), 0u);
    EXPECT_EQ(BytesStillNeeded({{"a", 1, 0}}, 4096), 4096u);
    EXPECT_EQ(BytesStillNeeded({{"a", 4096, 0}, {"b", 4097, 0}}, 4096), 3 * 4096u);
    EXPECT_EQ(BytesStillNeeded({{"a", 0, 0}}, 4096), 0u);
    // Partly there, wholly there, and more there than the file needs (preallocated).
    EXPECT_EQ(BytesStillNeeded({{"a", 10000, 4096}}, 4096), 2 * 4096u);
    EXPECT_EQ(BytesStillNeeded({{"a", 10000, 12288}, {"b", 100, 0}}, 4096), 4096u);
    EXPECT_EQ(BytesStillNeeded({{"a", 100, 1 << 20}, {"b", 100, 0}}, 512), 512u);
    EXPECT_EQ(BytesStillNeeded({{"a", 100, 0}}, 0), 100u);
}

TEST(SaveFolderRule, TheVerdictRefusesAtTheBoundaries) {
    const std::vector<FolderFile> files = {{"set/small", 4096, 0}, {"set/big", 8192, 4096}};
    // 8192 still needed.
    EXPECT_EQ(JudgeSaveFolder(Facts(kExt4, "ext4", 8192), files).refusal, Refusal::None);
    const SaveFolderVerdict full = JudgeSaveFolder(Facts(kExt4, "ext4", 8191), files);
    EXPECT_EQ(full.refusal, Refusal::NotEnoughSpace);
    EXPECT_EQ(full.neededBytes, 8192u);
    EXPECT_EQ(full.freeBytes, 8191u);
    // A file system that tells no sizes is not taken to be full.
    EXPECT_EQ(JudgeSaveFolder(Facts(kFuse, "fuse.fusefat", std::nullopt), files).refusal,
              Refusal::None);

    const std::vector<FolderFile> fits = {{"set/a", 10, 0}, {"set/pak", kFatMaxFileSize, 0}};
    const std::vector<FolderFile> over = {{"set/a", 10, 0}, {"set/pak", kFatMaxFileSize + 1, 0}};
    EXPECT_EQ(JudgeSaveFolder(Facts(kMsdos, "vfat", std::nullopt), fits).refusal, Refusal::None);
    const SaveFolderVerdict large = JudgeSaveFolder(Facts(kMsdos, "vfat", 1), over);
    EXPECT_EQ(large.refusal, Refusal::FileTooLarge); // before the space it would not fit in
    EXPECT_EQ(large.file, "set/pak");
    EXPECT_EQ(large.fileSize, kFatMaxFileSize + 1);
    EXPECT_EQ(large.fileLimit, kFatMaxFileSize);
    EXPECT_EQ(JudgeSaveFolder(Facts(kExt4, "ext4", std::nullopt), over).refusal, Refusal::None);

    FolderFacts readOnly = Facts(kMsdos, "vfat", 0);
    readOnly.writeError = EROFS;
    const SaveFolderVerdict refused = JudgeSaveFolder(readOnly, over);
    EXPECT_EQ(refused.refusal, Refusal::NotWritable); // before everything else
    EXPECT_EQ(refused.writeError, EROFS);
    FolderFacts noRoom = Facts(kExt4, "ext4", 0);
    noRoom.writeError = ENOSPC;
    EXPECT_EQ(JudgeSaveFolder(noRoom, files).refusal, Refusal::NotEnoughSpace);
}

TEST(SaveFolderRule, FuseDrivesAndFileSystemsWithoutSparseFilesGetThePosixBackEnd) {
    EXPECT_EQ(ChooseDiskBackEnd(false, true), DiskBackEnd::Mapped);
    EXPECT_EQ(ChooseDiskBackEnd(true, true), DiskBackEnd::Posix);
    EXPECT_EQ(ChooseDiskBackEnd(false, false), DiskBackEnd::Posix);
    FolderFacts fat = Facts(kMsdos, "vfat", 1 << 20);
    fat.sparseFiles = false;
    EXPECT_EQ(JudgeSaveFolder(fat, {}).backEnd, DiskBackEnd::Posix);
    EXPECT_EQ(JudgeSaveFolder(Facts(kFuse, "fuseblk", 1 << 20), {}).backEnd, DiskBackEnd::Posix);
    EXPECT_EQ(JudgeSaveFolder(Facts(kExt4, "ext4", 1 << 20), {}).backEnd, DiskBackEnd::Mapped);
}
