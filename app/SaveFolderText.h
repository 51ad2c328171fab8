#pragma once

#include <QString>

#include "engine/SaveFolderRule.h"

// Why the chosen folder cannot hold the game and what to do, with the figures; empty for a
// folder that can.
QString FolderRefusalText(const SaveFolderVerdict& verdict);

// The message for a file error with this system error number. Freeing space cures only a full
// disk; a file too large for the file system, a read-only one or a refused permission each
// say so.
QString FileErrorText(int systemError);
