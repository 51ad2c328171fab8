#include "engine/ListenPortDraw.h"

int PortRandom::next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
}

std::uint16_t DrawListenPort(int r) {
    return static_cast<std::uint16_t>(10000 + (r % 55535));
}
