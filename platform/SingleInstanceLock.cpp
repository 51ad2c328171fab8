#include "platform/SingleInstanceLock.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kLockName[] = "Emberway Kestrel.lock";

// A folder under /tmp is shared with every user: accept it only when it is a real folder of
// ours that nobody else can write to, or another user could hold our lock or swap in a link.
bool isPrivateFolder(const std::string& dir) {
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0) {
        return false;
    }
    return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 0077) == 0;
}

} // namespace

SingleInstanceLock::~SingleInstanceLock() {
    release();
}

SingleInstanceLock::Outcome SingleInstanceLock::acquire(const std::string& path) {
    release();
    if (path.empty()) {
        return Outcome::Failed;
    }
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return Outcome::Failed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        close(fd);
        return busy ? Outcome::AlreadyHeld : Outcome::Failed;
    }
    fd_ = fd;
    return Outcome::Acquired;
}

void SingleInstanceLock::release() {
    if (fd_ >= 0) {
        flock(fd_, LOCK_UN);
        close(fd_);
        fd_ = -1;
    }
}

std::string SingleInstanceLock::defaultPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') {
        return std::string(runtime) + "/" + kLockName;
    }
    const std::string dir = "/tmp/emberway-kestrel-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    if (!isPrivateFolder(dir)) {
        return {};
    }
    return dir + "/" + kLockName;
}
