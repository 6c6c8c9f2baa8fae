// The global instance and the unmangled entry points that forward to it.
#include <trelvan/Trelvan.h>

#include <QMutex>

#include "facade/Facade.h"

namespace {
// The module mutex beside the instance; nothing here needs to lock it.
QMutex exportsMutex;
}  // namespace

Trelvan trelvan;

#if defined(__clang__)
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif

extern "C" {
std::vector<DeviceData> getDevList() {
    return trelvan.getDevList();
}
bool setConnect(DeviceData device) {
    return trelvan.setConnect(device);
}
void setDisconnect() {
    trelvan.setDisconnect();
}
void setParam(Params params) {
    trelvan.setParam(params);
}
void setNumPts(int points) {
    trelvan.setNumPts(points);
}
int getStatus() {
    return trelvan.getStatus();
}
Params getParameters(suffix which) {
    return trelvan.getParameters(which);
}
QVector<Error> getError() {
    return trelvan.getError();
}
int getNumPTS(suffix which) {
    return trelvan.getNumPTS(which);
}
void getData(QVector<IQ_Elem>* samples) {
    trelvan.getData(samples);
}
std::string CustomCommand(std::string command, bool query) {
    return trelvan.CustomCommand(command, query);
}
double getCurSampleRate() {
    return trelvan.getCurSampleRate();
}
void setExtSyncState(bool on) {
    trelvan.setExtSyncState(on);
}
void setExtSyncFreq(double frequency) {
    trelvan.setExtSyncFreq(frequency);
}
}
