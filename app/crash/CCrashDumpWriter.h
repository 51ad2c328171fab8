#pragma once

#include <csignal>
#include <cstddef>

// A build with AddressSanitizer: GCC says so with a macro, clang with a feature.
#if defined(__SANITIZE_ADDRESS__)
#define KESTREL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTREL_SANITIZED 1
#endif
#endif

// Leaves a minidump file behind when the process dies of a fatal signal (SIGSEGV, SIGBUS,
// SIGFPE, SIGILL, SIGABRT), then lets the signal end the process without a core file or a
// desktop crash reporter. A dump that is cut short (a fault while writing it, a write that
// fails, or more than dumpLimit milliseconds spent on it) is removed. One instance, created
// first in main; it lives until the process ends. In a sanitized build it installs nothing,
// leaving the sanitizers' own reports; nor does it on other processors than x86-64.
class CCrashDumpWriter {
public:
    // baseName: the start of each file name; null or empty for the program file's name without
    // folder and extension. folder: created if need be; null, or a folder that cannot be
    // created, for the current folder.
    static constexpr int kDumpLimitMs = 5000;
    explicit CCrashDumpWriter(const char* baseName = nullptr, const char* folder = nullptr,
                              int dumpLimit = kDumpLimitMs);
    ~CCrashDumpWriter();
    CCrashDumpWriter(const CCrashDumpWriter&) = delete;
    CCrashDumpWriter& operator=(const CCrashDumpWriter&) = delete;

    // A sanitized build, where the writer installs nothing.
#ifdef KESTREL_SANITIZED
    static constexpr bool kSanitized = true;
#else
    static constexpr bool kSanitized = false;
#endif

    // The handler of the fatal signals.
    static void WriteDumpHandler(int signo, siginfo_t* info, void* context);

private:
    void InstallAltStack();
    void InstallHandlers();

    static constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
    static constexpr std::size_t kSignalCount = sizeof kSignals / sizeof kSignals[0];

    bool installed_ = false;
    stack_t previousStack_{};
    void* altStack_ = nullptr;
    std::size_t altStackSize_ = 0;
};
