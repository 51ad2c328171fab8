#include "tools/swarm/ResettingPort.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace swarm {

ResettingPort::ResettingPort(const std::string& address, int port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (fd_ < 0 || inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1 ||
        // Either, for the connections the port's last server left behind.
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) != 0 ||
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(fd_, 64) != 0) {
        const std::string why = std::strerror(errno);
        if (fd_ >= 0) {
            ::close(fd_);
        }
        throw std::runtime_error("resetting port: cannot listen on " + address + ":" +
                                 std::to_string(port) + ": " + why);
    }
    thread_ = std::thread([this] { run(); });
}

ResettingPort::~ResettingPort() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
}

void ResettingPort::run() {
    while (!stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) {
            continue;
        }
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const int c = ::accept4(fd_, reinterpret_cast<sockaddr*>(&from), &length, SOCK_CLOEXEC);
        if (c < 0) {
            continue;
        }
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        // A zero linger turns the close into a reset.
        const linger reset{1, 0};
        ::setsockopt(c, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(c);
        std::lock_guard lock(mutex_);
        resetFrom_.emplace_back(text);
    }
}

std::vector<std::string> ResettingPort::resetFrom() const {
    std::lock_guard lock(mutex_);
    return resetFrom_;
}

} // namespace swarm
