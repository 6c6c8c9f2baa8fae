// The VISA C types that the binding's function slots are declared with. A host that also includes a
// VISA implementation's own type header gets the same types: the 64-bit ones are `unsigned long long`
// as there, so both declarations agree.
#pragma once

#include <cstdarg>
#include <cstdint>

typedef int32_t ViStatus;
typedef int32_t ViInt32;
typedef uint32_t ViUInt32;
typedef int16_t ViInt16;
typedef uint16_t ViUInt16;
typedef int8_t ViInt8;
typedef uint8_t ViUInt8;
typedef unsigned long long ViUInt64;
typedef char ViChar;
typedef unsigned char ViByte;
typedef uint16_t ViBoolean;

typedef ViUInt32 ViObject;
typedef ViUInt32 ViSession;
typedef ViUInt32 ViFindList;
typedef ViUInt32 ViEvent;
typedef ViUInt32 ViEventType;
typedef ViUInt32 ViEventFilter;
typedef ViUInt32 ViAttr;
typedef ViUInt32 ViAccessMode;
typedef ViUInt32 ViJobId;
typedef ViUInt64 ViAttrState;
typedef ViUInt64 ViBusAddress;
typedef ViUInt64 ViBusSize;
typedef void* ViAddr;

typedef ViChar* ViString;
typedef const ViChar* ViConstString;
typedef ViChar* ViRsrc;
typedef const ViChar* ViConstRsrc;
typedef ViChar* ViKeyId;
typedef unsigned char* ViBuf;
typedef unsigned char* ViPBuf;
typedef const unsigned char* ViConstBuf;
typedef va_list ViVAList;

typedef ViSession* ViPSession;
typedef ViFindList* ViPFindList;
typedef ViUInt32* ViPUInt32;
typedef ViUInt16* ViPUInt16;
typedef ViUInt8* ViPUInt8;
typedef ViUInt8* ViAUInt8;
typedef ViUInt16* ViAUInt16;
typedef ViUInt32* ViAUInt32;
typedef ViEvent* ViPEvent;
typedef ViEventType* ViPEventType;
typedef ViJobId* ViPJobId;
typedef ViAddr* ViPAddr;
typedef ViBusAddress* ViPBusAddress;
typedef ViStatus (*ViHndlr)(ViSession vi, ViEventType eventType, ViEvent event, ViAddr userHandle);
