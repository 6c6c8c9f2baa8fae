// find and make for driver=trelvan, and the module's registration with SoapySDR.
#include "Discovery.h"

#include "TrelvanDevice.h"

#include <trelvan/Trelvan.h>

#include <SoapySDR/Modules.hpp>
#include <SoapySDR/Registry.hpp>
#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <vector>

namespace trelvan_soapy {

namespace {

const char* const kDriver = "trelvan";

// Guards the two below. Taken before libraryMutex when both are needed.
std::mutex stateMutex;
std::vector<DeviceData> lastFound;
bool instrumentOpen = false;

bool containsNoCase(const std::string& text, const std::string& part) {
    auto it = std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
    });
    return it != text.end();
}

// Each of these keys that the caller gives must match the entry exactly.
bool matches(const SoapySDR::Kwargs& entry, const SoapySDR::Kwargs& filter) {
    for (const char* key : {"serial", "model", "address", "backend", "label"}) {
        const auto want = filter.find(key);
        if (want == filter.end()) continue;
        const auto have = entry.find(key);
        if (have == entry.end() || have->second != want->second) return false;
    }
    return true;
}

// Discovery drops the library's connection, so while an instrument is open the last list stands in.
std::vector<DeviceData> discover() {
    if (!instrumentOpen) {
        std::lock_guard<std::mutex> lock(libraryMutex());
        lastFound = getDevList();
    }
    return lastFound;
}

SoapySDR::KwargsList findTrelvan(const SoapySDR::Kwargs& args) {
    const auto driver = args.find("driver");
    if (driver != args.end() && driver->second != kDriver) return {};
    std::lock_guard<std::mutex> lock(stateMutex);
    SoapySDR::KwargsList result;
    for (const DeviceData& d : discover()) {
        SoapySDR::Kwargs entry = describe(d);
        if (matches(entry, args)) result.push_back(std::move(entry));
    }
    return result;
}

SoapySDR::Device* makeTrelvan(const SoapySDR::Kwargs& args) {
    std::lock_guard<std::mutex> lock(stateMutex);
    if (instrumentOpen)
        throw std::runtime_error(
            "trelvan: an instrument is already open in this process; the library drives one at a time, "
            "so close it before making another");
    DeviceData chosen;
    bool found = false;
    {
        std::lock_guard<std::mutex> library(libraryMutex());
        // A fresh discovery also leaves the library ready for a VISA connection after a USB device.
        lastFound = getDevList();
        for (const DeviceData& d : lastFound) {
            if (d.busy || !matches(describe(d), args)) continue;
            chosen = d;
            found = true;
            break;
        }
        if (!found) throw std::runtime_error("trelvan: no free instrument matches " + SoapySDR::KwargsToString(args));
        if (!setConnect(chosen)) {
            const int status = getStatus();
            throw std::runtime_error("trelvan: cannot connect to " + std::string(chosen.address) + " (status " +
                                     std::to_string(status) + ")");
        }
    }
    instrumentOpen = true;
    try {
        return new TrelvanDevice(trelvan, libraryMutex(), chosen, args);
    } catch (...) {
        std::lock_guard<std::mutex> library(libraryMutex());
        setDisconnect();
        instrumentOpen = false;
        throw;
    }
}

const SoapySDR::Registry registration(kDriver, &findTrelvan, &makeTrelvan, SOAPY_SDR_ABI_VERSION);
const SoapySDR::ModuleVersion version(TRELVAN_VERSION);

}  // namespace

std::mutex& libraryMutex() {
    static std::mutex m;
    return m;
}

std::string backendOf(const DeviceData& device) {
    const std::string address = device.address;
    if (address.rfind("USB::", 0) == 0) return "Harogic";
    return containsNoCase(device.model, "N9030A") ? "PXA" : "SK";
}

SoapySDR::Kwargs describe(const DeviceData& device) {
    SoapySDR::Kwargs k;
    k["driver"] = kDriver;
    k["label"] = device.model + " " + device.serial;
    k["serial"] = device.serial;
    k["model"] = device.model;
    k["address"] = device.address;
    k["backend"] = backendOf(device);
    if (device.busy) k["busy"] = "true";
    return k;
}

void instrumentClosed() {
    std::lock_guard<std::mutex> lock(stateMutex);
    instrumentOpen = false;
}

}  // namespace trelvan_soapy
