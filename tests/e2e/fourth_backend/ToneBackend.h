// The test backend's one instrument, for the backend and the tests that check what it delivers: a
// generator whose samples are a complex tone of kToneDbm at kToneHz, in volts across 50 Ohm.
#pragma once

namespace tone {
inline constexpr char kBackend[] = "Tone", kAddress[] = "TONE::0", kModel[] = "ToneGen-4";
inline constexpr double kToneHz = 1000.25e6, kToneDbm = -20;
inline constexpr double kRates[] = {1e6, 2e6, 4e6};
inline constexpr int kMaxPoints = 65536;
}  // namespace tone
