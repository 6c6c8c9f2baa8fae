// Discovery: the attached Harogic devices, then the VISA instruments that pass the vendor and model filters.
#include <cstring>

#include <trelvan/Split.h>
#include "backends/BackendTable.h"
#include "facade/Facade.h"
#include "facade/FacadeTexts.h"
#include "facade/Shielded.h"
#include "base/Cp1251.h"
#include "util/Log.h"

namespace {

// A find list longer than this is not a list of instruments on one bench.
constexpr ViUInt32 kMaxResources = 1024;

// One attribute of the resource the find list returned last, as the bytes before the first NUL.
bool readText(DynamicVisa& visa, ViFindList list, ViAttr attribute, std::string& text) {
    char buffer[VI_FIND_BUFLEN + 1] = {};
    if (visa.viGetAttribute(list, attribute, buffer) != VI_SUCCESS) return false;
    text.assign(buffer);
    return true;
}

}  // namespace

std::vector<DeviceData> Trelvan::getDevList() {
    ListOfDevices();
    status = 1;
    return devices;
}

void Trelvan::DeviceAdd(char* address, std::string model, std::string serial, bool busy) {
    DeviceData d;
    if (address != nullptr) std::strncpy(d.address, address, sizeof d.address - 1);
    d.model = std::move(model);
    d.serial = std::move(serial);
    d.busy = busy;
    if (busy)
        devices.push_back(std::move(d));
    else
        devices.insert(devices.begin(), std::move(d));
}

void Trelvan::ListOfDevices() {
    devices.clear();
    addEnumeratedDevices();

    ViSession rm = 0;
    ViFindList list = 0;
    ViUInt32 count = 0;
    char descriptor[VI_FIND_BUFLEN] = {};
    status = visa.viOpenDefaultRM(&rm);
    status = visa.viFindRsrc(rm, const_cast<char*>(""), &list, &count, descriptor);
    if (status != 0) {
        visa.viClose(rm);
        TRELVAN_LOG(facade) << trv::facade_text::kSearchFailed;
        return;
    }
    for (ViUInt32 found = 0; status == 0 && found < std::min(count, kMaxResources); ++found) {
        std::string text;
        bool keep = true;
        if (readText(visa, list, VI_ATTR_MANF_NAME, text))
            keep = trv::backends::knownMaker(QString::fromLocal8Bit(text.c_str()));
        std::string model;
        const BackendRow* row = nullptr;
        if (keep) {
            const bool modelKnown = readText(visa, list, VI_ATTR_MODEL_NAME, text);
            const QString converted = QString::fromUtf8(trv::cp1251::toUtf8(text).c_str());
            if (modelKnown) model = converted.toStdString();
            row = trv::backends::forResource(converted, QString::fromLocal8Bit(text.c_str()), modelKnown);
            keep = row != nullptr;
        }
        std::string serial;
        if (keep && readText(visa, list, VI_ATTR_USB_SERIAL_NUM, text)) {
            keep = !text.empty();
            serial = QString::fromLocal8Bit(text.c_str()).toStdString();
        }
        if (keep) {
            unsigned char flag[VI_FIND_BUFLEN + 1] = {};
            const bool busy =
                visa.viGetAttribute(list, TRELVAN_ATTR_BUSY, flag) == VI_SUCCESS && flag[0] != 0;
            const std::vector<std::string> parts = split(descriptor, "::");
            const std::string host = parts.size() > 1 ? parts[1] : std::string();
            std::string address = split(trv::backends::resourceFor(*row, host), "\n")[0];
            DeviceAdd(&address[0], model, serial, busy);
        }
        std::memset(descriptor, 0, sizeof descriptor);
        status = visa.viFindNext(list, descriptor);
    }
    visa.viClose(rm);
}

void Trelvan::addEnumeratedDevices() {
    // Discovery leaves no backend connected; the one that was is released here rather than leaked.
    replaceBackend(nullptr);
    for (const BackendRow* row : trv::backends::rows()) {
        if (row->enumerate == nullptr) continue;
        QVector<DeviceData> found;
        shielded("getDevList", [&] { row->enumerate(&found); });
        for (DeviceData& d : found) DeviceAdd(d.address, d.model, d.serial, d.busy);
    }
}
