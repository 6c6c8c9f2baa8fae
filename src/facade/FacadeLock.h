// The facade's module mutex and the wait loop its teardown steps use.
#pragma once

#include <QMutex>

extern QMutex facadeMutex;

// Teardown waits for a running acquisition however long it takes, in 50 ms slices.
inline void lockForTeardown(QMutex& mutex) {
    while (!mutex.tryLock(50)) {
    }
}
