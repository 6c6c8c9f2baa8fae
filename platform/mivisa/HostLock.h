// One owner per instrument on this machine: an advisory lock (flock) on a file named from the resource
// key (host and port). The kernel drops it when its holder exits however it ends, so a crashed or
// killed owner leaves nothing stale behind: at most an unlocked file, which the next owner removes.
#pragma once

#include <string>

#include "Deadline.h"

namespace mivisa {

class HostLock {
public:
    enum class Outcome {
        Taken,          // `fd` holds the lock until it is closed
        HeldElsewhere,  // another process kept it until the deadline
        NoLockFile,     // no lock file could be made: the caller goes on without one
    };
    // Tries without blocking, again every few milliseconds until the deadline.
    static Outcome take(const std::string& key, const Deadline& deadline, int& fd);
    // Lets go of a lock `take` gave, removing its file.
    static void release(const std::string& key, int fd);
    // Whether another process holds it now; never waits, creates nothing.
    static bool heldElsewhere(const std::string& key);
    // /run/lock when it is the shared, sticky folder made for this, else /tmp: the same for every user
    // of the machine, root or not, so that they see each other's locks.
    static std::string path(const std::string& key);
};

}  // namespace mivisa
