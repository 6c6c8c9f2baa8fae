// Backend for analyzers that speak the SK binary request/reply protocol over a VISA socket.
#pragma once

#include <trelvan/Backend.h>
#include <trelvan/Export.h>
#include <trelvan/Records.h>

#include <QVector>
#include <complex>
#include <cstdint>
#include <vector>

#include "backends/AnalyzerInterface.h"
#include "backends/sk/SkCommandHead.h"
#include "base/VisaConstants.h"

class DynamicVisa;

// Encoding of the values of a parameter message (header byte 9): bytes per value in the high
// nibble, fractional bytes in the low nibble.
enum SkLenFrac : unsigned char {
    kSkInt16 = 0x20,
    kSkInt32 = 0x40,
    kSkFixed32 = 0x42,  // 16 fractional bits
    kSkInt48 = 0x60,
    kSkDouble = 0x8F,
};

constexpr std::size_t kSkReceiveBufferSize = 65536;
constexpr std::size_t kSkMaxBodyLen = kSkReceiveBufferSize - kSkHeadSize;
// NumParam is one byte, so no reply carries more values than this.
constexpr unsigned kSkMaxValues = 255;
// The largest parameter message: header, parameter ID, 255 values of at most 15 bytes.
constexpr std::size_t kSkMaxParameterMessage = kSkHeadSize + 2 + kSkMaxValues * 15;
// I/O time limits of the protocol, in milliseconds.
constexpr int kSkTimeoutMs = 2000;
constexpr int kSkLongTimeoutMs = 20000;
// Samples per MI_RUN data reply at most, and MI_RUN requests in flight at once.
constexpr unsigned kSkMaxRunBlock = 8188;
constexpr unsigned kSkMaxRunsInFlight = 200;
// Raw samples of one acquisition at most (1 GiB of complex doubles): the block size is derived from
// numbers the instrument reports, and those must not be able to drive an allocation without limit.
constexpr int kSkMaxBlockPoints = 1 << 26;

// Pauses of the start-up sequence: after the first retune of the limits query, and after the
// instrument's automatic calibration is switched off. A real instrument needs them to settle; an
// emulated one does not, so tests may construct with shorter ones.
struct SkSettleTimes {
    unsigned long limitsMs = 1000;
    unsigned long calibrationMs = 3000;
};

class TRELVAN_EXPORT SK : public analyzerInterface {
public:
    // Runs the start-up sequence over the session the facade opened.
    explicit SK(Init init);
    SK(Init init, SkSettleTimes settle);
    // An object that is not connected to anything; it exchanges nothing.
    SK();
    ~SK() override;
    SK(const SK&) = delete;
    SK& operator=(const SK&) = delete;

    // Analyzer operations.
    void setParams(Params& p) override;
    void setNumPoints(int n) override;
    void setExtSyncState(bool on) override;
    void setExtSyncFreq(double frequency) override;
    Params getParams(suffix which) override;
    QVector<Error> getErr() override;
    int getNPts(suffix which) override;
    void getData(QVector<IQ_Elem>* out) override;
    double getCurSampleRate() override;

    // Transport: whole messages over the session. Each returns the VISA status (0 on success) and
    // leaves it in the shared status word.
    ViStatus SendData(unsigned char* data, unsigned long size);
    // Reads one message into the receive buffer; *message points at its header, *size counts
    // header and body. A bad signature is only returned, not stored.
    ViStatus ReceiveData(unsigned char** message, unsigned long* size, int timeoutMs);
    ViStatus SendParameter(unsigned short command, unsigned short pid, unsigned char num,
                           unsigned char lenFrac, double* values);
    // Reads one parameter reply and decodes its values into values[], which must have room for
    // kSkMaxValues (a reply carries at most that many).
    ViStatus ReceiveParameter(unsigned short& pid, double* values, CommandHead** head, unsigned char** body);
    // The same, decoding at most `capacity` values.
    ViStatus ReceiveParameter(unsigned short& pid, double* values, CommandHead** head, unsigned char** body,
                              unsigned capacity);
    ViStatus ProcessParameter(unsigned short command, unsigned short pid, unsigned char num,
                              unsigned char lenFrac, double* values, CommandHead** head);
    ViStatus ProcessParameter(unsigned short command, unsigned short pid, unsigned char num,
                              unsigned char lenFrac, double* values, CommandHead** head, unsigned capacity);
    ViStatus ProcessReset();

    // Value encoding: fixed point of len bytes with frac fractional bytes, or a double for 8/15.
    void WriteComplexValue(double value, unsigned char* message, unsigned int offset, unsigned int index,
                           unsigned int len, unsigned int frac);
    double ReadComplexValue(const unsigned char* message, unsigned int offset, unsigned int index,
                            bool isSigned, unsigned int len, unsigned int frac);
    // True when the last MI_RUN reply header carried an error code.
    bool CheckLastCmdStatus();

    // Session set-up and configuration.
    void SendPreSequence();
    void ReadPreSequence();
    void GetParamsLim();
    void SendDisableAutoCalibration();
    void ReadDisableAutoCalibration();
    void CalcMultCoef();
    void calcNewSampleRate();
    unsigned CalcIQClockToSend(unsigned n);

    // Acquisition.
    void GetSamples(std::vector<std::complex<double>>* samples, unsigned requested, unsigned& received);
    void SendRunSequence(unsigned total, unsigned start, unsigned fullCount, unsigned* sent);

    // Spectral post-processing.
    void GetNewAFC(std::vector<double>* frequencies, std::vector<double>* amplitudes);
    double GetInterpolatedValue(double x, const std::vector<double>& xs, const std::vector<double>& ys);
    void PostProcessing(std::vector<std::complex<double>>* samples);

    // Borrowed from the facade, never released here.
    DynamicVisa* visa;
    ViStatus* status;
    ViSession* session;
    ViSession* resourceManager;
    DeviceData* device;
    Error* error;
    Params* params;

    // The last message received: header, then body. Replies are used in place, never copied out.
    alignas(8) unsigned char m_receiveBuffer[kSkReceiveBufferSize];
    // Sequence number of the last request sent; the first request carries 1.
    uint32_t m_requestCounter;

    std::vector<double> m_responseFrequencies;  // Hz
    std::vector<double> m_responseAmplitudes;   // dB
    double m_ifBandwidth;                       // last asked for by setParams
    int m_numPoints;                            // points per block delivered
    int m_blockPoints;                          // raw samples fetched per acquisition
    uint16_t m_nRUNcounter;                     // MI_RUN data replies still to be read
    Params m_minLimits;
    Params m_maxLimits;
    uint16_t m_lastRunHeaderStatus;
    int16_t m_lastRunBodyStatus;
    double m_curSampleRate;  // Hz, of the blocks getData delivers
    SkSettleTimes m_settle;
    // Storage of the acquired and processed block, kept between acquisitions: fresh memory is
    // slow to touch for the first time, and a block can run to tens of megabytes.
    std::vector<std::complex<double>> m_block;

private:
    bool responseSpan(double& span) const;
    // False, with the error record saying why, when the response table cannot serve an acquisition.
    bool responseUsable();
    void resetState();
    void runStartUpSequence();
    bool canExchange() const;
    bool statusOk() const;
    // Reads one parameter reply into values[0 .. capacity-1] (zeroed first) and reports a reply
    // for another parameter at the given line; the reply is used all the same.
    ViStatus readReply(unsigned short expected, int line, double* values, unsigned capacity);
    bool runStatusFatal() const;
    void storeRunSamples(const CommandHead& head, unsigned count, std::vector<std::complex<double>>& samples,
                         unsigned at, unsigned n);
    void emptyReadFailure(std::vector<std::complex<double>>* samples);
    // Reads and drops the replies of MI_RUN requests still in flight, so the next acquisition
    // starts in step with the instrument.
    void drainRunReplies();
    // Requests laid out at out[] with the next sequence number; each returns the bytes written.
    std::size_t composeBareHeader(unsigned char* out, unsigned short command);
    std::size_t composeParameter(unsigned char* out, unsigned short command, unsigned short pid,
                                 unsigned char num, unsigned char lenFrac, const double* values);
    // Sends a bare header (MI_RESET, MI_RUN) with the next sequence number.
    ViStatus sendBareHeader(unsigned short command);
    ViStatus readExactly(unsigned char* into, unsigned long count);
    ViStatus discardBody(unsigned long count);
};

namespace trv::sk {
// Output scale of the post-processing's forward/inverse transform pair, per point of the forward
// transform: a corrected sample is this share of the converter count.
constexpr double kOutputScale = 0.4263694993781802;

// The rates the instrument delivers through each IF filter setParams can choose, ascending, with the
// request that chooses it; empty before a response table is loaded.
std::vector<RateChoice> deliverableRates(const SK& sk);
// The point counts whose raw block, at the rate and response table in force, the session can fetch.
void pointsLimits(const SK& sk, int& min, int& max);
}  // namespace trv::sk
