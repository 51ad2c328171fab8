#include "platform/SingleInstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kLockName[] = "Emberway Kestrel.lock";

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

SingleInstanceLock::~SingleInstanceLock() {
    release();
}

// A folder under /tmp is shared with every user: another user could make ours first, hold our
// lock in it or swap in a link, so only a real folder of ours that nobody else can enter holds
// the lock.
std::string SingleInstanceLock::folderProblem(const std::string& dir) {
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0) {
        return std::string("cannot be found (") + std::strerror(errno) + ")";
    }
    if (S_ISLNK(st.st_mode)) {
        return "is a link";
    }
    if (!S_ISDIR(st.st_mode)) {
        return "is not a folder";
    }
    if (st.st_uid != getuid()) {
        return "belongs to another user";
    }
    if ((st.st_mode & 0077) != 0) {
        return "is open to other users";
    }
    if (access(dir.c_str(), W_OK | X_OK) != 0) {
        return "cannot be written to";
    }
    return {};
}

SingleInstanceLock::Outcome SingleInstanceLock::acquire(const std::string& path) {
    release();
    problem_.clear();
    if (path.empty()) {
        problem_ = "has no name";
        return Outcome::Failed;
    }
    problem_ = folderProblem(FolderOf(path));
    if (!problem_.empty()) {
        return Outcome::Failed;
    }
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        problem_ = std::string("cannot hold its lock file (") + std::strerror(errno) + ")";
        return Outcome::Failed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        if (error == EWOULDBLOCK) {
            return Outcome::AlreadyHeld;
        }
        problem_ = std::string("cannot lock its lock file (") + std::strerror(error) + ")";
        return Outcome::Failed;
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

std::string SingleInstanceLock::defaultPath(const char* runtimeDir, const std::string& tmpRoot) {
    // Unset, or unusable, as after switching users without a login: the runtime folder
    // then belongs to the first user or to nobody.
    if (runtimeDir != nullptr && runtimeDir[0] == '/' && folderProblem(runtimeDir).empty()) {
        return std::string(runtimeDir) + "/" + kLockName;
    }
    const std::string dir = tmpRoot + "/emberway-kestrel-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    return dir + "/" + kLockName;
}

std::string SingleInstanceLock::defaultPath() {
    return defaultPath(std::getenv("XDG_RUNTIME_DIR"), "/tmp");
}
