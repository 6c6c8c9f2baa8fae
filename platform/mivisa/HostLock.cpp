#include "HostLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <thread>

namespace mivisa {

namespace {

constexpr int kRetryMs = 10;
// Longer names are hashed, so that a long host name still fits a file name.
constexpr size_t kMaxReadableName = 200;

std::string folder() {
    struct stat st;
    if (::stat("/run/lock", &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 01777) == 01777)
        return "/run/lock";
    return "/tmp";
}

// Opens the lock file, making it when it is missing. Read-only is enough for flock, and lets every user
// open a file another one made. An existing file is opened without O_CREAT, which a sticky folder may
// refuse for a file of another user.
int openLockFile(const std::string& path) {
    const int flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW;
    int fd = ::open(path.c_str(), flags);
    if (fd >= 0 || errno != ENOENT) return fd;
    fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0644);
    if (fd >= 0) {
        ::fchmod(fd, 0644);  // whatever the umask
        return fd;
    }
    return errno == EEXIST ? ::open(path.c_str(), flags) : -1;
}

// Whether `fd` is the file that `path` names now.
bool isAt(int fd, const std::string& path) {
    struct stat opened, named;
    return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

}  // namespace

std::string HostLock::path(const std::string& key) {
    // The key is "host#port"; hosts hold letters, digits, '-', '.', '_', and ':' or '%' for IPv6.
    std::string name = "mivisa-" + key;
    for (char& c : name)
        if (c == '#') c = '-';
    // A loopback address names a different host in each network namespace.
    const bool loopback =
        key.rfind("127.", 0) == 0 || key.rfind("::1#", 0) == 0 || key.rfind("localhost#", 0) == 0;
    struct stat ns;
    if (loopback && ::stat("/proc/self/ns/net", &ns) == 0) name += "-net" + std::to_string(ns.st_ino);
    name += ".lock";
    if (name.size() > kMaxReadableName) {
        uint64_t h = 1469598103934665603ull;  // FNV-1a
        for (unsigned char c : key) h = (h ^ c) * 1099511628211ull;
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
        name = std::string("mivisa-") + hex + ".lock";
    }
    return folder() + "/" + name;
}

HostLock::Outcome HostLock::take(const std::string& key, const Deadline& deadline, int& fd) {
    const std::string file = path(key);
    // How often the file was removed under our hands; a few such retries go at once.
    int removed = 0;
    for (;;) {
        fd = openLockFile(file);
        if (fd < 0) return Outcome::NoLockFile;
        bool taken = false;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            taken = true;
            // A holder removes the file as it lets go; a lock on a removed file holds nothing.
            if (isAt(fd, file)) return Outcome::Taken;
        } else if (errno != EWOULDBLOCK && errno != EINTR) {
            ::close(fd);
            fd = -1;
            return Outcome::NoLockFile;
        }
        ::close(fd);
        fd = -1;
        // Its holder has just let go: the file made after it is tried at once.
        if (taken && ++removed < 4) continue;
        const int left = deadline.pollMs();
        if (left == 0) return Outcome::HeldElsewhere;
        std::this_thread::sleep_for(std::chrono::milliseconds(left < 0 || left > kRetryMs ? kRetryMs : left));
    }
}

void HostLock::release(const std::string& key, int fd) {
    // Removed while still locked, so that no lock files pile up; where the folder does not let this user
    // remove it, it stays and is used again.
    const std::string file = path(key);
    if (isAt(fd, file)) ::unlink(file.c_str());
    ::close(fd);
}

bool HostLock::heldElsewhere(const std::string& key) {
    const int fd = ::open(path(key).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    // A shared lock: two searches at once do not see each other as owners.
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

}  // namespace mivisa
