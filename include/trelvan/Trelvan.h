// The library's exported entry points, as a host calls them.
// Records and Qt containers pass by value: build the host with the same compiler, standard library and Qt 5.
#pragma once

#include <trelvan/Export.h>
#include <trelvan/Records.h>

#include <QVector>
#include <string>
#include <vector>

// The entry points are unmangled yet pass C++ records; clang warns about that, and it is intended.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif

extern "C" {
TRELVAN_EXPORT std::vector<DeviceData> getDevList();
TRELVAN_EXPORT bool setConnect(DeviceData device);
TRELVAN_EXPORT void setDisconnect();
TRELVAN_EXPORT void setParam(Params params);
TRELVAN_EXPORT void setNumPts(int points);
TRELVAN_EXPORT int getStatus();
TRELVAN_EXPORT Params getParameters(suffix which);
TRELVAN_EXPORT QVector<Error> getError();
TRELVAN_EXPORT int getNumPTS(suffix which);
TRELVAN_EXPORT void getData(QVector<IQ_Elem>* samples);
TRELVAN_EXPORT std::string CustomCommand(std::string command, bool query);
TRELVAN_EXPORT double getCurSampleRate();
TRELVAN_EXPORT void setExtSyncState(bool on);
TRELVAN_EXPORT void setExtSyncFreq(double frequency);
}

#if defined(__clang__)
#pragma clang diagnostic pop
#endif
