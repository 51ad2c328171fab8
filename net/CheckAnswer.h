#pragma once

#include <cstdint>
#include <vector>

#include <QString>
#include <QStringList>

#include "net/DownloadCheckResult.h"
#include "platform/BuildInfo.h"

// The download check's answer, split at "|": what the program may do with it.
enum class CheckVerdict {
    TooFewFields,  // no "|" at all
    ServiceClosed, // field 0 is "-1"; field 1 is the page to offer
    NewVersion,    // field 0 is another version; field 1 is the page to offer
    InvalidData,   // field 0 is ours but the answer does not have 11 fields
    Proceed,       // field 0 is ours and all 11 fields are there
};

// The program's version text, compared with field 0 as a whole.
inline QString CheckVersionText() {
    return QString::fromLatin1(build::kVersionText);
}

inline constexpr qsizetype kCheckFieldCount = 11;

CheckVerdict ClassifyCheckAnswer(const QStringList& fields);

// Field 6: the server peers' port, the low 16 bits of the number it starts with.
std::uint16_t ServerPeerPort(const QString& field);

// Field 7: comma-separated IPv4 or IPv6 address texts, in order, each with port. An empty field
// gives none. An element that is not an address text is skipped; the others are used.
std::vector<PeerEndpoint> ServerPeerList(const QString& field, std::uint16_t port);

// Field 8: "call-in,release" in KiB/s. False unless there are exactly two elements; otherwise
// both rates in bytes per second (negative values give 0, values past 32 bits the 32-bit maximum).
bool ServerPeerRates(const QString& field, std::uint32_t& callInRate, std::uint32_t& releaseRate);
