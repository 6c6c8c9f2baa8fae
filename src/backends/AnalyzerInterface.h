// The contract between the facade and a backend: the one interface through which the facade drives the
// connected instrument. The slot order is fixed; hosts are built against it.
//
// Shared rules for every method:
// - The backend works through the Init record it was made with. Every VISA or device-library result goes
//   into the status word at once; while the word is non-zero a VISA backend does nothing and answers its
//   stored values, and a device backend with no device open returns at once.
// - Adjusted parameters and protocol failures go into the pending Error record, never into an exception:
//   nothing a backend throws reaches the host (the facade shields every call and logs what it caught),
//   but a backend that throws leaves its instrument in whatever state the throw found it.
// - A method that talks to the instrument may block for as long as the time-outs its backend sets on each
//   exchange allow (VISA session time-outs, the device library's bus time-out); none waits without bound.
// - Configuration calls are not locked against each other or against getData: the host serialises them.
//   The facade holds its acquisition lock around getData, and a disconnect waits for it.
#pragma once

#include <trelvan/Export.h>
#include <trelvan/Records.h>

#include <QVector>

class TRELVAN_EXPORT analyzerInterface {
public:
    // Releases what the backend opened itself; never the Init's pointees, which are the facade's.
    virtual ~analyzerInterface() = default;

    // Applies centre frequency, sample rate and reference level, writing back into `params` what the
    // instrument accepted instead (with error 101 when it changed anything). On failure the status word
    // says why and `params` holds what was applied so far.
    virtual void setParams(Params& params) = 0;
    // Sets the complex points per acquisition; error 102 when the instrument took another count.
    virtual void setNumPoints(int points) = 0;
    // External synchronisation on or off, and its frequency in Hz. Default: the instrument has none and
    // the call is ignored.
    virtual void setExtSyncState(bool) {}
    virtual void setExtSyncFreq(double) {}
    // Lower limits (MIN), upper limits (MAX) or current values (CUR, and any other value unless the
    // backend says otherwise); on failure the stored or default record.
    virtual Params getParams(suffix which) = 0;
    // The backend's own error report; empty when it has nothing to add to the pending record.
    virtual QVector<Error> getErr() = 0;
    // Points per acquisition, or its limits where the instrument reports them; 0 when not known.
    virtual int getNPts(suffix which) = 0;
    // Fills `samples` (emptied by the facade, capacity kept) with one acquisition. A failure leaves it
    // empty or short, with the status word or the pending error saying why. May block for the bounded
    // time one acquisition takes.
    virtual void getData(QVector<IQ_Elem>* samples) = 0;
    // The rate, in Hz, of the samples getData delivers; 0 before the backend knows it.
    virtual double getCurSampleRate() = 0;
};
