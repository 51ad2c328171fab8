#pragma once

#include <cstdint>

// Descriptors kept out of the library's file pool: listen and peer sockets (70 connections
// and their half-open attempts), tracker and web seed requests, the window system's own, the
// report threads and the crash dump file.
inline constexpr std::uint64_t kReservedDescriptors = 256;
// The most files the library keeps open at once, however high the limit.
inline constexpr int kMaxFilePoolSize = 65535;

// How many files the library may keep open under a process limit of openFileLimit
// descriptors: the limit less the reserve, at least a quarter of the limit.
int FilePoolSize(std::uint64_t openFileLimit);

// Raises this process's soft open-file limit to its hard limit and returns the soft limit
// that holds afterwards (the old one when it cannot be raised).
std::uint64_t RaiseOpenFileLimit();
// The soft open-file limit that holds now.
std::uint64_t CurrentOpenFileLimit();
