#include "app/crash/ProcessImage.h"

#include <cerrno>
#include <cstring>

#include <elf.h>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

namespace crash {

namespace {

// The notes of an ELF image are read here, not on the stack: a crash on a thread with a small
// stack must still be written.
unsigned char notes[64 * 1024];

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

// Parses the line at p (its line end becomes a NUL); returns the next line.
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
        std::size_t size = phdrs[i].p_memsz < sizeof notes ? phdrs[i].p_memsz : sizeof notes;
        size = ReadMemory(notes, bias + phdrs[i].p_vaddr, size);
        for (std::size_t at = 0; at + sizeof(Elf64_Nhdr) <= size;) {
            Elf64_Nhdr note;
            std::memcpy(&note, notes + at, sizeof note);
            const std::size_t name = at + sizeof note;
            const std::size_t desc = name + ((note.n_namesz + 3) & ~3u);
            const std::size_t next = desc + ((note.n_descsz + 3) & ~3u);
            if (next > size) {
                break;
            }
            if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 &&
                std::memcmp(notes + name, "GNU", 4) == 0 && note.n_descsz <= kBuildIdMax) {
                std::memcpy(out, notes + desc, note.n_descsz);
                return note.n_descsz;
            }
            at = next;
        }
    }
    return 0;
}

} // namespace

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

std::size_t FindModules(char* mapsText, std::uintptr_t stackPointer, Mapping& stack,
                        Module* modules, std::size_t capacity) {
    std::size_t count = 0;
    Module* open = nullptr;
    for (char* p = mapsText; *p;) {
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
        if (m.path[0] != '/' || m.offset != 0 || !m.readable || count == capacity) {
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

} // namespace crash
