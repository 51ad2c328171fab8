#pragma once

#include <QString>

#include "net/DownloadCheckResult.h"
#include "net/StatisticsRecord.h"

class Prompt;
class QWidget;

// Size of the buffer the caller hands in for the torrent file.
inline constexpr std::uint32_t kTorrentBufferSize = 2'097'152;

// Asks the file server whether the download may begin and fetches the torrent into
// torrentBuffer (kTorrentBufferSize bytes). True when it may begin: result and the statistics
// page addresses are filled. False after the user has been told why in a message box; pages the
// answer offers are opened through the prompt.
bool RunDownloadCheck(QWidget* owner, Prompt& prompt, const QString& fileServer,
                      DownloadCheckResult& result, StatisticsRecord& statistics,
                      char* torrentBuffer /* 2,097,152 bytes */);
