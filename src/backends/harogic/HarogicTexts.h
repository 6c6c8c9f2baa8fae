// Log texts that more than one Harogic source writes.
#pragma once

namespace harogic_text {
inline constexpr char kTemperatureWarning[] =
    "Warning - The temperature of the current device changes greatly. You are advised to reconfigure the "
    "temperature\n";
inline constexpr char kOtherError[] = "other error Status = ";
}  // namespace harogic_text
