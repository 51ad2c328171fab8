#include "app/crash/CCrashDumpWriter.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/crash/CrashDumpName.h"
#include "app/crash/MinidumpWriter.h"
#include "engine/LibraryFaultHandlers.h"

#if defined(__SANITIZE_ADDRESS__)
#define KESTREL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTREL_SANITIZED 1
#endif
#endif

namespace {

// One copy per process: the handler is a plain function without an object. Written by the
// constructor before any other thread of the program exists; only read afterwards.
char baseName[261];
char folderPrefix[261];
long utcOffset = 0; // seconds east of UTC when the writer was installed
struct sigaction previousActions[5];
struct sigaction ownAction;

// The thread writing a dump; 0 while none is.
std::atomic<pid_t> dumpingThread{0};

// Ends the process by signo's default action, once the handler returns, with no core file:
// a core dump would also start the desktop's crash reporter.
void EndBySignal(int signo) {
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    ::sigaction(signo, &byDefault, nullptr);
    // Pending while the handler runs; delivered as it returns, before a faulting instruction
    // could run again.
    ::raise(signo);
}

void WriteDump(int signo, siginfo_t* info, void* context) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    char name[kDumpNameMax + 1];
    FormatDumpName(name, folderPrefix, baseName, CalendarTime(now.tv_sec + utcOffset));
    // The stack may hold what the user typed or fetched: readable by the user alone.
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    siginfo_t sent{};
    if (!info) {
        sent.si_signo = signo;
        info = &sent;
    }
    MinidumpWriter::Write(fd, *info, context);
    ::close(fd);
}

} // namespace

CCrashDumpWriter::CCrashDumpWriter(const char* base, const char* folder) {
    if (base && *base) {
        std::strncpy(baseName, base, 260);
        baseName[260] = '\0';
    } else {
        baseName[0] = '\0';
    }
    folderPrefix[0] = '\0';
    if (folder && *folder) {
        struct stat st {};
        // A folder that exists already serves as well; a file of that name does not.
        if (::mkdir(folder, 0777) == 0 ||
            (errno == EEXIST && ::stat(folder, &st) == 0 && S_ISDIR(st.st_mode))) {
            const std::size_t length = std::strlen(folder);
            const std::size_t kept = length < kDumpNameMax ? length : kDumpNameMax;
            std::memcpy(folderPrefix, folder, kept);
            if (kept < kDumpNameMax) {
                folderPrefix[kept] = '/';
                folderPrefix[kept + 1] = '\0';
            } else {
                folderPrefix[kept] = '\0';
            }
        }
    }
#if defined(KESTREL_SANITIZED) || !defined(__x86_64__)
    // The sanitizers report these faults themselves, with more to say than a dump; and the dump
    // knows only the x86-64 registers.
    return;
#else
    if (baseName[0] == '\0') {
        char path[4096];
        const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
        path[length > 0 ? length : 0] = '\0';
        ProgramBaseName(path, baseName, sizeof baseName);
    }
    tm local{};
    const time_t now = ::time(nullptr);
    ::localtime_r(&now, &local);
    utcOffset = local.tm_gmtoff;
    MinidumpWriter::Prepare();

    // The handlers run on a stack of their own, so that a stack overflow can still be written.
    altStackSize_ = 64 * 1024 + static_cast<std::size_t>(::sysconf(_SC_MINSIGSTKSZ));
    altStack_ =
        ::mmap(nullptr, altStackSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (altStack_ == MAP_FAILED) {
        altStack_ = nullptr;
    } else {
        stack_t own{};
        own.ss_sp = altStack_;
        own.ss_size = altStackSize_;
        ::sigaltstack(&own, &previousStack_);
    }

    // libtorrent replaces the SIGSEGV and SIGBUS handlers at its first disk access; let it do
    // so now, so that ours stay in front and hand its faults back to it.
    InstallLibraryFaultHandlers();

    ownAction = {};
    ownAction.sa_sigaction = &CCrashDumpWriter::WriteDumpHandler;
    ownAction.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&ownAction.sa_mask);
    for (int signo : kSignals) {
        sigaddset(&ownAction.sa_mask, signo);
    }
    for (std::size_t i = 0; i < kSignalCount; ++i) {
        ::sigaction(kSignals[i], &ownAction, &previousActions[i]);
    }
    installed_ = true;
#endif
}

CCrashDumpWriter::~CCrashDumpWriter() {
    if (installed_) {
        for (std::size_t i = 0; i < kSignalCount; ++i) {
            ::sigaction(kSignals[i], &previousActions[i], nullptr);
        }
    }
    if (altStack_) {
        ::sigaltstack(&previousStack_, nullptr);
        ::munmap(altStack_, altStackSize_);
    }
}

void CCrashDumpWriter::WriteDumpHandler(int signo, siginfo_t* info, void* context) {
    std::size_t index = 0;
    while (index + 1 < kSignalCount && kSignals[index] != signo) {
        ++index;
    }
    // A handler that was there before (libtorrent's, for faults on its memory-mapped files)
    // goes first: if the fault was its own it jumps back into the disk operation and never
    // returns here. If it returns, the fault is a crash.
    const struct sigaction& previous = previousActions[index];
    if (previous.sa_flags & SA_SIGINFO) {
        if (previous.sa_sigaction) {
            previous.sa_sigaction(signo, info, context);
        }
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN &&
               previous.sa_handler != nullptr) {
        previous.sa_handler(signo);
    }
    // libtorrent's handler has set the default action before returning; a fault on another
    // thread while this one writes must still come here.
    ::sigaction(signo, &ownAction, nullptr);

    const pid_t self = ::gettid();
    pid_t none = 0;
    if (!dumpingThread.compare_exchange_strong(none, self)) {
        if (none == self) {
            EndBySignal(signo); // a fault while writing: end without a dump
            return;
        }
        // Another thread is writing its dump and will end the process; wait for that.
        for (;;) {
            ::pause();
        }
    }
    WriteDump(signo, info, context);
    EndBySignal(signo);
}
