#pragma once

#include <vector>

#include <QString>

#include "engine/SaveFolderRule.h"

// What the save folder's file system says about itself, found by asking it and by one trial
// write: a small file made in the folder, a byte written 1 MiB into it, and the file removed
// again. A missing folder is made first, as the download would make it.
FolderFacts ProbeSaveFolder(const QString& folder);

// The verdict on folder for these files (their paths relative to it, their sizes), counting
// what each already takes there.
SaveFolderVerdict CheckSaveFolder(const QString& folder, std::vector<FolderFile> files);
