// What each facade object keeps beyond its published members, whose layout hosts are built against: the
// row of the backend it connected and the lock its acquisitions hold. Each Trelvan object, the global
// `trelvan` or one a program makes for a second instrument, has its own.
#pragma once

#include <QMutex>

#include "backends/BackendRow.h"

class Trelvan;

namespace trv::facade {

struct State {
    QMutex acquisition;
    const BackendRow* row = nullptr;  // the connected backend's row; null while nothing is connected
};

// Made on first use; stays until `forget`, which the facade's destructor calls.
State& stateOf(const Trelvan& facade);
void forget(const Trelvan& facade);

}  // namespace trv::facade
