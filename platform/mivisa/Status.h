// Status values this library returns beyond those the shared VISA header names.
#pragma once

#include "base/VisaConstants.h"

namespace mivisa {

constexpr ViStatus kSuccessNestedExclusive = 0x3FFF001A;
constexpr ViStatus kSuccessNestedShared = 0x3FFF0099;
constexpr ViStatus kWarnUnknownStatus = 0x3FFF0085;
constexpr ViStatus kErrorSystem = static_cast<ViStatus>(0xBFFF0000);
constexpr ViStatus kErrorInvExpr = static_cast<ViStatus>(0xBFFF0010);
constexpr ViStatus kErrorInvAccMode = static_cast<ViStatus>(0xBFFF0013);
constexpr ViStatus kErrorInvLockType = static_cast<ViStatus>(0xBFFF0020);
constexpr ViStatus kErrorInvAccessKey = static_cast<ViStatus>(0xBFFF0021);
constexpr ViStatus kErrorAlloc = static_cast<ViStatus>(0xBFFF003C);
constexpr ViStatus kErrorInvMask = static_cast<ViStatus>(0xBFFF003D);
constexpr ViStatus kErrorInvFmt = static_cast<ViStatus>(0xBFFF003F);
constexpr ViStatus kErrorInvParameter = static_cast<ViStatus>(0xBFFF0078);
constexpr ViStatus kErrorSesnNotLocked = static_cast<ViStatus>(0xBFFF009C);

constexpr ViUInt16 kIntfTcpip = 6;

}  // namespace mivisa
