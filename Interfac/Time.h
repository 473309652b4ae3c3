// Interfac/Time.h: the runtime's clocks as other units use them.
#pragma once

#include <cstdint>

// Seconds between 1904-01-01 and 1970-01-01: clock seconds are Unix seconds plus this.
constexpr int64_t kClockSecondsOffset = 2082826800;

// The 1/60-second clock: milliseconds since start × 3 / 50, cut to 32 bits.
uint32_t tickCount();
// Whether the tick count now has reached deadline; right across the wrap of the 32-bit count as
// long as the two are less than 2^31 ticks (about a year) apart.
inline bool ticksReached(uint32_t now, uint32_t deadline) { return static_cast<int32_t>(now - deadline) >= 0; }
// Clock seconds of the current time.
int64_t clockSeconds();

// The language of day and month names (0 English, 1 French, 2 Spanish). The alert Module installs
// its alert language here; until then the names are English.
using DateLanguageSource = int (*)();
void setDateLanguageSource(DateLanguageSource source);
