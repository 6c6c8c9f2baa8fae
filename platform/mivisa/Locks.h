// Per-instrument state shared by all sessions of this process: how many sessions hold it open (the busy
// flag) and who holds an exclusive or shared lock on it. An exclusive lock also holds the instrument
// against other processes of this machine (HostLock).
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "Deadline.h"
#include "base/VisaConstants.h"

namespace mivisa {

struct ResourceState {
    std::string key;
    // Guarded by the table's mutex.
    int openCount = 0;
    ViSession exclusiveOwner = 0;
    int exclusiveDepth = 0;
    std::string sharedKey;
    std::map<ViSession, int> sharedHolders;
    int hostLock = -1;  // held with the exclusive lock
    // Copies for the I/O path, which must not take the table's mutex on every read.
    std::atomic<ViSession> owner{0};
    std::atomic<int> sharedCount{0};
};

class Locks {
public:
    static Locks& instance();

    std::shared_ptr<ResourceState> open(const std::string& key);
    // Drops every lock `who` holds and its share of the open count.
    void release(const std::shared_ptr<ResourceState>& state, ViSession who);
    bool isOpen(const std::string& key);

    // VI_SUCCESS (or the nested variant), or VI_ERROR_TMO when another session of this process keeps it
    // past `deadline`, or another process past `hostDeadline`.
    ViStatus lockExclusive(ResourceState& state, ViSession who, const Deadline& deadline,
                           const Deadline& hostDeadline);
    ViStatus lockShared(ResourceState& state, ViSession who, const char* requestedKey,
                        const Deadline& deadline, std::string& grantedKey);
    ViStatus unlock(ResourceState& state, ViSession who);
    // False when another session's lock keeps `who` from doing I/O.
    bool mayAccess(ResourceState& state, ViSession who);

private:
    bool waitUntil(std::unique_lock<std::mutex>& lock, const Deadline& deadline,
                   const std::function<bool()>& ok);
    void publish(ResourceState& state);
    // Clears the exclusive lock and lets other processes have the instrument.
    void dropExclusive(ResourceState& state);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, std::shared_ptr<ResourceState>> states_;
    unsigned long nextKey_ = 1;
};

}  // namespace mivisa
