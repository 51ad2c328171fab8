#include "app/crash/MinidumpWriter.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <ctime>

#include <elf.h>
#include <fcntl.h>
#include <sys/uio.h>
#include <sys/utsname.h>
#include <ucontext.h>
#include <unistd.h>

#if defined(__x86_64__)

namespace {

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
constexpr std::size_t kBuildIdMax = 64;

struct Module {
    std::uintptr_t base;
    std::uintptr_t end;
    const char* path; // inside mapsText, NUL-terminated there
    unsigned char buildId[kBuildIdMax];
    std::size_t buildIdLength;
};

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

// Copies memory of this process that may be unmapped or unreadable without touching it
// directly, so that a bad page cannot fault inside the handler. Returns the bytes copied
// from the start of the range.
std::size_t ReadMemory(void* to, std::uintptr_t from, std::size_t length) {
    iovec local{to, length};
    iovec remote{reinterpret_cast<void*>(from), length};
    const ssize_t n = ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0);
    if (n >= 0) {
        return static_cast<std::size_t>(n);
    }
    if (errno == EFAULT) {
        return 0;
    }
    // Where the call is not allowed (some sandboxes), a pipe does the same: writing from a
    // bad address fails with EFAULT instead of faulting.
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return 0;
    }
    std::size_t done = 0;
    while (done < length) {
        std::size_t piece = length - done < 4096 ? length - done : 4096;
        const ssize_t in = ::write(pipeEnds[1], reinterpret_cast<const void*>(from + done), piece);
        if (in <= 0 || ::read(pipeEnds[0], static_cast<char*>(to) + done,
                              static_cast<std::size_t>(in)) != in) {
            break;
        }
        done += static_cast<std::size_t>(in);
    }
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    return done;
}

std::size_t ReadFile(const char* path, char* to, std::size_t capacity) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    std::size_t length = 0;
    while (length < capacity) {
        const ssize_t n = ::read(fd, to + length, capacity - length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        length += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return length;
}

std::uintptr_t ParseHex(const char*& p) {
    std::uintptr_t value = 0;
    for (;; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9') {
            value = value * 16 + static_cast<std::uintptr_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            value = value * 16 + static_cast<std::uintptr_t>(c - 'a' + 10);
        } else {
            return value;
        }
    }
}

// One line of the memory map: "start-end perms offset dev inode path".
struct Mapping {
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
    bool readable = false;
    std::uintptr_t offset = 0;
    const char* path = nullptr; // empty for anonymous mappings
};

// Parses the line at p (inside mapsCopy, whose line ends become NULs); returns the next line.
char* ParseMapping(char* p, Mapping& m) {
    const char* q = p;
    m.start = ParseHex(q);
    ++q;
    m.end = ParseHex(q);
    ++q;
    m.readable = *q == 'r';
    q += 5;
    m.offset = ParseHex(q);
    for (int field = 0; field < 2 && *q; ++field) { // device and inode
        while (*q == ' ') {
            ++q;
        }
        while (*q && *q != ' ' && *q != '\n') {
            ++q;
        }
    }
    while (*q == ' ') {
        ++q;
    }
    m.path = q;
    char* lineEnd = p + (q - p);
    while (*lineEnd && *lineEnd != '\n') {
        ++lineEnd;
    }
    if (*lineEnd == '\n') {
        *lineEnd++ = '\0';
    }
    return lineEnd;
}

bool SamePath(const char* a, const char* b) {
    return a && b && std::strcmp(a, b) == 0;
}

// The GNU build id of the ELF image mapped at base, read through its program headers.
std::size_t ReadBuildId(std::uintptr_t base, unsigned char* out) {
    Elf64_Ehdr header;
    if (ReadMemory(&header, base, sizeof header) != sizeof header ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_phentsize != sizeof(Elf64_Phdr)) {
        return 0;
    }
    Elf64_Phdr phdrs[64];
    const std::size_t count = header.e_phnum < 64 ? header.e_phnum : 64;
    if (ReadMemory(phdrs, base + header.e_phoff, count * sizeof(Elf64_Phdr)) !=
        count * sizeof(Elf64_Phdr)) {
        return 0;
    }
    // The mapping at file offset 0 belongs to the segment that starts at offset 0.
    std::uintptr_t bias = base;
    for (std::size_t i = 0; i < count; ++i) {
        if (phdrs[i].p_type == PT_LOAD && phdrs[i].p_offset == 0) {
            bias = base - (phdrs[i].p_vaddr & ~static_cast<std::uintptr_t>(0xfff));
            break;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (phdrs[i].p_type != PT_NOTE) {
            continue;
        }
        std::size_t size = phdrs[i].p_memsz < sizeof chunk ? phdrs[i].p_memsz : sizeof chunk;
        size = ReadMemory(chunk, bias + phdrs[i].p_vaddr, size);
        for (std::size_t at = 0; at + sizeof(Elf64_Nhdr) <= size;) {
            Elf64_Nhdr note;
            std::memcpy(&note, chunk + at, sizeof note);
            const std::size_t name = at + sizeof note;
            const std::size_t desc = name + ((note.n_namesz + 3) & ~3u);
            const std::size_t next = desc + ((note.n_descsz + 3) & ~3u);
            if (next > size) {
                break;
            }
            if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 &&
                std::memcmp(chunk + name, "GNU", 4) == 0 && note.n_descsz <= kBuildIdMax) {
                std::memcpy(out, chunk + desc, note.n_descsz);
                return note.n_descsz;
            }
            at = next;
        }
    }
    return 0;
}

// The modules: for each ELF file mapped from offset 0, its base and the end of the run of
// mappings of the same file that follows.
std::size_t FindModules(char* text, std::uintptr_t stackPointer, Mapping& stack) {
    std::size_t count = 0;
    Module* open = nullptr;
    for (char* p = text; *p;) {
        Mapping m;
        p = ParseMapping(p, m);
        if (stackPointer >= m.start && stackPointer < m.end) {
            stack = m;
        }
        if (open && SamePath(open->path, m.path)) {
            open->end = m.end;
            continue;
        }
        open = nullptr;
        if (m.path[0] != '/' || m.offset != 0 || !m.readable || count == kModulesMax) {
            continue;
        }
        unsigned char magic[SELFMAG];
        if (ReadMemory(magic, m.start, SELFMAG) != SELFMAG ||
            std::memcmp(magic, ELFMAG, SELFMAG) != 0) {
            continue; // a data file mapped in
        }
        Module& module = modules[count];
        module.buildIdLength = ReadBuildId(m.start, module.buildId);
        module.base = m.start;
        module.end = m.end;
        module.path = m.path;
        open = &module;
        ++count;
    }
    return count;
}

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
    const std::size_t moduleCount = FindModules(mapsCopy, stackPointer, stack);

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
