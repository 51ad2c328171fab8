#pragma once

#include <csignal>
#include <cstdint>

// Writes a minidump of the calling thread from inside a fatal-signal handler: only system
// calls, no allocation, no locks. The streams: the crashing thread (registers from the signal
// context, its stack memory), the memory list holding that stack, the modules mapped from ELF
// files with their build ids, the exception (signal, code, address), system information,
// the process id, and the memory map as text. x86-64 only.
class MinidumpWriter {
public:
    // Gathers what does not change while the process runs: the system's version and CPU count.
    // Call once, outside any handler.
    static void Prepare();

    // Writes the dump to fd (open for writing, empty); false when a write failed.
    static bool Write(int fd, const siginfo_t& info, const void* signalContext);
};
