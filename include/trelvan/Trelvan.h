// The library's exported entry points, as a host calls them, and the facade class behind them with its
// one global instance `trelvan`, whose members a host may also call directly.
// Records and Qt containers pass by value: build the host with the same compiler, standard library and Qt 5.
#pragma once

#include <trelvan/DynamicVisa.h>
#include <trelvan/Export.h>
#include <trelvan/Records.h>

#include <QVector>
#include <complex>
#include <string>
#include <vector>

class analyzerInterface;

// One object holds the connection, the shared records and the backend; every entry point below forwards
// to `trelvan`.
class TRELVAN_EXPORT Trelvan {
public:
    Trelvan();
    ~Trelvan();
    Trelvan(const Trelvan&) = delete;
    Trelvan& operator=(const Trelvan&) = delete;

    // Connection.
    bool setConnect(DeviceData device);
    void setDisconnect();
    int getStatus();

    // Discovery.
    std::vector<DeviceData> getDevList();
    void ListOfDevices();
    void DeviceAdd(char* address, std::string model, std::string serial, bool busy);

    // Direct instrument I/O over the facade's own session (an N9030A).
    int ReadBuf(std::string& reply, unsigned int count, unsigned long& retCount);
    int ReadBufFloat(std::vector<double>& values, unsigned int count, unsigned long& retCount);
    int ReadBufFloat(QVector<IQ_Elem>* samples, unsigned int count, int& written);
    double ReadComplexValue(const unsigned char* message, unsigned int offset, unsigned int index,
                            bool isSigned, unsigned int len, unsigned int frac);
    int OPC();
    int OPCquery();
    // One entry of the instrument's error queue; the argument is not used.
    std::string getErrors(int unused);
    std::string CustomCommand(std::string command, bool query);

    // Acquisition and errors.
    void setParam(Params p);
    void setNumPts(int n);
    Params getParameters(suffix which);
    int getNumPTS(suffix which);
    double getCurSampleRate();
    void setExtSyncState(bool on);
    void setExtSyncFreq(double frequency);
    QVector<Error> getError();
    void getData(QVector<IQ_Elem>* samples);
    // One block captured from an N9030A over the facade's own session, in ASCII (int) or binary (double)
    // transfer; the argument only selects the overload.
    std::vector<std::complex<double>> getData(int unused);
    std::vector<std::complex<double>> getData(double unused);

    analyzerInterface* backend;
    Init init;
    DynamicVisa visa;
    DeviceData device;
    bool isPXA;
    bool isHarogic;
    Params params;
    Error error;
    std::vector<DeviceData> devices;
    ViStatus status;
    ViSession resourceManager;
    ViSession session;

private:
    // Fills in the devices the backends enumerate themselves (USB devices), at the front of a discovery.
    void addEnumeratedDevices();
    // Makes `next` the backend and releases the one it replaces without touching the facade's sessions.
    void replaceBackend(analyzerInterface* next);
};

extern TRELVAN_EXPORT Trelvan trelvan;

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
