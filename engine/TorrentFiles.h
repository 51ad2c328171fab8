#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "engine/SaveFolderRule.h"

// The files the torrent puts into the save folder (pad files, which are never written, left
// out), each with its path under the folder and its size; none for bytes that do not decode
// as a torrent within the library's limits.
std::optional<std::vector<FolderFile>> TorrentFilesOf(const char* data, std::size_t length);
