// The handle table: every resource manager, session and find list by its handle. Handles come from a
// counter and are never reused, so a stale handle can only ever be invalid.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "base/VisaConstants.h"

namespace mivisa {

enum class Kind { Manager, Session, FindList };

class Object {
public:
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    // Called once, when the handle is closed; wakes anything still waiting on the object.
    virtual void close() {}
    const Kind kind;
};

class Registry {
public:
    static Registry& instance();
    ~Registry();

    ViObject reserve() { return next_.fetch_add(1); }
    // Files `object` under `handle` as a child of `parent` (0 for a resource manager). False when the
    // parent has been closed meanwhile; the caller then closes the object itself.
    bool insert(ViObject handle, std::shared_ptr<Object> object, ViObject parent);
    std::shared_ptr<Object> find(ViObject handle, Kind kind);
    template <class T>
    std::shared_ptr<T> find(ViObject handle) {
        return std::static_pointer_cast<T>(find(handle, T::kKind));
    }
    // Closes the object and, for a resource manager, everything opened through it.
    ViStatus close(ViObject handle);

private:
    struct Entry {
        std::shared_ptr<Object> object;
        ViObject parent = 0;
        std::vector<ViObject> children;
    };
    void detach(ViObject handle, std::vector<std::shared_ptr<Object>>& closed);

    std::mutex mutex_;
    std::unordered_map<ViObject, Entry> entries_;
    std::atomic<ViObject> next_{1};
};

}  // namespace mivisa
