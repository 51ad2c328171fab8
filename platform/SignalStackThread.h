#pragma once

#include <functional>
#include <thread>

// Starts a thread of the program's own with an alternate signal stack for as long as it runs,
// so that the crash dump writer's handler has a stack to run on also when the thread has
// overflowed its own. Throws std::system_error, as std::thread does, when none can be started.
std::thread StartThreadWithSignalStack(std::function<void()> work);
