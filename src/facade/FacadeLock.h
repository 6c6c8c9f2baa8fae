// The lock each facade's acquisitions hold, the wait loop its teardown steps use, and a scoped lock.
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

inline void facadeLocked([[maybe_unused]] QMutex& mutex) {
#if defined(TRELVAN_TSAN)
    __tsan_acquire(&mutex);
#endif
}

inline void unlockFacade(QMutex& mutex) {
#if defined(TRELVAN_TSAN)
    __tsan_release(&mutex);
#endif
    mutex.unlock();
}

// Teardown waits for a running acquisition however long it takes, in 50 ms slices.
inline void lockForTeardown(QMutex& mutex) {
    while (!mutex.tryLock(50)) {
    }
    facadeLocked(mutex);
}

// Holds a facade's lock for a scope, with a plain blocking lock; released on every way out.
class FacadeLock {
public:
    explicit FacadeLock(QMutex& mutex) : m_mutex(mutex) {
        m_mutex.lock();
        facadeLocked(m_mutex);
    }
    ~FacadeLock() { unlockFacade(m_mutex); }
    FacadeLock(const FacadeLock&) = delete;
    FacadeLock& operator=(const FacadeLock&) = delete;

private:
    QMutex& m_mutex;
};
