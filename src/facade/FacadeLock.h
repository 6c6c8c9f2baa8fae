// The facade's module mutex, the wait loop its teardown steps use, and a scoped lock for acquisitions.
#pragma once

#include <QMutex>

// Qt's mutex sleeps in the kernel where ThreadSanitizer cannot see it; tell it what the mutex orders.
#if defined(__SANITIZE_THREAD__)
#define TRELVAN_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TRELVAN_TSAN 1
#endif
#endif
#if defined(TRELVAN_TSAN)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

extern QMutex facadeMutex;

inline void facadeLocked() {
#if defined(TRELVAN_TSAN)
    __tsan_acquire(&facadeMutex);
#endif
}

inline void unlockFacade() {
#if defined(TRELVAN_TSAN)
    __tsan_release(&facadeMutex);
#endif
    facadeMutex.unlock();
}

// Teardown waits for a running acquisition however long it takes, in 50 ms slices.
inline void lockForTeardown() {
    while (!facadeMutex.tryLock(50)) {
    }
    facadeLocked();
}

// Holds the facade mutex for a scope, with a plain blocking lock; released on every way out.
class FacadeLock {
public:
    FacadeLock() {
        facadeMutex.lock();
        facadeLocked();
    }
    ~FacadeLock() { unlockFacade(); }
    FacadeLock(const FacadeLock&) = delete;
    FacadeLock& operator=(const FacadeLock&) = delete;
};
