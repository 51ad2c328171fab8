#pragma once

#include <cstddef>
#include <cstdint>

// The dump file's name, built without the C library's formatting or allocation, so that a
// fatal-signal handler may call these.

// The longest dump file name, without its terminating NUL.
constexpr std::size_t kDumpNameMax = 259;

struct DumpTime {
    int year = 0;
    int month = 0; // 1 to 12
    int day = 0;   // 1 to 31
    int hour = 0;  // 0 to 23
    int minute = 0;
    int second = 0;
};

// The calendar time of a count of seconds since 1970-01-01 00:00:00 (already shifted to local
// time by the caller), on the proleptic Gregorian calendar.
DumpTime CalendarTime(std::int64_t seconds);

// Writes folderPrefix, baseName and "_YYYY-MM-DD_hh-mm-ss.DMP" into out (kDumpNameMax + 1
// bytes), zero-padded, cut at kDumpNameMax characters; returns the name's length.
std::size_t FormatDumpName(char* out, const char* folderPrefix, const char* baseName,
                           const DumpTime& time);

// The program file's name without its folder and extension ("/usr/bin/kestrel.bin" gives
// "kestrel"), copied into out (capacity bytes, NUL-terminated).
void ProgramBaseName(const char* path, char* out, std::size_t capacity);
