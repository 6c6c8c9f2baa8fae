#include "ResourceList.h"

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace mivisa {

namespace {

// A configuration file bigger than this is not a resource list.
constexpr std::streamsize kMaxFileBytes = 1 << 20;

std::string trim(const std::string& s) {
    const char* space = " \t\r\n";
    const size_t first = s.find_first_not_of(space);
    if (first == std::string::npos) return std::string();
    return s.substr(first, s.find_last_not_of(space) - first + 1);
}

std::vector<std::string> splitAt(const std::string& s, char separator) {
    std::vector<std::string> out;
    std::string piece;
    std::istringstream in(s);
    while (std::getline(in, piece, separator)) out.push_back(piece);
    return out;
}

bool readFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<char> buf(static_cast<size_t>(kMaxFileBytes));
    in.read(buf.data(), kMaxFileBytes);
    text.assign(buf.data(), static_cast<size_t>(in.gcount()));
    return true;
}

}  // namespace

bool parseEntry(const std::string& text, ResourceEntry& out) {
    const std::vector<std::string> fields = splitAt(text, '|');
    if (fields.empty()) return false;
    ResourceEntry e;
    if (parseResourceName(trim(fields[0]).c_str(), e.name) != VI_SUCCESS) return false;
    for (size_t i = 1; i < fields.size(); ++i) {
        const std::string field = trim(fields[i]);
        const size_t eq = field.find('=');
        if (eq == std::string::npos) return false;
        const std::string key = trim(field.substr(0, eq));
        const std::string value = trim(field.substr(eq + 1));
        if (key == "manufacturer") {
            e.hasManufacturer = true;
            e.manufacturer = value;
        } else if (key == "model") {
            e.hasModel = true;
            e.model = value;
        } else if (key == "serial") {
            e.hasSerial = true;
            e.serial = value;
        } else if (key == "busy") {
            if (value != "0" && value != "1") return false;
            e.busy = value == "1";
        } else {
            return false;
        }
    }
    out = e;
    return true;
}

std::vector<ResourceEntry> parseResourceList(const std::string& text, char separator) {
    std::vector<ResourceEntry> entries;
    std::set<std::string> seen;
    for (std::string item : splitAt(text, separator)) {
        if (separator == '\n') item = item.substr(0, item.find('#'));
        item = trim(item);
        ResourceEntry e;
        if (item.empty() || !parseEntry(item, e)) continue;
        if (!seen.insert(e.name.key()).second) continue;
        entries.push_back(e);
    }
    return entries;
}

std::vector<ResourceEntry> configuredResources() {
    if (const char* list = std::getenv("MIVISA_RESOURCES")) return parseResourceList(list, ';');
    std::vector<std::string> files;
    if (const char* file = std::getenv("MIVISA_CONFIG")) {
        files.push_back(file);
    } else {
        const char* xdg = std::getenv("XDG_CONFIG_HOME");
        const char* home = std::getenv("HOME");
        if (xdg != nullptr && xdg[0] != '\0')
            files.push_back(std::string(xdg) + "/mivisa/resources.conf");
        else if (home != nullptr && home[0] != '\0')
            files.push_back(std::string(home) + "/.config/mivisa/resources.conf");
        files.push_back("/etc/mivisa/resources.conf");
    }
    std::string text;
    for (const std::string& f : files)
        if (readFile(f, text)) return parseResourceList(text, '\n');
    return {};
}

}  // namespace mivisa
