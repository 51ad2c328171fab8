#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>

namespace swarm {

// A TCP port that takes every connection and resets it at once: a host whose service is gone
// while its network still answers. Counts the connections it reset.
class ResettingPort {
public:
    // Throws std::runtime_error when address:port cannot be bound.
    ResettingPort(const std::string& address, int port);
    ~ResettingPort();
    ResettingPort(const ResettingPort&) = delete;
    ResettingPort& operator=(const ResettingPort&) = delete;

    std::size_t resets() const { return resets_.load(); }

private:
    void run();

    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> resets_{0};
    std::thread thread_;
};

} // namespace swarm
