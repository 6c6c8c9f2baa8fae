#include "facade/FacadeState.h"

#include <map>
#include <memory>

namespace trv::facade {

namespace {

struct Registry {
    QMutex lock;
    std::map<const Trelvan*, std::unique_ptr<State>> states;
};

// Built by the first facade's constructor, so it outlives every facade with static storage.
Registry& registry() {
    static Registry r;
    return r;
}

}  // namespace

State& stateOf(const Trelvan& facade) {
    Registry& r = registry();
    QMutexLocker hold(&r.lock);
    std::unique_ptr<State>& state = r.states[&facade];
    if (!state) state = std::make_unique<State>();
    return *state;
}

void forget(const Trelvan& facade) {
    Registry& r = registry();
    QMutexLocker hold(&r.lock);
    r.states.erase(&facade);
}

}  // namespace trv::facade
