// find and make for driver=trelvan, and the module's registration with SoapySDR.
#include "Discovery.h"

#include "TrelvanDevice.h"

#include <trelvan/Backend.h>
#include <trelvan/Trelvan.h>

#include <SoapySDR/Modules.hpp>
#include <SoapySDR/Registry.hpp>
#include <algorithm>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace trelvan_soapy {

namespace {

const char* const kDriver = "trelvan";

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

std::mutex openMutex;
std::vector<DeviceData> openDevices;  // guarded by openMutex

bool same(const DeviceData& a, const DeviceData& b) {
    return std::string(a.address) == b.address && a.serial == b.serial;
}

// A facade object of its own for each discovery, so that it leaves the open devices' connections alone.
std::vector<DeviceData> discover() {
    Trelvan finder;
    std::vector<DeviceData> found = finder.getDevList();
    std::lock_guard<std::mutex> lock(openMutex);
    for (DeviceData open : openDevices) {
        if (std::none_of(found.begin(), found.end(), [&](const DeviceData& d) { return same(d, open); })) {
            open.busy = true;
            found.push_back(open);
        }
    }
    return found;
}

SoapySDR::KwargsList findTrelvan(const SoapySDR::Kwargs& args) {
    const auto driver = args.find("driver");
    if (driver != args.end() && driver->second != kDriver) return {};
    SoapySDR::KwargsList result;
    for (const DeviceData& d : discover()) {
        SoapySDR::Kwargs entry = describe(d);
        if (matches(entry, args)) result.push_back(std::move(entry));
    }
    return result;
}

SoapySDR::Device* makeTrelvan(const SoapySDR::Kwargs& args) {
    // Each device is a connection of its own, so several instruments stream side by side. It discovers
    // on its own object too: a facade connects only what its own discovery listed.
    std::unique_ptr<Trelvan> lib(new Trelvan());
    const std::vector<DeviceData> found = lib->getDevList();
    const auto chosen = std::find_if(found.begin(), found.end(), [&](const DeviceData& d) {
        return !d.busy && matches(describe(d), args);
    });
    if (chosen == found.end())
        throw std::runtime_error("trelvan: no free instrument matches " + SoapySDR::KwargsToString(args));
    if (!lib->setConnect(*chosen)) {
        const int status = lib->getStatus();
        throw std::runtime_error("trelvan: cannot connect to " + std::string(chosen->address) + " (status " +
                                 std::to_string(status) + ")");
    }
    auto* device = new TrelvanDevice(std::move(lib), *chosen, args);
    std::lock_guard<std::mutex> lock(openMutex);
    openDevices.push_back(*chosen);
    return device;
}

const SoapySDR::Registry registration(kDriver, &findTrelvan, &makeTrelvan, SOAPY_SDR_ABI_VERSION);
const SoapySDR::ModuleVersion version(TRELVAN_VERSION);

}  // namespace

void deviceClosed(const DeviceData& device) {
    std::lock_guard<std::mutex> lock(openMutex);
    const auto it = std::find_if(openDevices.begin(), openDevices.end(),
                                 [&](const DeviceData& d) { return same(d, device); });
    if (it != openDevices.end()) openDevices.erase(it);
}

SoapySDR::Kwargs describe(const DeviceData& device) {
    SoapySDR::Kwargs k;
    k["driver"] = kDriver;
    k["label"] = device.model + " " + device.serial;
    k["serial"] = device.serial;
    k["model"] = device.model;
    k["address"] = device.address;
    k["backend"] = instrumentFacts(device).backend;
    if (device.busy) k["busy"] = "true";
    return k;
}

}  // namespace trelvan_soapy
