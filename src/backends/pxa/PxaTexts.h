// The N9030A backend's log lines. Their spelling is deliberate: hosts match them word for word.
#pragma once

namespace trv::pxa_text {
inline constexpr char kParamsModified[] = "Parameters was modified";
inline constexpr char kSampleRateConvertError[] = "Sample rate convert error";
}  // namespace trv::pxa_text
