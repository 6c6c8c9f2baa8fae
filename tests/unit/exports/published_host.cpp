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

class QLibrary;
class DynamicVisa;
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
struct Init {
    DynamicVisa* visa;
    ViStatus* status;
    ViSession *session, *resourceManager;
    Params* params;
    Error* error;
    DeviceData* device;
};
struct CommandHead {
    unsigned short Signature, Command;
    short Status;
    unsigned short BodyLen, Flags, Reserved;
    unsigned int Sequence;
};
using Samples = std::vector<std::complex<double>>;

// Every other exported function and member as result, name, parameters; overloads are told apart by
// their parameters, so each is named with its whole signature.
// clang-format off
#define ENTRY_POINTS(X)                                                                                   \
    X(std::vector<DeviceData>, getDevList, ()) X(bool, setConnect, (DeviceData)) X(void, setDisconnect, ()) \
    X(void, setParam, (Params)) X(void, setNumPts, (int)) X(int, getStatus, ())                           \
    X(Params, getParameters, (suffix)) X(QVector<Error>, getError, ()) X(int, getNumPTS, (suffix))         \
    X(void, getData, (QVector<IQ_Elem>*)) X(std::string, CustomCommand, (std::string, bool))               \
    X(double, getCurSampleRate, ()) X(void, setExtSyncState, (bool)) X(void, setExtSyncFreq, (double))
#define FUNCTIONS(X)                                                                                      \
    X(std::vector<std::string>, split, (std::string, std::string))                                        \
    X(std::vector<QString>, QSplit, (std::string, std::string)) X(int, str2int, (const char*))            \
    X(int, GetEnumIndexByID, (const char**, int, int)) X(const char*, GetEnumName, (const char**, int, int)) \
    X(const char*, GetEnumValue, (const char**, const char**, int, int))                                  \
    X(int, GetEnumID, (const char**, int, const char*)) X(int, GetEnumID, (const char**, int))            \
    X(const char*, GetCommandName, (int)) X(int, GetCommandID, (const char*))                             \
    X(const char*, GetParameterName, (int)) X(const char*, GetParameterDescription, (int))                \
    X(int, GetParameterID, (const char*)) X(int, GetParametersCount, ()) X(int, GetParameterIDByIndex, (int)) \
    X(const char*, GetErrorName, (int)) X(const char*, GetErrorString, (int)) X(int, GetErrorsCount, ())  \
    X(int, GetErrorIDByIndex, (int))
#define DYNAMIC_VISA(X)                                                                                   \
    X(int, Initialize, (const char*)) X(void, Uninitialize, ()) X(bool, Initialized, ())                  \
    X(int, MissingFnCount, ())
#define TRELVAN(X)                                                                                        \
    ENTRY_POINTS(X) X(void, ListOfDevices, ()) X(void, DeviceAdd, (char*, std::string, std::string, bool)) \
    X(int, ReadBuf, (std::string&, unsigned int, unsigned long&))                                         \
    X(int, ReadBufFloat, (std::vector<double>&, unsigned int, unsigned long&))                            \
    X(int, ReadBufFloat, (QVector<IQ_Elem>*, unsigned int, int&))                                         \
    X(double, ReadComplexValue,                                                                           \
      (const unsigned char*, unsigned int, unsigned int, bool, unsigned int, unsigned int))               \
    X(int, OPC, ()) X(int, OPCquery, ()) X(std::string, getErrors, (int))                                 \
    X(Samples, getData, (int)) X(Samples, getData, (double))
#define CHEAD(X)                                                                                          \
    X(CHead&, operator=, (const CHead&)) X(int, NumParam, ()) X(int, LenParam, ()) X(int, FracParam, ())  \
    X(void, SetFlags, (short, short, short)) X(short, Check, (unsigned short))                           \
    X(short, Check, (short, short, short, bool))
// The backends' members, declared without `virtual` so that taking an address names the symbol.
#define ANALYZER(X)                                                                                       \
    X(void, setParams, (Params&)) X(void, setNumPoints, (int)) X(void, setExtSyncState, (bool))           \
    X(void, setExtSyncFreq, (double)) X(Params, getParams, (suffix)) X(QVector<Error>, getErr, ())        \
    X(int, getNPts, (suffix)) X(void, getData, (QVector<IQ_Elem>*)) X(double, getCurSampleRate, ())
#define PXA_OWN(X)                                                                                        \
    ANALYZER(X) X(int, OPCquery, ()) X(void, OPC, ())                                                     \
    X(void, ReadBuf, (std::string&, unsigned int, unsigned long&))                                        \
    X(void, ReadBufFloat, (QVector<IQ_Elem>*, unsigned int, int&))
#define SK_OWN(X)                                                                                         \
    ANALYZER(X) X(ViStatus, SendData, (unsigned char*, unsigned long))                                    \
    X(ViStatus, ReceiveData, (unsigned char**, unsigned long*, int))                                      \
    X(ViStatus, SendParameter, (unsigned short, unsigned short, unsigned char, unsigned char, double*))   \
    X(ViStatus, ReceiveParameter, (unsigned short&, double*, CommandHead**, unsigned char**))             \
    X(ViStatus, ProcessParameter,                                                                         \
      (unsigned short, unsigned short, unsigned char, unsigned char, double*, CommandHead**))             \
    X(ViStatus, ProcessReset, ())                                                                         \
    X(void, WriteComplexValue,                                                                            \
      (double, unsigned char*, unsigned int, unsigned int, unsigned int, unsigned int))                   \
    X(double, ReadComplexValue,                                                                           \
      (const unsigned char*, unsigned int, unsigned int, bool, unsigned int, unsigned int))               \
    X(bool, CheckLastCmdStatus, ()) X(void, SendPreSequence, ()) X(void, ReadPreSequence, ())             \
    X(void, GetParamsLim, ()) X(void, SendDisableAutoCalibration, ()) X(void, ReadDisableAutoCalibration, ()) \
    X(void, CalcMultCoef, ()) X(void, calcNewSampleRate, ()) X(unsigned, CalcIQClockToSend, (unsigned))   \
    X(void, GetSamples, (Samples*, unsigned, unsigned&))                                                  \
    X(void, SendRunSequence, (unsigned, unsigned, unsigned, unsigned*))                                   \
    X(void, GetNewAFC, (std::vector<double>*, std::vector<double>*))                                      \
    X(double, GetInterpolatedValue, (double, const std::vector<double>&, const std::vector<double>&))     \
    X(void, PostProcessing, (Samples*))
#define HAROGIC_OWN(X)                                                                                    \
    ANALYZER(X) X(void, connectH, (int)) X(void, disconnectH, ()) X(void, reconnect, ())                  \
    X(void, getState, (DeviceState_TypeDef*)) X(void, getDevList, (QVector<DeviceData>*))                 \
    X(QString, model2Text, (int))
// clang-format on

#define DECLARE(R, Name, Args) R Name Args;
#define STUB(R, Name, Args) R noVi##Name Args;
VISA(STUB)
FUNCTIONS(DECLARE)
extern "C" {
ENTRY_POINTS(DECLARE)
}

class DynamicVisa {
public:
    DynamicVisa(const char* libraryName);
    ~DynamicVisa();
    DYNAMIC_VISA(DECLARE)
    QLibrary* library;
    int loadStatus;
#define SLOT(R, Name, Args) R(*vi##Name) Args;
    VISA(SLOT)
};

class Trelvan {
public:
    Trelvan();
    ~Trelvan();
    TRELVAN(DECLARE)
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

class CHead : public CommandHead {
public:
    CHead();
    CHEAD(DECLARE)
};
#define ANALYZER_CLASS(C, MEMBERS) \
    class C {                      \
    public:                        \
        C();                       \
        C(Init);                   \
        ~C();                      \
        MEMBERS(DECLARE)           \
    };
ANALYZER_CLASS(PXA, PXA_OWN)
ANALYZER_CLASS(SK, SK_OWN)
ANALYZER_CLASS(Harogic, HAROGIC_OWN)

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

#define TAKE(R, Name, Args) take(static_cast<R(*) Args>(&Name));
#define TAKE_STUB(R, Name, Args) take(static_cast<R(*) Args>(&noVi##Name));
#define TAKE_MEMBER(R, Name, Args) take(static_cast<R (Class::*) Args>(&Class::Name));
template <class Class>
void takePxa() { PXA_OWN(TAKE_MEMBER) }
template <class Class>
void takeSk() { SK_OWN(TAKE_MEMBER) }
template <class Class>
void takeHarogic() { HAROGIC_OWN(TAKE_MEMBER) }
template <class Class>
void takeFacade() { TRELVAN(TAKE_MEMBER) }
template <class Class>
void takeBinding() { DYNAMIC_VISA(TAKE_MEMBER) }
template <class Class>
void takeHead() { CHEAD(TAKE_MEMBER) }

// Constructors and destructors have no address; calling them names them. Never run.
alignas(16) unsigned char room[1 << 17];
template <typename C, typename... A>
void construct(A... arguments) {
    (new (room) C(arguments...))->~C();
}
}  // namespace

int main(int argc, char**) {
    VISA(TAKE_STUB)
    FUNCTIONS(TAKE)
    ENTRY_POINTS(TAKE)
    take(&trelvan);
    takePxa<PXA>(), takeSk<SK>(), takeHarogic<Harogic>(), takeFacade<Trelvan>(), takeBinding<DynamicVisa>();
    takeHead<CHead>();
    if (argc < 0) {
        construct<PXA>(), construct<PXA>(Init{}), construct<SK>(), construct<SK>(Init{});
        construct<Harogic>(), construct<Harogic>(Init{}), construct<Trelvan>(), construct<CHead>();
        construct<DynamicVisa>(static_cast<const char*>(nullptr));
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
