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

    // Takes the lock in path. The folder that holds it must be the user's own: a real folder
    // (not a link), owned by the user, open to nobody else; otherwise, or when the file cannot
    // be opened, the outcome is Failed and problem() says why.
    Outcome acquire(const std::string& path);
    void release();
    bool held() const { return fd_ >= 0; }
    // Why the last acquire failed, as the end of a sentence ("... belongs to another user").
    const std::string& problem() const { return problem_; }

    // "<runtime dir>/Emberway Kestrel.lock" when the runtime folder is the user's own, else the
    // same name in "<tmpRoot>/emberway-kestrel-<uid>", made when missing. The fallback is given
    // even when it is not usable, so that acquire can say why.
    static std::string defaultPath(const char* runtimeDir, const std::string& tmpRoot);
    // The same for this process: XDG_RUNTIME_DIR and /tmp.
    static std::string defaultPath();

    // Why dir cannot hold the lock, or empty when it is a folder of the user's own.
    static std::string folderProblem(const std::string& dir);

private:
    int fd_ = -1;
    std::string problem_;
};
