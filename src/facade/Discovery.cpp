#include "facade/Trelvan.h"

std::vector<DeviceData> Trelvan::getDevList() {
    ListOfDevices();
    status = 1;
    return devices;
}

void Trelvan::ListOfDevices() { devices.clear(); }

void Trelvan::DeviceAdd(char*, std::string, std::string, bool) {}
