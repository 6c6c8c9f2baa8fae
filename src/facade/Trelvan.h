// The facade: one object holds the connection, the shared records and the backend, and every
// exported entry point forwards to its one global instance `trelvan`.
#pragma once

#include <trelvan/Export.h>
#include <trelvan/Records.h>

#include <QVector>
#include <complex>
#include <string>
#include <vector>

#include "backends/AnalyzerInterface.h"
#include "backends/Init.h"
#include "visa/DynamicVisa.h"

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

    // Direct instrument I/O over the facade's own session.
    int ReadBuf(std::string& reply, unsigned int count, unsigned long& retCount);
    int ReadBufFloat(std::vector<double>& values, unsigned int count, unsigned long& retCount);
    int ReadBufFloat(QVector<IQ_Elem>* samples, unsigned int count, int& written);
    double ReadComplexValue(const unsigned char* message, unsigned int offset, unsigned int index,
                            bool isSigned, unsigned int len, unsigned int frac);
    int OPC();
    int OPCquery();
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
