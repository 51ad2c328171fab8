#pragma once

#include <string>
#include <vector>

// The address this machine is reached at, for the statistics: the first interface address
// that is not loopback, multicast or unspecified, IPv4 before IPv6, else "0.0.0.0".
// Texts that are not addresses are skipped.
std::string PickLocalAddress(const std::vector<std::string>& interfaceAddresses);

// The rule above over this machine's interface addresses, in the system's order.
std::string GuessLocalAddress();
