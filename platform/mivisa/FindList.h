// The result of a resource search: the resources found and what is known about each.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "Registry.h"

namespace mivisa {

struct FoundResource {
    std::string name;  // as viFindRsrc and viFindNext hand it out
    std::string key;   // to ask whether a session of this process holds it open
    bool hasManufacturer = false, hasModel = false, hasSerial = false;
    std::string manufacturer;
    std::string model;  // Windows-1251 bytes
    std::string serial;
    bool busy = false;  // as configured, or held by another process when searched
};

class FindList : public Object {
public:
    static constexpr Kind kKind = Kind::FindList;
    explicit FindList(std::vector<FoundResource> found) : Object(kKind), found_(std::move(found)) {}

    size_t size() const { return found_.size(); }
    // Moves on to the next resource; false when none is left.
    bool next(std::string& name);
    // Answers for the resource returned last.
    ViStatus attribute(ViAttr attr, void* value);

private:
    std::mutex mutex_;
    std::vector<FoundResource> found_;
    size_t next_ = 0;
};

}  // namespace mivisa
