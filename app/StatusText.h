#pragma once

#include <cstdint>
#include <optional>

#include <QString>

#include "engine/DownloadTask.h"

// The texts of the status display, as plain functions of their figures.

// Unit codes: 1 bytes, 2 KB, 3 MB, 4 GB; nothing above GB.
struct ScaledBytes {
    int unit = 1;
    double value = 0.0;
};
ScaledBytes ScaleBytes(std::uint64_t count);
// "B", "KB", "MB", "GB"; empty for any other code.
QString UnitName(int unit);
// "1.50 KB": the count scaled, with two decimals and its unit.
QString ScaledText(std::uint64_t count);

// " : 10.00 MB / 2.00 GB"
QString SizeLineText(std::uint64_t done, std::uint64_t total);
// " : 1.95 KB/s - About 8m 20s Remains"; the rate alone when the hours are 65535 or the time is
// unknown.
QString RateLineText(std::uint32_t rate, std::optional<RemainingTime> left);
// " : 12 peers (Listen port : 23456)", or without the port when it is 0.
QString PeersLineText(int count, quint16 listenPort);
// "37%"
QString PercentText(int percent);
// " : folder/name", with one "/" between the two.
QString FilePathText(const QString& folder, const QString& name);
