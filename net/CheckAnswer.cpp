#include "net/CheckAnswer.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include <arpa/inet.h>
#include <netinet/in.h>

#include "net/TextFields.h"

namespace {

// An address text as a strict parser reads it (dotted quad or IPv6 text), normalised; empty when
// the text is not an address.
std::string normalisedAddress(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() == 0 || c.unicode() > 0x7E) {
            return {};
        }
    }
    const QByteArray ascii = text.toLatin1();
    char out[INET6_ADDRSTRLEN] = {};
    in_addr v4{};
    if (inet_pton(AF_INET, ascii.constData(), &v4) == 1) {
        return inet_ntop(AF_INET, &v4, out, sizeof out) != nullptr ? std::string(out) : "";
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, ascii.constData(), &v6) == 1) {
        return inet_ntop(AF_INET6, &v6, out, sizeof out) != nullptr ? std::string(out) : "";
    }
    return {};
}

std::uint32_t kibToBytes(int kib) {
    const std::int64_t bytes = std::int64_t{kib} * 1024;
    return static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(bytes, 0, std::numeric_limits<std::uint32_t>::max()));
}

} // namespace

CheckVerdict ClassifyCheckAnswer(const QStringList& fields) {
    if (fields.size() < 2) {
        return CheckVerdict::TooFewFields;
    }
    if (fields[0] != CheckVersionText()) {
        return fields[0] == u"-1" ? CheckVerdict::ServiceClosed : CheckVerdict::NewVersion;
    }
    return fields.size() == kCheckFieldCount ? CheckVerdict::Proceed : CheckVerdict::InvalidData;
}

std::uint16_t ServerPeerPort(const QString& field) {
    return static_cast<std::uint16_t>(static_cast<unsigned>(ParseLeadingInt(field)) & 0xFFFFu);
}

std::vector<PeerEndpoint> ServerPeerList(const QString& field, std::uint16_t port) {
    std::vector<PeerEndpoint> peers;
    for (const QString& element : SplitFields(field, QStringLiteral(","))) {
        std::string address = normalisedAddress(element);
        if (!address.empty()) {
            peers.push_back({std::move(address), port});
        }
    }
    return peers;
}

bool ServerPeerRates(const QString& field, std::uint32_t& callInRate, std::uint32_t& releaseRate) {
    const QStringList rates = SplitFields(field, QStringLiteral(","));
    if (rates.size() != 2) {
        return false;
    }
    callInRate = kibToBytes(ParseLeadingInt(rates[0]));
    releaseRate = kibToBytes(ParseLeadingInt(rates[1]));
    return true;
}
