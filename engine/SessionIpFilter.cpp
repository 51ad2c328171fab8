#include "engine/SessionIpFilter.h"

#include <cstdint>
#include <optional>

#include <libtorrent/address.hpp>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/session.hpp>

namespace lt = libtorrent;

namespace {

std::optional<lt::address> Parse(const std::string& text) {
    lt::error_code ec;
    const lt::address a = lt::make_address(text, ec);
    if (ec) {
        return std::nullopt;
    }
    return a;
}

void AddRule(lt::ip_filter& filter, const std::string& text, std::uint32_t access) {
    if (const auto a = Parse(text)) {
        filter.add_rule(*a, *a, access);
    }
}

// Later rules override earlier ones, so the allowed address goes after the blocked ones.
lt::ip_filter Rules(const std::vector<std::string>& blocked, const std::string& allowed) {
    lt::ip_filter filter;
    for (const auto& a : blocked) {
        AddRule(filter, a, lt::ip_filter::blocked);
    }
    AddRule(filter, allowed, 0);
    return filter;
}

} // namespace

SessionIpFilter::SessionIpFilter(lt::session& session) : session_(session) {}

void SessionIpFilter::BlockAddresses(const std::vector<std::string>& addresses,
                                     const std::string& allowed) {
    blocked_ = addresses;
    allowed_ = allowed;
    Apply();
}

void SessionIpFilter::AllowAddress(const std::string& address) {
    allowed_ = address;
    Apply();
}

void SessionIpFilter::Clear() {
    blocked_.clear();
    allowed_.clear();
    Apply();
}

void SessionIpFilter::ForgetPeerListEntries(const std::string& address) {
    if (!Parse(address)) {
        return;
    }
    // Built from the rules held here: reading the session's filter back would be a round trip
    // to the network thread.
    lt::ip_filter withBlock = Rules(blocked_, allowed_);
    AddRule(withBlock, address, lt::ip_filter::blocked);
    session_.set_ip_filter(withBlock);
    filterSet_ = true;
    Apply();
}

void SessionIpFilter::Apply() {
    if (blocked_.empty()) {
        if (filterSet_) {
            session_.set_ip_filter(lt::ip_filter());
            filterSet_ = false;
        }
        return;
    }
    session_.set_ip_filter(Rules(blocked_, allowed_));
    filterSet_ = true;
}
