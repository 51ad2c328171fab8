#pragma once

#include <string>

// Keeps the program to one running copy per user: an exclusive flock on a lock file. The kernel
// drops the lock when the process ends, however it ends, so a crash never leaves it held.
class SingleInstanceLock {
public:
    enum class Outcome { Acquired, AlreadyHeld, Failed };

    SingleInstanceLock() = default;
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;
    ~SingleInstanceLock();

    Outcome acquire(const std::string& path);
    void release();
    bool held() const { return fd_ >= 0; }

    // "$XDG_RUNTIME_DIR/Emberway Kestrel.lock", or the same name in a private folder under /tmp
    // when XDG_RUNTIME_DIR is unset. Empty when no safe folder can be had.
    static std::string defaultPath();

private:
    int fd_ = -1;
};
