// The 78 VISA functions of the run-time binding, in slot order, as one list:
// X(result type, name without the "vi" prefix, parameter types).
#pragma once

#include <trelvan/VisaTypes.h>

#define TRELVAN_VISA_FUNCTIONS(X)                                                                        \
    X(ViStatus, OpenDefaultRM, (ViPSession))                                                             \
    X(ViStatus, ParseRsrcEx, (ViSession, ViRsrc, ViPUInt16, ViPUInt16, ViChar*, ViChar*, ViChar*))       \
    X(ViStatus, Open, (ViSession, ViRsrc, ViAccessMode, ViUInt32, ViPSession))                           \
    X(ViStatus, FindRsrc, (ViSession, ViString, ViPFindList, ViPUInt32, ViChar*))                        \
    X(ViStatus, FindNext, (ViFindList, ViChar*))                                                         \
    X(ViStatus, ParseRsrc, (ViSession, ViRsrc, ViPUInt16, ViPUInt16))                                    \
    X(ViStatus, Close, (ViObject))                                                                       \
    X(ViStatus, SetAttribute, (ViObject, ViAttr, ViAttrState))                                           \
    X(ViStatus, GetAttribute, (ViObject, ViAttr, void*))                                                 \
    X(ViStatus, StatusDesc, (ViObject, ViStatus, ViChar*))                                               \
    X(ViStatus, Terminate, (ViObject, ViUInt16, ViJobId))                                                \
    X(ViStatus, Lock, (ViSession, ViAccessMode, ViUInt32, ViKeyId, ViChar*))                             \
    X(ViStatus, Unlock, (ViSession))                                                                     \
    X(ViStatus, EnableEvent, (ViSession, ViEventType, ViUInt16, ViEventFilter))                          \
    X(ViStatus, DisableEvent, (ViSession, ViEventType, ViUInt16))                                        \
    X(ViStatus, DiscardEvents, (ViSession, ViEventType, ViUInt16))                                       \
    X(ViStatus, WaitOnEvent, (ViSession, ViEventType, ViUInt32, ViPEventType, ViPEvent))                 \
    X(ViStatus, InstallHandler, (ViSession, ViEventType, ViHndlr, ViAddr))                               \
    X(ViStatus, UninstallHandler, (ViSession, ViEventType, ViHndlr, ViAddr))                             \
    X(ViStatus, Read, (ViSession, ViPBuf, ViUInt32, ViPUInt32))                                          \
    X(ViStatus, ReadAsync, (ViSession, ViPBuf, ViUInt32, ViPJobId))                                      \
    X(ViStatus, ReadToFile, (ViSession, ViConstString, ViUInt32, ViPUInt32))                             \
    X(ViStatus, Write, (ViSession, ViBuf, ViUInt32, ViPUInt32))                                          \
    X(ViStatus, WriteAsync, (ViSession, ViBuf, ViUInt32, ViPJobId))                                      \
    X(ViStatus, WriteFromFile, (ViSession, ViConstString, ViUInt32, ViPUInt32))                          \
    X(ViStatus, AssertTrigger, (ViSession, ViUInt16))                                                    \
    X(ViStatus, ReadSTB, (ViSession, ViPUInt16))                                                         \
    X(ViStatus, Clear, (ViSession))                                                                      \
    X(ViStatus, SetBuf, (ViSession, ViUInt16, ViUInt32))                                                 \
    X(ViStatus, Flush, (ViSession, ViUInt16))                                                            \
    X(ViStatus, BufWrite, (ViSession, ViBuf, ViUInt32, ViPUInt32))                                       \
    X(ViStatus, BufRead, (ViSession, ViPBuf, ViUInt32, ViPUInt32))                                       \
    X(ViStatus, Printf, (ViSession, ViString, ...))                                                      \
    X(ViStatus, VPrintf, (ViSession, ViString, ViVAList))                                                \
    X(ViStatus, SPrintf, (ViSession, ViPBuf, ViString, ...))                                             \
    X(ViStatus, VSPrintf, (ViSession, ViPBuf, ViString, ViVAList))                                       \
    X(ViStatus, Scanf, (ViSession, ViString, ...))                                                       \
    X(ViStatus, VScanf, (ViSession, ViString, ViVAList))                                                 \
    X(ViStatus, SScanf, (ViSession, ViBuf, ViString, ...))                                               \
    X(ViStatus, VSScanf, (ViSession, ViBuf, ViString, ViVAList))                                         \
    X(ViStatus, Queryf, (ViSession, ViString, ViString, ...))                                            \
    X(ViStatus, VQueryf, (ViSession, ViString, ViString, ViVAList))                                      \
    X(ViStatus, In8, (ViSession, ViUInt16, ViBusAddress, ViPUInt8))                                      \
    X(ViStatus, Out8, (ViSession, ViUInt16, ViBusAddress, ViUInt8))                                      \
    X(ViStatus, In16, (ViSession, ViUInt16, ViBusAddress, ViPUInt16))                                    \
    X(ViStatus, Out16, (ViSession, ViUInt16, ViBusAddress, ViUInt16))                                    \
    X(ViStatus, In32, (ViSession, ViUInt16, ViBusAddress, ViPUInt32))                                    \
    X(ViStatus, Out32, (ViSession, ViUInt16, ViBusAddress, ViUInt32))                                    \
    X(ViStatus, MoveIn8, (ViSession, ViUInt16, ViBusAddress, ViBusSize, ViAUInt8))                       \
    X(ViStatus, MoveOut8, (ViSession, ViUInt16, ViBusAddress, ViBusSize, ViAUInt8))                      \
    X(ViStatus, MoveIn16, (ViSession, ViUInt16, ViBusAddress, ViBusSize, ViAUInt16))                     \
    X(ViStatus, MoveOut16, (ViSession, ViUInt16, ViBusAddress, ViBusSize, ViAUInt16))                    \
    X(ViStatus, MoveIn32, (ViSession, ViUInt16, ViBusAddress, ViBusSize, ViAUInt32))                     \
    X(ViStatus, MoveOut32, (ViSession, ViUInt16, ViBusAddress, ViBusSize, ViAUInt32))                    \
    X(ViStatus, Move,                                                                                    \
      (ViSession, ViUInt16, ViBusAddress, ViUInt16, ViUInt16, ViBusAddress, ViUInt16, ViBusSize))        \
    X(ViStatus, MoveAsync,                                                                               \
      (ViSession, ViUInt16, ViBusAddress, ViUInt16, ViUInt16, ViBusAddress, ViUInt16, ViBusSize,         \
       ViPJobId))                                                                                        \
    X(ViStatus, MapAddress, (ViSession, ViUInt16, ViBusAddress, ViBusSize, ViBoolean, ViAddr, ViPAddr))  \
    X(ViStatus, UnmapAddress, (ViSession))                                                               \
    X(void, Peek8, (ViSession, ViAddr, ViPUInt8))                                                        \
    X(void, Poke8, (ViSession, ViAddr, ViUInt8))                                                         \
    X(void, Peek16, (ViSession, ViAddr, ViPUInt16))                                                      \
    X(void, Poke16, (ViSession, ViAddr, ViUInt16))                                                       \
    X(void, Peek32, (ViSession, ViAddr, ViPUInt32))                                                      \
    X(void, Poke32, (ViSession, ViAddr, ViUInt32))                                                       \
    X(ViStatus, MemAlloc, (ViSession, ViBusSize, ViPBusAddress))                                         \
    X(ViStatus, MemFree, (ViSession, ViBusAddress))                                                      \
    X(ViStatus, GpibControlREN, (ViSession, ViUInt16))                                                   \
    X(ViStatus, GpibControlATN, (ViSession, ViUInt16))                                                   \
    X(ViStatus, GpibSendIFC, (ViSession))                                                                \
    X(ViStatus, GpibCommand, (ViSession, ViBuf, ViUInt32, ViPUInt32))                                    \
    X(ViStatus, GpibPassControl, (ViSession, ViUInt16, ViUInt16))                                        \
    X(ViStatus, VxiCommandQuery, (ViSession, ViUInt16, ViUInt32, ViPUInt32))                             \
    X(ViStatus, AssertUtilSignal, (ViSession, ViUInt16))                                                 \
    X(ViStatus, AssertIntrSignal, (ViSession, ViInt16, ViUInt32))                                        \
    X(ViStatus, MapTrigger, (ViSession, ViInt16, ViInt16, ViUInt16))                                     \
    X(ViStatus, UnmapTrigger, (ViSession, ViInt16, ViInt16))                                             \
    X(ViStatus, UsbControlOut, (ViSession, ViInt16, ViInt16, ViUInt16, ViUInt16, ViUInt16, ViBuf))       \
    X(ViStatus, UsbControlIn,                                                                            \
      (ViSession, ViInt16, ViInt16, ViUInt16, ViUInt16, ViUInt16, ViPBuf, ViPUInt16))

constexpr int TRELVAN_VISA_FUNCTION_COUNT = 78;
