#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace swarm {

// A TCP port that takes every connection and resets it at once: a host whose service is gone
// while its network still answers. Keeps who each connection it reset came from.
class ResettingPort {
public:
    // Throws std::runtime_error when address:port cannot be bound.
    ResettingPort(const std::string& address, int port);
    ~ResettingPort();
    ResettingPort(const ResettingPort&) = delete;
    ResettingPort& operator=(const ResettingPort&) = delete;

    // The remote address of each connection reset so far, in order.
    std::vector<std::string> resetFrom() const;

private:
    void run();

    int fd_ = -1;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> resetFrom_;
    std::thread thread_;
};

} // namespace swarm
