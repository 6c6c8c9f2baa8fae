// Error records the library itself reports, shared by the facade and the backends.
#pragma once

#include <QString>

namespace trv::errors {
constexpr int kVisaTimeoutCode = 100;
constexpr int kParamsModifiedCode = 101;
constexpr int kPointsCode = 102;
constexpr int kOverloadCode = -12;
constexpr int kResponseTableCode = 103;
inline QString visaTimeoutText() { return QStringLiteral("Visa Timeout"); }
inline QString paramsModifiedText() { return QStringLiteral("Parameters was modified"); }
inline QString pointsText() { return QStringLiteral("Possible incorrect number of pts"); }
inline QString overloadText() { return QStringLiteral("Overload!"); }
inline QString responseTableText() { return QStringLiteral("Frequency response table unusable: no samples"); }
}  // namespace trv::errors
