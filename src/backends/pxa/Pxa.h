// Backend for the N9030A: SCPI text over the socket session the facade has opened.
#pragma once

#include <trelvan/Export.h>
#include <trelvan/Records.h>

#include <QVector>
#include <string>

#include "backends/AnalyzerInterface.h"
#include "backends/pxa/PxaScpi.h"
#include "base/VisaConstants.h"

class DynamicVisa;

class TRELVAN_EXPORT PXA : public analyzerInterface {
public:
    PXA();
    explicit PXA(Init init);
    ~PXA() override;

    void setParams(Params& requested) override;
    void setNumPoints(int points) override;
    void setExtSyncState(bool on) override;
    void setExtSyncFreq(double frequency) override;
    Params getParams(suffix which) override;
    QVector<Error> getErr() override;
    int getNPts(suffix which) override;
    void getData(QVector<IQ_Elem>* samples) override;
    double getCurSampleRate() override;

    // One "*OPC?" exchange: the instrument's answer, or VI_ERROR_TMO while the status word holds an error.
    int OPCquery();
    // Waits until the instrument reports its pending operations complete.
    void OPC();
    // Reads `count` bytes (1024 when 0, at most 1024) into `reply`; `retCount` gets its length.
    void ReadBuf(std::string& reply, unsigned int count, unsigned long& retCount);
    // Reads `count` bytes (1024 when 0) of float pairs into `samples`, from element `written` on.
    void ReadBufFloat(QVector<IQ_Elem>* samples, unsigned int count, int& written);

    // Borrowed from the facade; a PXA owns none of them.
    DynamicVisa* visa;
    ViStatus* status;
    ViSession* session;
    ViSession* resourceManager;
    Params* params;
    Error* error;
    DeviceData* device;

private:
    bool linked() const { return status != nullptr; }
    // The SCPI link over the borrowed session; only while linked.
    trv::pxa::ScpiLink link() const;
    void command(const char* text);
    void command(const char* format, const QString& number);
    QString framedQuery(const char* text);
    bool captureBlock(QVector<IQ_Elem>* samples);
};
