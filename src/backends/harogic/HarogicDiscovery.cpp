#include <cstdio>
#include <string>

#include "backends/harogic/Harogic.h"
#include "backends/harogic/HarogicGuardedRecord.h"
#include "util/Log.h"

namespace {
// A library that opened every number would otherwise never end the scan.
constexpr int kMaxDevices = 256;
}  // namespace

void Harogic::getDevList(QVector<DeviceData>* list) {
    if (list == nullptr) return;
    releaseHandle();  // our own device would refuse the probe of its number
    list->resize(0);
    lastStatus = trv::htra::kOk;
    for (int number = 0; lastStatus == trv::htra::kOk && number < kMaxDevices; ++number) {
        void* device = nullptr;
        lastStatus = trv::htra::openDevice(&device, number, &openProfile, &openInfo);
        if (lastStatus != trv::htra::kOk) return;
        trv::htra::GuardedRecord<DeviceInfoRecord> guarded("device information record");
        lastStatus = guarded.judge(Device_QueryDeviceInfo(&device, guarded.get()));
        if (lastStatus == trv::htra::kRecordOverrun) {
            Device_Close(&device);
            openProfile = {};
            openInfo = {};
            return;
        }
        const DeviceInfoRecord& info = *guarded;
        TRELVAN_LOG(harogic) << info.modelCode;

        DeviceData entry;
        std::snprintf(entry.address, sizeof entry.address, "USB::%d", number);
        entry.model = model2Text(info.modelCode).toStdString();
        entry.serial = std::to_string(info.identifier);
        entry.busy = false;
        list->append(entry);

        Device_Close(&device);
        openProfile = {};
        openInfo = {};
    }
}

QString Harogic::model2Text(int code) {
    for (const auto& [known, name] : modelNames) {
        if (known == code) return name;
    }
    return QStringLiteral("Undefined type");
}
