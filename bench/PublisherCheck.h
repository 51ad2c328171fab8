#pragma once

#include <vector>

#include <QString>

#include "engine/PeerSnapshot.h"
#include "net/DownloadCheckResult.h"

// The download check's answer as the sample publisher would give it, for a driver that sets
// up the program's sources without running the check: server peers, web seed and field 8's
// call-in and release rates in KiB/s. No torrent: the driver adds that itself.
DownloadCheckResult PublisherCheck(const std::vector<PeerEndpoint>& serverPeers,
                                   const QString& webSeedUrl, int callInKiB, int releaseKiB);
