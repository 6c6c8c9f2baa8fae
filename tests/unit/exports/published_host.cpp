// A host that declares the library's exported interface itself, the way the interface is published, and
// takes the address of (or calls, on a path never run) every exported function and member. It includes
// none of our headers: when an exported signature drifts, this program no longer links.
// At run time it checks that the facade's data members sit where the published class puts them.
#include <QString>
#include <QVector>
#include <complex>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

// VISA C types as the standard type header has them on a 64-bit Unix host.
typedef int ViStatus;
typedef unsigned int ViUInt32, ViSession, ViObject, ViFindList, ViEvent, ViEventType, ViEventFilter, ViAttr,
    ViAccessMode, ViJobId;
typedef short ViInt16;
typedef unsigned short ViUInt16, ViBoolean;
typedef unsigned char ViUInt8;
typedef unsigned long long ViUInt64, ViAttrState, ViBusAddress, ViBusSize;
typedef char ViChar;
typedef char *ViString, *ViRsrc, *ViKeyId;
typedef const char* ViConstString;
typedef unsigned char *ViBuf, *ViPBuf;
typedef void* ViAddr;
typedef va_list ViVAList;
typedef ViStatus (*ViHndlr)(ViSession, ViEventType, ViEvent, ViAddr);

// The 78 VISA functions in slot order: result, name without "vi", parameters.
// clang-format off
#define VISA(X)                                                                                             \
    X(ViStatus, OpenDefaultRM, (ViSession*))                                                                \
    X(ViStatus, ParseRsrcEx, (ViSession, ViRsrc, ViUInt16*, ViUInt16*, ViChar*, ViChar*, ViChar*))          \
    X(ViStatus, Open, (ViSession, ViRsrc, ViAccessMode, ViUInt32, ViSession*))                              \
    X(ViStatus, FindRsrc, (ViSession, ViString, ViFindList*, ViUInt32*, ViChar*))                           \
    X(ViStatus, FindNext, (ViFindList, ViChar*))                                                            \
    X(ViStatus, ParseRsrc, (ViSession, ViRsrc, ViUInt16*, ViUInt16*)) X(ViStatus, Close, (ViObject))        \
    X(ViStatus, SetAttribute, (ViObject, ViAttr, ViAttrState))                                              \
    X( ViStatus, GetAttribute, (ViObject, ViAttr, void*))                                                   \
    X(ViStatus, StatusDesc, (ViObject, ViStatus, ViChar*))                                                  \
    X(ViStatus, Terminate, (ViObject, ViUInt16, ViJobId))                                                   \
    X(ViStatus, Lock, (ViSession, ViAccessMode, ViUInt32, ViKeyId, ViChar*))                                \
    X(ViStatus, Unlock, (ViSession))                                                                        \
    X( ViStatus, EnableEvent, (ViSession, ViEventType, ViUInt16, ViEventFilter))                            \
    X(ViStatus, DisableEvent, (ViSession, ViEventType, ViUInt16))                                           \
    X(ViStatus, DiscardEvents, (ViSession, ViEventType, ViUInt16))                                          \
    X(ViStatus, WaitOnEvent, (ViSession, ViEventType, ViUInt32, ViEventType*, ViEvent*))                    \
    X( ViStatus, InstallHandler, (ViSession, ViEventType, ViHndlr, ViAddr))                                 \
    X(ViStatus, UninstallHandler, (ViSession, ViEventType, ViHndlr, ViAddr))                                \
    X(ViStatus, Read, (ViSession, ViPBuf, ViUInt32, ViUInt32*))                                             \
    X( ViStatus, ReadAsync, (ViSession, ViPBuf, ViUInt32, ViJobId*))                                        \
    X(ViStatus, ReadToFile, (ViSession, ViConstString, ViUInt32, ViUInt32*))                                \
    X(ViStatus, Write, (ViSession, ViBuf, ViUInt32, ViUInt32*))                                             \
    X( ViStatus, WriteAsync, (ViSession, ViBuf, ViUInt32, ViJobId*))                                        \
    X(ViStatus, WriteFromFile, (ViSession, ViConstString, ViUInt32, ViUInt32*))                             \
    X(ViStatus, AssertTrigger, (ViSession, ViUInt16)) X(ViStatus, ReadSTB, (ViSession, ViUInt16*))          \
    X( ViStatus, Clear, (ViSession)) X(ViStatus, SetBuf, (ViSession, ViUInt16, ViUInt32))                   \
    X(ViStatus, Flush, (ViSession, ViUInt16))                                                               \
    X(ViStatus, BufWrite, (ViSession, ViBuf, ViUInt32, ViUInt32*))                                          \
    X( ViStatus, BufRead, (ViSession, ViPBuf, ViUInt32, ViUInt32*))                                         \
    X(ViStatus, Printf, (ViSession, ViString, ...)) X(ViStatus, VPrintf, (ViSession, ViString, ViVAList))   \
    X(ViStatus, SPrintf, (ViSession, ViPBuf, ViString, ...))                                                \
    X( ViStatus, VSPrintf, (ViSession, ViPBuf, ViString, ViVAList))                                         \
    X(ViStatus, Scanf, (ViSession, ViString, ...)) X(ViStatus, VScanf, (ViSession, ViString, ViVAList))     \
    X( ViStatus, SScanf, (ViSession, ViBuf, ViString, ...))                                                 \
    X(ViStatus, VSScanf, (ViSession, ViBuf, ViString, ViVAList))                                            \
    X(ViStatus, Queryf, (ViSession, ViString, ViString, ...))                                               \
    X(ViStatus, VQueryf, (ViSession, ViString, ViString, ViVAList))                                         \
    X( ViStatus, In8, ( ViSession, ViUInt16, ViBusAddress, ViUInt8*))                                       \
    X(ViStatus, Out8, (ViSession, ViUInt16, ViBusAddress, ViUInt8))                                         \
    X(ViStatus, In16, (ViSession, ViUInt16, ViBusAddress, ViUInt16*))                                       \
    X( ViStatus, Out16, ( ViSession, ViUInt16, ViBusAddress, ViUInt16))                                     \
    X(ViStatus, In32, (ViSession, ViUInt16, ViBusAddress, ViUInt32*))                                       \
    X(ViStatus, Out32, (ViSession, ViUInt16, ViBusAddress, ViUInt32))                                       \
    X( ViStatus, MoveIn8, ( ViSession, ViUInt16, ViBusAddress, ViBusSize, ViUInt8*))                        \
    X(ViStatus, MoveOut8, (ViSession, ViUInt16, ViBusAddress, ViBusSize, ViUInt8*))                         \
    X(ViStatus, MoveIn16, (ViSession, ViUInt16, ViBusAddress, ViBusSize, ViUInt16*))                        \
    X( ViStatus, MoveOut16, (ViSession, ViUInt16, ViBusAddress, ViBusSize, ViUInt16*))                      \
    X(ViStatus, MoveIn32, (ViSession, ViUInt16, ViBusAddress, ViBusSize, ViUInt32*))                        \
    X(ViStatus, MoveOut32, (ViSession, ViUInt16, ViBusAddress, ViBusSize, ViUInt32*))                       \
    X( ViStatus, Move,                                                                                      \
      (ViSession, ViUInt16, ViBusAddress, ViUInt16, ViUInt16, ViBusAddress, ViUInt16, ViBusSize))           \
    X(ViStatus, MoveAsync,                                                                                  \
      (ViSession, ViUInt16, ViBusAddress, ViUInt16, ViUInt16, ViBusAddress, ViUInt16, ViBusSize, ViJobId*)) \
    X(ViStatus, MapAddress, (ViSession, ViUInt16, ViBusAddress, ViBusSize, ViBoolean, ViAddr, ViAddr*))     \
    X(ViStatus, UnmapAddress, (ViSession)) X(void, Peek8, (ViSession, ViAddr, ViUInt8*))                    \
    X( void, Poke8, (ViSession, ViAddr, ViUInt8)) X(void, Peek16, (ViSession, ViAddr, ViUInt16*))           \
    X(void, Poke16, (ViSession, ViAddr, ViUInt16)) X( void, Peek32, (ViSession, ViAddr, ViUInt32*))         \
    X(void, Poke32, (ViSession, ViAddr, ViUInt32))                                                          \
    X(ViStatus, MemAlloc, (ViSession, ViBusSize, ViBusAddress*))                                            \
    X(ViStatus, MemFree, (ViSession, ViBusAddress)) X( ViStatus, GpibControlREN, ( ViSession, ViUInt16))    \
    X(ViStatus, GpibControlATN, (ViSession, ViUInt16)) X(ViStatus, GpibSendIFC, (ViSession))                \
    X( ViStatus, GpibCommand, (ViSession, ViBuf, ViUInt32, ViUInt32*))                                      \
    X(ViStatus, GpibPassControl, (ViSession, ViUInt16, ViUInt16))                                           \
    X(ViStatus, VxiCommandQuery, (ViSession, ViUInt16, ViUInt32, ViUInt32*))                                \
    X(ViStatus, AssertUtilSignal, (ViSession, ViUInt16))                                                    \
    X(ViStatus, AssertIntrSignal, (ViSession, ViInt16, ViUInt32))                                           \
    X(ViStatus, MapTrigger, (ViSession, ViInt16, ViInt16, ViUInt16))                                        \
    X(ViStatus, UnmapTrigger, (ViSession, ViInt16, ViInt16))                                                \
    X(ViStatus, UsbControlOut, (ViSession, ViInt16, ViInt16, ViUInt16, ViUInt16, ViUInt16, ViBuf))          \
    X(ViStatus, UsbControlIn,                                                                               \
      (ViSession, ViInt16, ViInt16, ViUInt16, ViUInt16, ViUInt16, ViPBuf, ViUInt16*))
// clang-format on

#define STUB(R, Name, Args) R noVi##Name Args;
VISA(STUB)

class QLibrary;
class analyzerInterface;
struct DeviceState_TypeDef;

struct DeviceData {
    char address[128];
    std::string model, serial;
    bool busy;
};
struct Params {
    double frequency, sampleRate;
    int refLevel;
};
enum suffix : int { MIN, MAX, CUR };
struct IQ_Elem {
    double I, Q;
};
struct Error {
    int code;
    QString text;
};
class DynamicVisa {
public:
    DynamicVisa(const char* libraryName);
    ~DynamicVisa();
    int Initialize(const char* libraryName);
    void Uninitialize();
    bool Initialized();
    int MissingFnCount();
    QLibrary* library;
    int loadStatus;
#define SLOT(R, Name, Args) R(*vi##Name) Args;
    VISA(SLOT)
};
struct Init {
    DynamicVisa* visa;
    ViStatus* status;
    ViSession *session, *resourceManager;
    Params* params;
    Error* error;
    DeviceData* device;
};

extern "C" {
std::vector<DeviceData> getDevList();
bool setConnect(DeviceData);
void setDisconnect();
void setParam(Params);
void setNumPts(int);
int getStatus();
Params getParameters(suffix);
QVector<Error> getError();
int getNumPTS(suffix);
void getData(QVector<IQ_Elem>*);
std::string CustomCommand(std::string, bool);
double getCurSampleRate();
void setExtSyncState(bool);
void setExtSyncFreq(double);
}

class Trelvan {
public:
    Trelvan();
    ~Trelvan();
    bool setConnect(DeviceData device);
    void setDisconnect();
    int getStatus();
    std::vector<DeviceData> getDevList();
    void ListOfDevices();
    void DeviceAdd(char* address, std::string model, std::string serial, bool busy);
    int ReadBuf(std::string& reply, unsigned int count, unsigned long& retCount);
    int ReadBufFloat(std::vector<double>& values, unsigned int count, unsigned long& retCount);
    int ReadBufFloat(QVector<IQ_Elem>* samples, unsigned int count, int& written);
    double ReadComplexValue(const unsigned char* message, unsigned int offset, unsigned int index,
                            bool isSigned, unsigned int len, unsigned int frac);
    int OPC();
    int OPCquery();
    std::string getErrors(int);
    std::string CustomCommand(std::string command, bool query);
    void setParam(Params p);
    void setNumPts(int n);
    Params getParameters(suffix s);
    int getNumPTS(suffix s);
    double getCurSampleRate();
    void setExtSyncState(bool on);
    void setExtSyncFreq(double frequency);
    QVector<Error> getError();
    void getData(QVector<IQ_Elem>* v);
    std::vector<std::complex<double>> getData(int);
    std::vector<std::complex<double>> getData(double);

    analyzerInterface* backend;
    Init init;
    DynamicVisa visa;
    DeviceData device;
    bool isPXA, isHarogic;
    Params params;
    Error error;
    std::vector<DeviceData> devices;
    ViStatus status;
    ViSession resourceManager, session;
};
extern Trelvan trelvan;

std::vector<std::string> split(std::string source, std::string delimiter);
std::vector<QString> QSplit(std::string source, std::string delimiter);

struct CommandHead {
    unsigned short Signature, Command;
    short Status;
    unsigned short BodyLen, Flags, Reserved;
    unsigned int Sequence;
};
class CHead : public CommandHead {
public:
    CHead();
    CHead& operator=(const CHead&);
    int NumParam();
    int LenParam();
    int FracParam();
    void SetFlags(short num, short len, short frac);
    short Check(unsigned short size);
    short Check(short num, short len, short frac, bool checkBody);
};

int str2int(const char* text);
int GetEnumIndexByID(const char** names, int count, int id);
const char* GetEnumName(const char** names, int count, int id);
const char* GetEnumValue(const char** names, const char** values, int count, int id);
int GetEnumID(const char** names, int count, const char* text);
int GetEnumID(const char** names, int index);
const char* GetCommandName(int id);
int GetCommandID(const char* text);
const char* GetParameterName(int id);
const char* GetParameterDescription(int id);
int GetParameterID(const char* text);
int GetParametersCount();
int GetParameterIDByIndex(int index);
const char* GetErrorName(int id);
const char* GetErrorString(int id);
int GetErrorsCount();
int GetErrorIDByIndex(int index);

// The backends' members, declared here without `virtual` so that taking an address names the symbol.
#define ANALYZER(C)                        \
    C();                                   \
    C(Init);                               \
    ~C();                                  \
    void setParams(Params& p);             \
    void setNumPoints(int n);              \
    void setExtSyncState(bool on);         \
    void setExtSyncFreq(double frequency); \
    Params getParams(suffix s);            \
    QVector<Error> getErr();               \
    int getNPts(suffix s);                 \
    void getData(QVector<IQ_Elem>* out);   \
    double getCurSampleRate();
class PXA {
public:
    ANALYZER(PXA)
    int OPCquery();
    void OPC();
    void ReadBuf(std::string& reply, unsigned int count, unsigned long& retCount);
    void ReadBufFloat(QVector<IQ_Elem>* samples, unsigned int count, int& written);
};
class SK {
public:
    ANALYZER(SK)
    ViStatus SendData(unsigned char* data, unsigned long size);
    ViStatus ReceiveData(unsigned char** message, unsigned long* size, int timeoutMs);
    ViStatus SendParameter(unsigned short command, unsigned short pid, unsigned char num,
                           unsigned char lenFrac, double* values);
    ViStatus ReceiveParameter(unsigned short& pid, double* values, CommandHead** head, unsigned char** body);
    ViStatus ProcessParameter(unsigned short command, unsigned short pid, unsigned char num,
                              unsigned char lenFrac, double* values, CommandHead** head);
    ViStatus ProcessReset();
    void WriteComplexValue(double value, unsigned char* message, unsigned int offset, unsigned int index,
                           unsigned int len, unsigned int frac);
    double ReadComplexValue(const unsigned char* message, unsigned int offset, unsigned int index,
                            bool isSigned, unsigned int len, unsigned int frac);
    bool CheckLastCmdStatus();
    void SendPreSequence();
    void ReadPreSequence();
    void GetParamsLim();
    void SendDisableAutoCalibration();
    void ReadDisableAutoCalibration();
    void CalcMultCoef();
    void calcNewSampleRate();
    unsigned CalcIQClockToSend(unsigned n);
    void GetSamples(std::vector<std::complex<double>>* samples, unsigned requested, unsigned& received);
    void SendRunSequence(unsigned total, unsigned start, unsigned fullCount, unsigned* sent);
    void GetNewAFC(std::vector<double>* frequencies, std::vector<double>* amplitudes);
    double GetInterpolatedValue(double x, const std::vector<double>& xs, const std::vector<double>& ys);
    void PostProcessing(std::vector<std::complex<double>>* samples);
};
class Harogic {
public:
    ANALYZER(Harogic)
    void connectH(int number);
    void disconnectH();
    void reconnect();
    void getState(DeviceState_TypeDef* out);
    void getDevList(QVector<DeviceData>* list);
    QString model2Text(int code);
};

namespace {
std::size_t taken = 0;
volatile unsigned char sink;
// Folds the address into a volatile so that no address can be optimised away unlinked.
template <typename T>
void take(T address) {
    unsigned char bytes[sizeof address];
    std::memcpy(bytes, &address, sizeof address);
    for (unsigned char b : bytes) sink = sink ^ b;
    ++taken;
}

#define ANALYZER_MEMBERS(C)                                                                           \
    take(&C::setParams), take(&C::setNumPoints), take(&C::setExtSyncState), take(&C::setExtSyncFreq), \
        take(&C::getParams), take(&C::getErr), take(&C::getNPts), take(&C::getData),                  \
        take(&C::getCurSampleRate)

// Constructors and destructors have no address; calling them names them. Never run.
alignas(16) unsigned char room[1 << 17];
template <typename C>
void construct(Init init) {
    (new (room) C())->~C();
    (new (room) C(init))->~C();
}
}  // namespace

int main(int argc, char**) {
#define TAKE_STUB(R, Name, Args) take(static_cast<R(*) Args>(&noVi##Name));
    VISA(TAKE_STUB)
    take(&getDevList), take(&::setConnect), take(&::setDisconnect), take(&setParam), take(&setNumPts);
    take(&::getStatus), take(&getParameters), take(&getError), take(&getNumPTS);
    take(static_cast<void (*)(QVector<IQ_Elem>*)>(&getData)), take(&::CustomCommand);
    take(&::getCurSampleRate), take(&::setExtSyncState), take(&::setExtSyncFreq);

    take(&trelvan), take(&Trelvan::setConnect), take(&Trelvan::setDisconnect), take(&Trelvan::getStatus);
    take(&Trelvan::getDevList), take(&Trelvan::ListOfDevices), take(&Trelvan::DeviceAdd);
    take(&Trelvan::ReadBuf), take(&Trelvan::ReadComplexValue), take(&Trelvan::OPC), take(&Trelvan::OPCquery);
    take(static_cast<int (Trelvan::*)(std::vector<double>&, unsigned, unsigned long&)>(
        &Trelvan::ReadBufFloat));
    take(static_cast<int (Trelvan::*)(QVector<IQ_Elem>*, unsigned, int&)>(&Trelvan::ReadBufFloat));
    take(&Trelvan::getErrors), take(&Trelvan::CustomCommand), take(&Trelvan::setParam),
        take(&Trelvan::setNumPts);
    take(&Trelvan::getParameters), take(&Trelvan::getNumPTS), take(&Trelvan::getCurSampleRate);
    take(&Trelvan::setExtSyncState), take(&Trelvan::setExtSyncFreq), take(&Trelvan::getError);
    take(static_cast<void (Trelvan::*)(QVector<IQ_Elem>*)>(&Trelvan::getData));
    take(static_cast<std::vector<std::complex<double>> (Trelvan::*)(int)>(&Trelvan::getData));
    take(static_cast<std::vector<std::complex<double>> (Trelvan::*)(double)>(&Trelvan::getData));

    take(&DynamicVisa::Initialize), take(&DynamicVisa::Uninitialize), take(&DynamicVisa::Initialized);
    take(&DynamicVisa::MissingFnCount), take(&split), take(&QSplit);
    take(&CHead::operator=), take(&CHead::NumParam), take(&CHead::LenParam), take(&CHead::FracParam);
    take(&CHead::SetFlags), take(static_cast<short (CHead::*)(unsigned short)>(&CHead::Check));
    take(static_cast<short (CHead::*)(short, short, short, bool)>(&CHead::Check));
    take(&str2int), take(&GetEnumIndexByID), take(&GetEnumName), take(&GetEnumValue);
    take(static_cast<int (*)(const char**, int, const char*)>(&GetEnumID));
    take(static_cast<int (*)(const char**, int)>(&GetEnumID));
    take(&GetCommandName), take(&GetCommandID), take(&GetParameterName), take(&GetParameterDescription);
    take(&GetParameterID), take(&GetParametersCount), take(&GetParameterIDByIndex), take(&GetErrorName);
    take(&GetErrorString), take(&GetErrorsCount), take(&GetErrorIDByIndex);

    ANALYZER_MEMBERS(PXA), take(&PXA::OPCquery), take(&PXA::OPC), take(&PXA::ReadBuf),
        take(&PXA::ReadBufFloat);
    ANALYZER_MEMBERS(SK), take(&SK::SendData), take(&SK::ReceiveData), take(&SK::SendParameter);
    take(&SK::ReceiveParameter), take(&SK::ProcessParameter), take(&SK::ProcessReset);
    take(&SK::WriteComplexValue), take(&SK::ReadComplexValue), take(&SK::CheckLastCmdStatus);
    take(&SK::SendPreSequence), take(&SK::ReadPreSequence), take(&SK::GetParamsLim);
    take(&SK::SendDisableAutoCalibration), take(&SK::ReadDisableAutoCalibration), take(&SK::CalcMultCoef);
    take(&SK::calcNewSampleRate), take(&SK::CalcIQClockToSend), take(&SK::GetSamples),
        take(&SK::SendRunSequence);
    take(&SK::GetNewAFC), take(&SK::GetInterpolatedValue), take(&SK::PostProcessing);
    ANALYZER_MEMBERS(Harogic), take(&Harogic::connectH), take(&Harogic::disconnectH),
        take(&Harogic::reconnect);
    take(&Harogic::getState), take(&Harogic::getDevList), take(&Harogic::model2Text);

    if (argc < 0) {
        construct<PXA>(Init{}), construct<SK>(Init{}), construct<Harogic>(Init{});
        (new (room) Trelvan())->~Trelvan(), (new (room) DynamicVisa(nullptr))->~DynamicVisa();
    }

    // The published layout: what this host writes into the facade's members is what the library reads.
    const ViStatus status = trelvan.status;
    const int loadStatus = trelvan.visa.loadStatus;
    trelvan.status = 0x1234567;
    trelvan.visa.loadStatus = 4321;
    const bool laidOut = trelvan.getStatus() == 0x1234567 && trelvan.visa.MissingFnCount() == 4321;
    trelvan.status = status;
    trelvan.visa.loadStatus = loadStatus;
    std::printf("%zu exported functions and members resolved; facade layout %s\n", taken,
                laidOut ? "as published" : "DIFFERS");
    return laidOut ? 0 : 1;
}
