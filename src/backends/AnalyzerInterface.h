// The one interface through which the facade drives a backend. The slot order is fixed.
#pragma once

#include <trelvan/Export.h>
#include <trelvan/Records.h>

#include <QVector>

class TRELVAN_EXPORT analyzerInterface {
public:
    virtual ~analyzerInterface() = default;
    virtual void setParams(Params& params) = 0;
    virtual void setNumPoints(int points) = 0;
    virtual void setExtSyncState(bool on) = 0;
    virtual void setExtSyncFreq(double frequency) = 0;
    virtual Params getParams(suffix which) = 0;
    virtual QVector<Error> getErr() = 0;
    virtual int getNPts(suffix which) = 0;
    virtual void getData(QVector<IQ_Elem>* samples) = 0;
    virtual double getCurSampleRate() = 0;
};
