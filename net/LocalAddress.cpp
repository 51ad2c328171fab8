#include "net/LocalAddress.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <optional>

namespace {

// An address text in its canonical form, or nothing when it is no address or one the
// statistics cannot use: loopback, multicast or unspecified.
std::optional<std::string> UsableV4(const std::string& text) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) {
        return std::nullopt;
    }
    const std::uint32_t host = ntohl(a.s_addr);
    if (host == 0 || (host >> 24) == 127 || (host >> 28) == 0xE) {
        return std::nullopt;
    }
    std::array<char, INET_ADDRSTRLEN> out{};
    return std::string(inet_ntop(AF_INET, &a, out.data(), out.size()));
}

std::optional<std::string> UsableV6(const std::string& text) {
    in6_addr a{};
    if (inet_pton(AF_INET6, text.c_str(), &a) != 1 || IN6_IS_ADDR_UNSPECIFIED(&a) ||
        IN6_IS_ADDR_LOOPBACK(&a) || IN6_IS_ADDR_MULTICAST(&a)) {
        return std::nullopt;
    }
    std::array<char, INET6_ADDRSTRLEN> out{};
    return std::string(inet_ntop(AF_INET6, &a, out.data(), out.size()));
}

} // namespace

std::string PickLocalAddress(const std::vector<std::string>& interfaceAddresses) {
    std::optional<std::string> firstV6;
    for (const auto& text : interfaceAddresses) {
        if (auto v4 = UsableV4(text)) {
            return *v4;
        }
        if (!firstV6) {
            firstV6 = UsableV6(text);
        }
    }
    return firstV6.value_or("0.0.0.0");
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
