#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include <sys/types.h>

// What one process has used so far, as the kernel counts it: processor time of all its
// threads, living and ended, and its memory.
struct ProcessUsage {
    double userSeconds = 0;
    double systemSeconds = 0;
    std::uint64_t anonymousBytes = 0; // resident anonymous memory (heap, stacks, buffers)
    std::uint64_t peakBytes = 0;      // the resident set's high-water mark, file pages included
};

// The processor times (user, system) in clock ticks from the text of /proc/PID/stat. The
// command name in it may hold spaces and parentheses; the fields follow its last ')'.
std::optional<std::pair<std::uint64_t, std::uint64_t>> ParseStatTimes(const std::string& stat);

// A "Name:   1234 kB" field of /proc/PID/status, in bytes.
std::optional<std::uint64_t> ParseStatusField(const std::string& status, const std::string& name);

// Processor time of each living thread of a process, by thread id: its name and seconds.
struct ThreadTime {
    std::string name;
    double userSeconds = 0;
    double systemSeconds = 0;
};
std::map<int, ThreadTime> ReadThreadTimes(pid_t pid);

// Reads both files of a running process; nothing when it is gone.
std::optional<ProcessUsage> ReadProcessUsage(pid_t pid);

// Starts the process's high-water mark of memory afresh from its present size (the caller
// must own the process).
bool ResetPeakMemory(pid_t pid);
