#include "app/SaveFolderText.h"

#include <cerrno>
#include <cstring>

#include "app/StatusText.h"

namespace {

QString WriteErrorReason(int error) {
    switch (error) {
    case EROFS:
        return QStringLiteral("the drive is read-only");
    case EACCES:
    case EPERM:
        return QStringLiteral("permission denied");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

} // namespace

QString FolderRefusalText(const SaveFolderVerdict& v) {
    using Refusal = SaveFolderVerdict::Refusal;
    switch (v.refusal) {
    case Refusal::NotWritable:
        return QStringLiteral("Cannot write to this folder (%1). Please choose another folder")
            .arg(WriteErrorReason(v.writeError));
    case Refusal::FileTooLarge:
        // FAT's limit is a byte short of 4 GiB: "4.00 GB or more" says it exactly.
        return QStringLiteral("This drive cannot hold a file of %1 or more, and the file %2 is "
                              "%3. Please choose a folder on another drive")
            .arg(ScaledText(v.fileLimit + 1), v.file, ScaledText(v.fileSize));
    case Refusal::NotEnoughSpace:
        return QStringLiteral("Not enough disk space: %1 more is needed, %2 is free. Please make "
                              "room or choose another folder")
            .arg(ScaledText(v.neededBytes), ScaledText(v.freeBytes));
    case Refusal::None:
        break;
    }
    return {};
}

QString FileErrorText(int systemError) {
    switch (systemError) {
    case EFBIG:
        return QStringLiteral("A file is too large for this drive. Freeing disk space will not "
                              "help: please restart and choose a folder on another drive");
    case EROFS:
        return QStringLiteral("The drive is read-only. Freeing disk space will not help: please "
                              "restart and choose another folder");
    case EACCES:
    case EPERM:
        return QStringLiteral("Permission to write the files was denied. Freeing disk space will "
                              "not help: please restart and choose another folder");
    default:
        // A full disk, and any error the program cannot tell apart from one.
        return QStringLiteral(
            "Disk space is full. Please try again after gaining additional disk space");
    }
}
