// The facade's log lines. Their spelling is deliberate: hosts and tools match them word for word, slips
// ("initialsization") included.
#pragma once

namespace trv::facade_text {
inline constexpr char kGreeting[] = "Hello from Trelvan library!";
inline constexpr char kVisaStatus[] = "Status of MiVisa initialsization: ";
inline constexpr char kOpening[] = "Address (viopen) = ";
inline constexpr char kSearchFailed[] = "Connection Error";
}  // namespace trv::facade_text
