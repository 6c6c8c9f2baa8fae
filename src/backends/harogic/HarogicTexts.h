// The Harogic backend's log lines. Their spelling is deliberate ("haogic", the stray "%d" and "\\n"):
// hosts and the vendor's tools match them word for word.
#pragma once

namespace trv::harogic_text {
inline constexpr char kOpening[] = "try open haogic = ";
inline constexpr char kConnected[] = "Harogic connected;";
inline constexpr char kNoDevice[] =
    "Error - Check the device power supply, data cable connection and driver installation\n";
inline constexpr char kRfCalibrationMissing[] = "Error - RF calibration file is missing\n";
inline constexpr char kIfCalibrationMissing[] = "Error - IF calibration file is missing\n";
inline constexpr char kConfigurationMissing[] = "Error - Configuration file missing\\n";
inline constexpr char kDeviceFileMissing[] = "Error - Device specification file is missing\n";
inline constexpr char kOtherOpenError[] = "return other error Status = %d\n";
inline constexpr char kConfigurationError[] = "IQS_Configuration call error Status = %d\n";
inline constexpr char kIfSaturation[] =
    "Warning - IF frequency saturation reconfiguration recommended, R.L. <= signal power\n";
inline constexpr char kBusTimeout[] = "Warning: bus timeout ";
inline constexpr char kTemperatureWarning[] =
    "Warning - The temperature of the current device changes greatly. You are advised to reconfigure the "
    "temperature\n";
inline constexpr char kOtherError[] = "other error Status = ";
// "Error - htra_api wrote past the <n> bytes given for its <record>; its result is discarded"
inline constexpr char kRecordOverrunLead[] = "Error - htra_api wrote past the ";
inline constexpr char kRecordOverrunMiddle[] = " bytes given for its ";
inline constexpr char kRecordOverrunTail[] = "; its result is discarded";
}  // namespace trv::harogic_text
