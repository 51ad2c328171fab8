#include "app/SaveFolderText.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(SaveFolderText, EachRefusalNamesItsFiguresOrReasonAndWhatToDo) {
    using Refusal = SaveFolderVerdict::Refusal;
    SaveFolderVerdict v;
    EXPECT_EQ(FolderRefusalText(v), "");

    v.refusal = Refusal::NotEnoughSpace;
    v.neededBytes = 3ull << 30;
    v.freeBytes = 1536ull << 20;
    EXPECT_EQ(FolderRefusalText(v), "Not enough disk space: 3.00 GB more is needed, 1.50 GB is "
                                    "free. Please make room or choose another folder");

    v.refusal = Refusal::FileTooLarge;
    v.file = "Emberway Installer/Data/Game.pak";
    v.fileSize = 5ull << 30;
    v.fileLimit = kFatMaxFileSize;
    EXPECT_EQ(FolderRefusalText(v), "This drive cannot hold a file of 4.00 GB or more, and the "
                                    "file Emberway Installer/Data/Game.pak is 5.00 GB. Please "
                                    "choose a folder on another drive");
    v.file = "%2 %3.pak"; // a name is not a pattern
    EXPECT_TRUE(FolderRefusalText(v).contains("the file %2 %3.pak is 5.00 GB"))
        << FolderRefusalText(v).toStdString();

    v.refusal = Refusal::NotWritable;
    v.writeError = EROFS;
    EXPECT_EQ(FolderRefusalText(v),
              "Cannot write to this folder (the drive is read-only). Please choose another folder");
    for (const int error : {EACCES, EPERM}) {
        v.writeError = error;
        EXPECT_EQ(FolderRefusalText(v),
                  "Cannot write to this folder (permission denied). Please choose another folder");
    }
    v.writeError = ENOTDIR;
    EXPECT_TRUE(FolderRefusalText(v).startsWith("Cannot write to this folder (Not a directory)"));
}

TEST(SaveFolderText, OnlyAFullDiskAsksForSpace) {
    const QString full = "Disk space is full. Please try again after gaining additional disk space";
    for (const int error : {ENOSPC, EDQUOT, ENOTDIR, EIO, 0}) {
        EXPECT_EQ(FileErrorText(error), full) << error;
    }
    EXPECT_EQ(FileErrorText(EFBIG), "A file is too large for this drive. Freeing disk space will "
                                    "not help: please restart and choose a folder on another "
                                    "drive");
    EXPECT_EQ(FileErrorText(EROFS), "The drive is read-only. Freeing disk space will not help: "
                                    "please restart and choose another folder");
    for (const int error : {EACCES, EPERM}) {
        EXPECT_EQ(FileErrorText(error), "Permission to write the files was denied. Freeing disk "
                                        "space will not help: please restart and choose another "
                                        "folder");
    }
}
