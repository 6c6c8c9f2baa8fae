// The configured resource list that discovery searches: from MIVISA_RESOURCES, else the file named by
// MIVISA_CONFIG, else $XDG_CONFIG_HOME/mivisa/resources.conf (~/.config/...), else
// /etc/mivisa/resources.conf.
#pragma once

#include <string>
#include <vector>

#include "ResourceName.h"

namespace mivisa {

struct ResourceEntry {
    ResourceName name;
    bool hasManufacturer = false, hasModel = false, hasSerial = false;
    std::string manufacturer, model, serial;  // UTF-8, as configured
    bool busy = false;
    // Without a configured maker or model the instrument is asked "*IDN?".
    bool needsIdentity() const { return !hasManufacturer || !hasModel; }
};

// "resource|key=value|..." with keys manufacturer, model, serial and busy (0 or 1). False for anything
// malformed: such an entry is left out of every search.
bool parseEntry(const std::string& text, ResourceEntry& out);

// Entries separated by `separator`; in a file ('\n') a '#' starts a comment. Malformed entries are
// skipped, and a resource listed twice counts once.
std::vector<ResourceEntry> parseResourceList(const std::string& text, char separator);

std::vector<ResourceEntry> configuredResources();

}  // namespace mivisa
