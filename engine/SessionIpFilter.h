#pragma once

#include <string>
#include <vector>

namespace libtorrent {
struct session;
}

// The one owner of the session's IP filter: it holds the rules the program wants and is the
// only code that replaces the session's filter, so no change can lose another's rules. Until
// it is given blocked addresses the session has no filter. Addresses are IPv4 or IPv6 text;
// text that is no address is left out. Each call replaces the session's filter at most once.
class SessionIpFilter {
public:
    explicit SessionIpFilter(libtorrent::session& session);
    SessionIpFilter(const SessionIpFilter&) = delete;
    SessionIpFilter& operator=(const SessionIpFilter&) = delete;

    // Blocks every address of the list except `allowed` (none when empty) and applies that.
    // Connections to newly blocked addresses are dropped. An empty list sets no filter; one set
    // earlier is taken away.
    void BlockAddresses(const std::vector<std::string>& addresses, const std::string& allowed = {});
    // Lets one address through the blocked list, in place of the one allowed before; an empty
    // text allows none again. Applied only while the list is not empty.
    void AllowAddress(const std::string& address);
    // No rules: the blocked list and the allowed address are emptied, and a filter set earlier
    // is taken away.
    void Clear();

    const std::vector<std::string>& BlockedAddresses() const { return blocked_; }
    const std::string& AllowedAddress() const { return allowed_; }

    // Takes every entry of this address out of the torrents' peer lists, so that an endpoint
    // added next is tried at once even if it failed before: the address is blocked for a
    // moment, then the program's rules come back. Both changes reach the network thread in
    // order, before anything asked later.
    void ForgetPeerListEntries(const std::string& address);

private:
    void Apply();

    libtorrent::session& session_;
    std::vector<std::string> blocked_;
    std::string allowed_;
    // Whether the session holds a filter this object set.
    bool filterSet_ = false;
};
