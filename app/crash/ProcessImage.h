#pragma once

#include <cstddef>
#include <cstdint>

// This process as a fatal-signal handler may read it: only system calls, no allocation, no
// locks. Memory that may be unmapped, a file, the memory map's lines and the ELF images mapped
// in with their build ids.
namespace crash {

// Copies memory of this process that may be unmapped or unreadable without touching it
// directly, so that a bad page cannot fault inside the handler. Returns the bytes copied
// from the start of the range.
std::size_t ReadMemory(void* to, std::uintptr_t from, std::size_t length);

// Reads up to capacity bytes of the file; returns how many it read (0 when it cannot open it).
std::size_t ReadFile(const char* path, char* to, std::size_t capacity);

// One line of the memory map: "start-end perms offset dev inode path".
struct Mapping {
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
    bool readable = false;
    std::uintptr_t offset = 0;
    const char* path = nullptr; // empty for anonymous mappings
};

inline constexpr std::size_t kBuildIdMax = 64;

struct Module {
    std::uintptr_t base;
    std::uintptr_t end;
    const char* path; // inside the map text, NUL-terminated there
    unsigned char buildId[kBuildIdMax];
    std::size_t buildIdLength;
};

// The modules in the map text (whose line ends become NULs): for each ELF file mapped from
// offset 0, its base and the end of the run of mappings of the same file that follows; at most
// capacity of them. Sets stack to the mapping that holds stackPointer.
std::size_t FindModules(char* mapsText, std::uintptr_t stackPointer, Mapping& stack,
                        Module* modules, std::size_t capacity);

} // namespace crash
