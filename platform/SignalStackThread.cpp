#include "platform/SignalStackThread.h"

#include <csignal>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// What the crash writer's handler needs: the dump is written from fixed buffers, not the stack.
std::size_t SignalStackSize() {
    return 64 * 1024 + static_cast<std::size_t>(::sysconf(_SC_MINSIGSTKSZ));
}

} // namespace

std::thread StartThreadWithSignalStack(std::function<void()> work) {
    return std::thread([work = std::move(work)] {
        const std::size_t size = SignalStackSize();
        void* stack =
            ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (stack != MAP_FAILED) {
            stack_t own{};
            own.ss_sp = stack;
            own.ss_size = size;
            ::sigaltstack(&own, nullptr);
        }
        work();
        if (stack != MAP_FAILED) {
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            ::sigaltstack(&off, nullptr);
            ::munmap(stack, size);
        }
    });
}
