#include "app/crash/CCrashDumpWriter.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/crash/CrashDumpName.h"
#include "app/crash/MinidumpWriter.h"
#include "engine/LibraryFaultHandlers.h"

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
// The dump being written, its signal, and the watchdog that ends a dump running past its limit.
char dumpName[kDumpNameMax + 1];
// Where the dump file stands: not named yet, named and being opened, or open and ours.
enum DumpFileState : sig_atomic_t { kNoDumpFile, kOpeningDumpFile, kDumpFileOpen };
volatile sig_atomic_t dumpFileState = kNoDumpFile;
volatile sig_atomic_t dumpSignal = 0;
timer_t watchdog;
bool haveWatchdog = false;
long dumpLimitMs = 0;

// No core file from here on: a core dump would also start the desktop's crash reporter, and a
// fault while the dump is written must not leave one either.
void SuppressCoreFile() {
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
}

// Ends the process by signo's default action, once the handler returns.
void EndBySignal(int signo) {
    SuppressCoreFile();
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    ::sigaction(signo, &byDefault, nullptr);
    // Pending while the handler runs; delivered as it returns, before a faulting instruction
    // could run again.
    ::raise(signo);
}

// A cut dump says nothing a reader could trust: it goes. The watchdog may come while the file
// is being opened, when it may or may not have been made: what stands there then goes only if
// it is what the open would have taken as ours, a plain file of this user with no other name.
void RemoveCutDump() {
    const sig_atomic_t state = dumpFileState;
    struct stat st {};
    if (state == kDumpFileOpen ||
        (state == kOpeningDumpFile && ::lstat(dumpName, &st) == 0 && S_ISREG(st.st_mode) &&
         st.st_uid == ::geteuid() && st.st_nlink == 1)) {
        ::unlink(dumpName);
    }
}

// The watchdog's signal: the dump ran past its limit (a hung disk, a stuck read). Whichever
// thread takes it ends the process by the crash's own signal, at once.
void OnDumpTooLong(int) {
    RemoveCutDump();
    const int signo = dumpSignal;
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    ::sigaction(signo, &byDefault, nullptr);
    sigset_t crash;
    sigemptyset(&crash);
    sigaddset(&crash, signo);
    ::pthread_sigmask(SIG_UNBLOCK, &crash, nullptr);
    ::raise(signo);
    ::_exit(128 + signo); // only should the signal not end it
}

void StartWatchdog(int signo) {
    dumpSignal = signo;
    if (!haveWatchdog) {
        return;
    }
    struct sigaction onAlarm {};
    onAlarm.sa_handler = &OnDumpTooLong;
    onAlarm.sa_flags = SA_ONSTACK;
    sigfillset(&onAlarm.sa_mask);
    ::sigaction(SIGALRM, &onAlarm, nullptr);
    itimerspec once{};
    once.it_value.tv_sec = dumpLimitMs / 1000;
    once.it_value.tv_nsec = (dumpLimitMs % 1000) * 1'000'000 + 1; // never 0, which disarms
    ::timer_settime(watchdog, 0, &once, nullptr);
}

// Opens the dump file without following a link and without cutting a file that is not ours:
// the name is predictable to the second, so another user could have put something there.
int OpenDumpFile(const char* name) {
    // The stack may hold what the user typed or fetched: readable by the user alone.
    int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) {
        return fd;
    }
    // A dump of this second already: overwritten only when it is a plain file of this user
    // with no other name. Never blocks on a pipe put in its place.
    fd = ::open(name, O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
                    st.st_nlink != 1 || ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        fd = -1;
    }
    return fd;
}

void WriteDump(int signo, siginfo_t* info, void* context) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    char name[kDumpNameMax + 1];
    FormatDumpName(name, folderPrefix, baseName, CalendarTime(now.tv_sec + utcOffset));
    std::memcpy(dumpName, name, sizeof dumpName);
    std::atomic_signal_fence(std::memory_order_seq_cst); // the whole name before the state
    dumpFileState = kOpeningDumpFile;
    const int fd = OpenDumpFile(name);
    dumpFileState = fd < 0 ? kNoDumpFile : kDumpFileOpen;
    if (fd < 0) {
        return;
    }
    siginfo_t sent{};
    if (!info) {
        sent.si_signo = signo;
        info = &sent;
    }
    const bool whole = MinidumpWriter::Write(fd, *info, context);
    if (::close(fd) != 0 || !whole) {
        RemoveCutDump();
    }
}

// The start of each file name: the given one, cut to the longest name a dump may have.
void KeepBaseName(const char* base) {
    if (base && *base) {
        std::strncpy(baseName, base, 260);
        baseName[260] = '\0';
    } else {
        baseName[0] = '\0';
    }
}

// The folder the dumps go to, made if need be; the current folder when it cannot be.
void KeepFolder(const char* folder) {
    folderPrefix[0] = '\0';
    if (!folder || !*folder) {
        return;
    }
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

// What the handler needs and may not make itself: the program's name, the offset of local
// time, the system's description and the watchdog timer.
[[maybe_unused]] void PrepareForDumps(int dumpLimit) {
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

    // Armed only while a dump is written; made here, where making it is allowed.
    sigevent alarm{};
    alarm.sigev_notify = SIGEV_SIGNAL;
    alarm.sigev_signo = SIGALRM;
    haveWatchdog = ::timer_create(CLOCK_MONOTONIC, &alarm, &watchdog) == 0;
    dumpLimitMs = dumpLimit > 0 ? dumpLimit : 1;
}

} // namespace

CCrashDumpWriter::CCrashDumpWriter(const char* base, const char* folder,
                                   [[maybe_unused]] int dumpLimit) {
    KeepBaseName(base);
    KeepFolder(folder);
#if !defined(KESTREL_SANITIZED) && defined(__x86_64__)
    // The sanitizers report these faults themselves, with more to say than a dump; and the dump
    // knows only the x86-64 registers.
    PrepareForDumps(dumpLimit);
    InstallAltStack();
    // libtorrent replaces the SIGSEGV and SIGBUS handlers at its first disk access; let it do
    // so now, so that ours stay in front and hand its faults back to it.
    InstallLibraryFaultHandlers();
    InstallHandlers();
#endif
}

// The handlers run on a stack of their own, so that a stack overflow can still be written.
void CCrashDumpWriter::InstallAltStack() {
    altStackSize_ = 64 * 1024 + static_cast<std::size_t>(::sysconf(_SC_MINSIGSTKSZ));
    altStack_ =
        ::mmap(nullptr, altStackSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (altStack_ == MAP_FAILED) {
        altStack_ = nullptr;
        return;
    }
    stack_t own{};
    own.ss_sp = altStack_;
    own.ss_size = altStackSize_;
    ::sigaltstack(&own, &previousStack_);
}

void CCrashDumpWriter::InstallHandlers() {
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
    // A crash from here on: no core file, whatever happens while the dump is written.
    SuppressCoreFile();
    // libtorrent's handler has set the default action before returning; a fault on another
    // thread while this one writes must still come here.
    ::sigaction(signo, &ownAction, nullptr);

    const pid_t self = ::gettid();
    pid_t none = 0;
    if (!dumpingThread.compare_exchange_strong(none, self)) {
        if (none == self) {
            RemoveCutDump(); // a fault while writing: end without a dump
            EndBySignal(signo);
            return;
        }
        // Another thread is writing its dump and will end the process; wait for that.
        for (;;) {
            ::pause();
        }
    }
    StartWatchdog(signo);
    WriteDump(signo, info, context);
    EndBySignal(signo);
}
