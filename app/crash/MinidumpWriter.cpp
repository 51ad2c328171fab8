#include "app/crash/MinidumpWriter.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <ctime>

#include <sys/utsname.h>
#include <ucontext.h>
#include <unistd.h>

#include "app/crash/DumpOutput.h"
#include "app/crash/ProcessImage.h"

#if defined(__x86_64__)

namespace {

using namespace crash;

// Stream types and constants of the minidump format.
constexpr std::uint32_t kSignature = 0x504d444d; // "MDMP"
constexpr std::uint32_t kVersion = 0xa793;
constexpr std::uint32_t kThreadListStream = 3;
constexpr std::uint32_t kModuleListStream = 4;
constexpr std::uint32_t kMemoryListStream = 5;
constexpr std::uint32_t kExceptionStream = 6;
constexpr std::uint32_t kSystemInfoStream = 7;
constexpr std::uint32_t kMiscInfoStream = 15;
constexpr std::uint32_t kLinuxMapsStream = 0x47670009;
constexpr std::uint32_t kStreamCount = 7;
constexpr std::uint16_t kArchitectureAmd64 = 9;
constexpr std::uint32_t kPlatformLinux = 0x8201;
constexpr std::uint32_t kElfBuildIdSignature = 0x4270454c; // "BpEL"
constexpr std::uint32_t kContextAmd64All = 0x0010000f;     // control, integer, segments, FP
constexpr std::uint32_t kMiscProcessId = 1;

constexpr std::size_t kContextSize = 1232;
constexpr std::size_t kMiscInfoSize = 24;

// Below the stack pointer the ABI's red zone may hold live data; above it, enough for the
// deepest stacks the program's threads reach.
constexpr std::uintptr_t kRedZone = 128;
constexpr std::size_t kStackMax = 256 * 1024;
constexpr std::size_t kMapsMax = 1024 * 1024;
constexpr std::size_t kModulesMax = 512;

// Everything the handler fills lives here, not on the stack: a crash on a thread with a small
// stack must still be written.
char mapsText[kMapsMax];
char mapsCopy[kMapsMax];
Module modules[kModulesMax];
unsigned char chunk[64 * 1024];
unsigned char context[kContextSize];

// Filled by Prepare.
std::uint32_t processorCount = 1;
std::uint32_t osMajor = 0, osMinor = 0, osBuild = 0;
char osText[512];

// A path as the format's UTF-16 string: its byte length, the units, a NUL unit.
void WriteString(Output& out, const char* utf8) {
    std::uint32_t units = 0;
    auto each = [&](auto&& unit) {
        const auto* s = reinterpret_cast<const unsigned char*>(utf8);
        while (*s) {
            std::uint32_t c = *s++;
            int more = c >= 0xf0 ? 3 : c >= 0xe0 ? 2 : c >= 0xc0 ? 1 : 0;
            c &= more == 3 ? 0x07 : more == 2 ? 0x0f : more == 1 ? 0x1f : 0x7f;
            for (; more > 0 && (*s & 0xc0) == 0x80; --more) {
                c = (c << 6) | (*s++ & 0x3f);
            }
            if (c >= 0x10000) {
                c -= 0x10000;
                unit(static_cast<std::uint16_t>(0xd800 + (c >> 10)));
                unit(static_cast<std::uint16_t>(0xdc00 + (c & 0x3ff)));
            } else {
                unit(static_cast<std::uint16_t>(c));
            }
        }
    };
    each([&](std::uint16_t) { ++units; });
    out.u32(units * 2);
    each([&](std::uint16_t u) { out.u16(u); });
    out.u16(0);
}

// The registers of the signal context in the format's x86-64 context record.
void FillContext(const ucontext_t& uc) {
    std::memset(context, 0, sizeof context);
    const auto* g = uc.uc_mcontext.gregs;
    auto put16 = [](std::size_t at, std::uint64_t v) {
        const auto x = static_cast<std::uint16_t>(v);
        std::memcpy(context + at, &x, 2);
    };
    auto put32 = [](std::size_t at, std::uint64_t v) {
        const auto x = static_cast<std::uint32_t>(v);
        std::memcpy(context + at, &x, 4);
    };
    auto put64 = [](std::size_t at, std::uint64_t v) { std::memcpy(context + at, &v, 8); };
    put32(0x30, kContextAmd64All);
    const auto segments = static_cast<std::uint64_t>(g[REG_CSGSFS]); // cs, gs, fs, ss
    put16(0x38, segments);                                           // cs
    put16(0x3e, segments >> 32);                                     // fs
    put16(0x40, segments >> 16);                                     // gs
    put16(0x42, segments >> 48);                                     // ss
    put32(0x44, static_cast<std::uint64_t>(g[REG_EFL]));
    const int order[] = {REG_RAX, REG_RCX, REG_RDX, REG_RBX, REG_RSP, REG_RBP,
                         REG_RSI, REG_RDI, REG_R8,  REG_R9,  REG_R10, REG_R11,
                         REG_R12, REG_R13, REG_R14, REG_R15, REG_RIP};
    for (std::size_t i = 0; i < sizeof order / sizeof order[0]; ++i) {
        put64(0x78 + 8 * i, static_cast<std::uint64_t>(g[order[i]]));
    }
    if (uc.uc_mcontext.fpregs) {
        put32(0x34, uc.uc_mcontext.fpregs->mxcsr);
        std::memcpy(context + 0x100, uc.uc_mcontext.fpregs, 512); // the FXSAVE area
    }
}

// The file as it is written: its bytes so far and the directory of the streams in it.
struct Dump {
    Output out;
    struct Entry {
        std::uint32_t type;
        Location where;
    } directory[kStreamCount] = {};
    std::size_t entries = 0;

    // Enters the stream written from start up to here.
    void stream(std::uint32_t type, std::uint32_t start) {
        directory[entries++] = {type, {out.position - start, start}};
    }
};

// What the streams about the crashing thread share.
struct CrashedThread {
    std::uint32_t id;
    Location context;
    std::uintptr_t stackStart;
    Location stack;
};

// The header, with room for the directory that WriteDirectory fills last.
void WriteHeader(Output& out) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    out.u32(kSignature);
    out.u32(kVersion);
    out.u32(kStreamCount);
    out.u32(32); // the directory follows the header
    out.u32(0);
    out.u32(static_cast<std::uint32_t>(now.tv_sec));
    out.u64(0); // the normal kind: threads, stacks, modules
    out.zeros(kStreamCount * 12);
}

Location WriteContext(Output& out, const ucontext_t& uc) {
    FillContext(uc);
    const Location at{kContextSize, out.position};
    out.bytes(context, kContextSize);
    return at;
}

// The stack from just below the stack pointer to the top of its mapping, as far as it reads.
// Sets start to the first address written.
Location WriteStack(Output& out, std::uintptr_t stackPointer, const Mapping& stack,
                    std::uintptr_t& start) {
    Location at{0, out.position};
    start = stackPointer > kRedZone ? stackPointer - kRedZone : 0;
    if (!stack.readable) {
        return at;
    }
    if (start < stack.start) {
        start = stack.start;
    }
    std::uintptr_t end = stack.end;
    if (end - start > kStackMax) {
        end = start + kStackMax;
    }
    for (std::uintptr_t from = start; from < end;) {
        const std::size_t want = end - from < sizeof chunk ? end - from : sizeof chunk;
        const std::size_t got = ReadMemory(chunk, from, want);
        out.bytes(chunk, got);
        at.size += static_cast<std::uint32_t>(got);
        from += got;
        if (got < want) {
            break;
        }
    }
    return at;
}

void WriteThreadList(Dump& dump, const CrashedThread& thread) {
    Output& out = dump.out;
    const std::uint32_t start = out.position;
    out.u32(1);
    out.u32(thread.id);
    out.u32(0); // suspend count
    out.u32(0); // priority class
    out.u32(0); // priority
    out.u64(0); // thread environment block: none here
    out.u64(thread.stackStart);
    out.u32(thread.stack.size);
    out.u32(thread.stack.rva);
    out.u32(thread.context.size);
    out.u32(thread.context.rva);
    dump.stream(kThreadListStream, start);
}

void WriteMemoryList(Dump& dump, const CrashedThread& thread) {
    Output& out = dump.out;
    const std::uint32_t start = out.position;
    out.u32(1);
    out.u64(thread.stackStart);
    out.u32(thread.stack.size);
    out.u32(thread.stack.rva);
    dump.stream(kMemoryListStream, start);
}

// Names and build ids first, then the list that points at them.
void WriteModuleList(Dump& dump, std::size_t moduleCount) {
    Output& out = dump.out;
    static Location names[kModulesMax];
    static Location buildIds[kModulesMax];
    for (std::size_t i = 0; i < moduleCount; ++i) {
        out.align4();
        names[i].rva = out.position;
        WriteString(out, modules[i].path);
        out.align4();
        if (modules[i].buildIdLength == 0) {
            buildIds[i] = {};
            continue;
        }
        buildIds[i] = {static_cast<std::uint32_t>(4 + modules[i].buildIdLength), out.position};
        out.u32(kElfBuildIdSignature);
        out.bytes(modules[i].buildId, modules[i].buildIdLength);
    }
    out.align4();
    const std::uint32_t start = out.position;
    out.u32(static_cast<std::uint32_t>(moduleCount));
    for (std::size_t i = 0; i < moduleCount; ++i) {
        out.u64(modules[i].base);
        out.u32(static_cast<std::uint32_t>(modules[i].end - modules[i].base));
        out.u32(0); // checksum
        out.u32(0); // time stamp
        out.u32(names[i].rva);
        out.zeros(52); // version information: none
        out.u32(buildIds[i].size);
        out.u32(buildIds[i].rva);
        out.zeros(8 + 16); // no misc record; reserved
    }
    dump.stream(kModuleListStream, start);
}

void WriteException(Dump& dump, const CrashedThread& thread, const siginfo_t& info) {
    Output& out = dump.out;
    const std::uint32_t start = out.position;
    out.u32(thread.id);
    out.u32(0);
    out.u32(static_cast<std::uint32_t>(info.si_signo)); // code: the signal
    out.u32(static_cast<std::uint32_t>(info.si_code));  // flags: how it came
    out.u64(0);                                         // no nested record
    out.u64(reinterpret_cast<std::uintptr_t>(info.si_addr));
    out.u32(0); // no parameters
    out.u32(0);
    out.zeros(15 * 8);
    out.u32(thread.context.size);
    out.u32(thread.context.rva);
    dump.stream(kExceptionStream, start);
}

// The system's description text first, then the record that points at it.
void WriteSystemInfo(Dump& dump) {
    Output& out = dump.out;
    const std::uint32_t osTextAt = out.position;
    WriteString(out, osText);
    out.align4();
    const std::uint32_t start = out.position;
    out.u16(kArchitectureAmd64);
    out.u16(0); // processor level
    out.u16(0); // processor revision
    out.bytes(&processorCount, 1);
    out.zeros(1); // product type
    out.u32(osMajor);
    out.u32(osMinor);
    out.u32(osBuild);
    out.u32(kPlatformLinux);
    out.u32(osTextAt);
    out.zeros(2 + 2 + 24); // suite mask, reserved, CPU information
    dump.stream(kSystemInfoStream, start);
}

void WriteMiscInfo(Dump& dump) {
    Output& out = dump.out;
    const std::uint32_t start = out.position;
    out.u32(kMiscInfoSize);
    out.u32(kMiscProcessId);
    out.u32(static_cast<std::uint32_t>(::getpid()));
    out.zeros(12);
    dump.stream(kMiscInfoStream, start);
}

void WriteMaps(Dump& dump, std::size_t mapsLength) {
    const std::uint32_t start = dump.out.position;
    dump.out.bytes(mapsText, mapsLength);
    dump.stream(kLinuxMapsStream, start);
}

// Goes back to the room the header left and fills in the directory.
bool WriteDirectory(Dump& dump) {
    if (::lseek(dump.out.fd, 32, SEEK_SET) != 32) {
        return false;
    }
    for (std::size_t i = 0; i < dump.entries; ++i) {
        dump.out.u32(dump.directory[i].type);
        dump.out.u32(dump.directory[i].where.size);
        dump.out.u32(dump.directory[i].where.rva);
    }
    return dump.out.ok;
}

} // namespace

void MinidumpWriter::Prepare() {
    processorCount = static_cast<std::uint32_t>(::sysconf(_SC_NPROCESSORS_ONLN));
    utsname name{};
    if (::uname(&name) != 0) {
        return;
    }
    const char* r = name.release;
    std::uint32_t* parts[] = {&osMajor, &osMinor, &osBuild};
    for (auto* part : parts) {
        for (; *r >= '0' && *r <= '9'; ++r) {
            *part = *part * 10 + static_cast<std::uint32_t>(*r - '0');
        }
        if (*r == '.') {
            ++r;
        }
    }
    std::size_t at = 0;
    const char* pieces[] = {name.sysname, " ", name.release, " ", name.version, " ", name.machine};
    for (const char* piece : pieces) {
        for (; *piece && at + 1 < sizeof osText; ++piece) {
            osText[at++] = *piece;
        }
    }
    osText[at] = '\0';
}

bool MinidumpWriter::Write(int fd, const siginfo_t& info, const void* signalContext) {
    const auto& uc = *static_cast<const ucontext_t*>(signalContext);
    const auto stackPointer = static_cast<std::uintptr_t>(uc.uc_mcontext.gregs[REG_RSP]);

    const std::size_t mapsLength = ReadFile("/proc/self/maps", mapsText, kMapsMax - 1);
    mapsText[mapsLength] = '\0';
    std::memcpy(mapsCopy, mapsText, mapsLength + 1);
    Mapping stack;
    const std::size_t moduleCount =
        FindModules(mapsCopy, stackPointer, stack, modules, kModulesMax);

    Dump dump{Output{fd}};
    WriteHeader(dump.out);
    CrashedThread thread{static_cast<std::uint32_t>(::gettid()), {}, 0, {}};
    thread.context = WriteContext(dump.out, uc);
    thread.stack = WriteStack(dump.out, stackPointer, stack, thread.stackStart);
    WriteThreadList(dump, thread);
    WriteMemoryList(dump, thread);
    WriteModuleList(dump, moduleCount);
    WriteException(dump, thread, info);
    WriteSystemInfo(dump);
    WriteMiscInfo(dump);
    WriteMaps(dump, mapsLength);
    return WriteDirectory(dump);
}

#else

void MinidumpWriter::Prepare() {}

bool MinidumpWriter::Write(int, const siginfo_t&, const void*) {
    return false;
}

#endif
