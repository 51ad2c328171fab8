#pragma once

#include <cstdint>

// The C library generator the port rule was made for: values 0 to 32767, seeded with the time
// in seconds. glibc's rand() is wider, so the program carries its own.
class PortRandom {
public:
    static constexpr int kMax = 32767;

    explicit PortRandom(std::uint32_t seed) : state_(seed) {}
    int next();

private:
    std::uint32_t state_;
};

// One attempt's port: 10000 + (r mod 55535). With r at most 32767 the port lies in 10000 to
// 42767 and never wraps.
std::uint16_t DrawListenPort(int r);
