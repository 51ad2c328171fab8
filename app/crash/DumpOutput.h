#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>

#include <unistd.h>

// The dump file as a fatal-signal handler writes it: plain writes, no allocation.
namespace crash {

// Where the file has got to, and whether every write so far went through.
struct Output {
    int fd;
    std::uint32_t position = 0;
    bool ok = true;

    void bytes(const void* data, std::size_t length) {
        const char* p = static_cast<const char*>(data);
        while (ok && length > 0) {
            const ssize_t n = ::write(fd, p, length);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                ok = false;
                return;
            }
            p += n;
            length -= static_cast<std::size_t>(n);
            position += static_cast<std::uint32_t>(n);
        }
    }
    void u16(std::uint16_t v) { bytes(&v, sizeof v); }
    void u32(std::uint32_t v) { bytes(&v, sizeof v); }
    void u64(std::uint64_t v) { bytes(&v, sizeof v); }
    void zeros(std::size_t length) {
        static const unsigned char none[64] = {};
        while (length > 0) {
            const std::size_t n = length < sizeof none ? length : sizeof none;
            bytes(none, n);
            length -= n;
        }
    }
    void align4() { zeros((4 - position % 4) % 4); }
};

struct Location {
    std::uint32_t size = 0;
    std::uint32_t rva = 0;
};

} // namespace crash
