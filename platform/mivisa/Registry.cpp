#include "Registry.h"

#include <algorithm>

namespace mivisa {

Registry& Registry::instance() {
    static Registry r;
    return r;
}

Registry::~Registry() {
    // Whatever the program left open is closed when the library goes away.
    std::vector<std::shared_ptr<Object>> closed;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& e : entries_) closed.push_back(std::move(e.second.object));
        entries_.clear();
    }
    for (auto& object : closed) object->close();
}

bool Registry::insert(ViObject handle, std::shared_ptr<Object> object, ViObject parent) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (parent != 0) {
        auto p = entries_.find(parent);
        if (p == entries_.end()) return false;
        p->second.children.push_back(handle);
    }
    entries_[handle] = Entry{std::move(object), parent, {}};
    return true;
}

std::shared_ptr<Object> Registry::find(ViObject handle, Kind kind) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(handle);
    if (it == entries_.end() || it->second.object->kind != kind) return nullptr;
    return it->second.object;
}

void Registry::detach(ViObject handle, std::vector<std::shared_ptr<Object>>& closed) {
    auto it = entries_.find(handle);
    if (it == entries_.end()) return;
    Entry entry = std::move(it->second);
    entries_.erase(it);
    for (ViObject child : entry.children) detach(child, closed);
    closed.push_back(std::move(entry.object));
}

ViStatus Registry::close(ViObject handle) {
    std::vector<std::shared_ptr<Object>> closed;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = entries_.find(handle);
        if (it == entries_.end()) return VI_ERROR_INV_OBJECT;
        auto parent = entries_.find(it->second.parent);
        if (parent != entries_.end()) {
            auto& siblings = parent->second.children;
            siblings.erase(std::remove(siblings.begin(), siblings.end(), handle), siblings.end());
        }
        detach(handle, closed);
    }
    // Outside the table lock: closing a session may wait on its socket.
    for (auto& object : closed) object->close();
    return VI_SUCCESS;
}

}  // namespace mivisa
