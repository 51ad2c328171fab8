#include "engine/LocalAddress.h"

#include <ifaddrs.h>
#include <netdb.h>
#include <sys/socket.h>

#include <boost/asio/ip/address.hpp>

namespace {

bool Usable(const boost::asio::ip::address& a) {
    return !a.is_loopback() && !a.is_multicast() && !a.is_unspecified();
}

} // namespace

std::string PickLocalAddress(const std::vector<std::string>& interfaceAddresses) {
    std::string firstV6;
    for (const auto& text : interfaceAddresses) {
        boost::system::error_code ec;
        const auto a = boost::asio::ip::make_address(text, ec);
        if (ec || !Usable(a)) {
            continue;
        }
        if (a.is_v4()) {
            return a.to_string();
        }
        if (firstV6.empty()) {
            firstV6 = a.to_string();
        }
    }
    return firstV6.empty() ? std::string("0.0.0.0") : firstV6;
}

std::string GuessLocalAddress() {
    std::vector<std::string> texts;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
            if (i->ifa_addr == nullptr) {
                continue;
            }
            const int family = i->ifa_addr->sa_family;
            if (family != AF_INET && family != AF_INET6) {
                continue;
            }
            char host[NI_MAXHOST] = {};
            const socklen_t len = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
            if (getnameinfo(i->ifa_addr, len, host, sizeof host, nullptr, 0, NI_NUMERICHOST) == 0) {
                std::string text(host);
                // A scoped IPv6 text carries "%interface", which is no address.
                if (auto pct = text.find('%'); pct != std::string::npos) {
                    text.resize(pct);
                }
                texts.push_back(text);
            }
        }
        freeifaddrs(list);
    }
    return PickLocalAddress(texts);
}
