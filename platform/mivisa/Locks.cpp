#include "Locks.h"

#include <chrono>

#include "HostLock.h"
#include "Status.h"

namespace mivisa {

Locks& Locks::instance() {
    // Never destroyed: sessions still open at exit release their share of it from their destructors.
    static Locks* l = new Locks;
    return *l;
}

std::shared_ptr<ResourceState> Locks::open(const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& slot = states_[key];
    if (!slot) {
        slot = std::make_shared<ResourceState>();
        slot->key = key;
    }
    ++slot->openCount;
    return slot;
}

void Locks::release(const std::shared_ptr<ResourceState>& state, ViSession who) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state->exclusiveOwner == who) dropExclusive(*state);
    state->sharedHolders.erase(who);
    if (state->sharedHolders.empty()) state->sharedKey.clear();
    publish(*state);
    if (--state->openCount <= 0) states_.erase(state->key);
    changed_.notify_all();
}

bool Locks::isOpen(const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = states_.find(key);
    return it != states_.end() && it->second->openCount > 0;
}

void Locks::dropExclusive(ResourceState& state) {
    state.exclusiveOwner = 0;
    state.exclusiveDepth = 0;
    if (state.hostLock >= 0) HostLock::release(state.key, state.hostLock);
    state.hostLock = -1;
}

void Locks::publish(ResourceState& state) {
    state.owner.store(state.exclusiveOwner);
    int shared = 0;
    for (const auto& h : state.sharedHolders) shared += h.second;
    state.sharedCount.store(shared);
}

bool Locks::waitUntil(std::unique_lock<std::mutex>& lock, const Deadline& deadline,
                      const std::function<bool()>& ok) {
    while (!ok()) {
        const int ms = deadline.pollMs();
        if (ms == 0) return false;
        if (ms < 0)
            changed_.wait(lock);
        else
            changed_.wait_for(lock, std::chrono::milliseconds(ms));
    }
    return true;
}

ViStatus Locks::lockExclusive(ResourceState& state, ViSession who, const Deadline& deadline,
                              const Deadline& hostDeadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool granted = waitUntil(lock, deadline, [&] {
        if (state.exclusiveOwner != 0) return state.exclusiveOwner == who;
        // Only the caller's own shared lock may stand beside a new exclusive one.
        for (const auto& h : state.sharedHolders)
            if (h.first != who) return false;
        return true;
    });
    if (!granted) return VI_ERROR_TMO;
    state.exclusiveOwner = who;
    const bool nested = state.exclusiveDepth++ > 0;
    if (!nested) {
        // Sessions of this process see it taken meanwhile; the table is not held during the wait.
        lock.unlock();
        int fd = -1;
        const HostLock::Outcome outcome = HostLock::take(state.key, hostDeadline, fd);
        lock.lock();
        if (outcome == HostLock::Outcome::HeldElsewhere || state.exclusiveOwner != who) {
            if (fd >= 0) HostLock::release(state.key, fd);
            if (state.exclusiveOwner == who) dropExclusive(state);
            changed_.notify_all();
            return VI_ERROR_TMO;
        }
        state.hostLock = fd;
    }
    publish(state);
    return nested ? kSuccessNestedExclusive : VI_SUCCESS;
}

ViStatus Locks::lockShared(ResourceState& state, ViSession who, const char* requestedKey,
                           const Deadline& deadline, std::string& grantedKey) {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::string wanted = requestedKey != nullptr ? requestedKey : "";
    const bool granted = waitUntil(lock, deadline, [&] {
        if (state.exclusiveOwner != 0 && state.exclusiveOwner != who) return false;
        if (state.sharedHolders.empty() || state.sharedHolders.count(who) != 0) return true;
        return !wanted.empty() && wanted == state.sharedKey;
    });
    if (!granted) return VI_ERROR_TMO;
    if (state.sharedHolders.empty())
        state.sharedKey = wanted.empty() ? "MiVISA-key-" + std::to_string(nextKey_++) : wanted;
    const bool nested = state.sharedHolders[who]++ > 0;
    grantedKey = state.sharedKey;
    publish(state);
    return nested ? kSuccessNestedShared : VI_SUCCESS;
}

ViStatus Locks::unlock(ResourceState& state, ViSession who) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state.exclusiveOwner == who && state.exclusiveDepth > 0) {
        if (--state.exclusiveDepth == 0) dropExclusive(state);
    } else {
        auto it = state.sharedHolders.find(who);
        if (it == state.sharedHolders.end()) return kErrorSesnNotLocked;
        if (--it->second == 0) state.sharedHolders.erase(it);
        if (state.sharedHolders.empty()) state.sharedKey.clear();
    }
    publish(state);
    changed_.notify_all();
    return VI_SUCCESS;
}

bool Locks::mayAccess(ResourceState& state, ViSession who) {
    const ViSession owner = state.owner.load(std::memory_order_relaxed);
    if (owner != 0) return owner == who;
    if (state.sharedCount.load(std::memory_order_relaxed) == 0) return true;
    std::lock_guard<std::mutex> lock(mutex_);
    return state.sharedHolders.count(who) != 0;
}

}  // namespace mivisa
