// The tip pages faq1 to faq23, shown in turn in the message pane while the program is idle.
#pragma once

#include <cstdint>

namespace harbeat {

// Timer ticks until the next tip page; -1 while the rotation is off.
extern int16_t TipCountdown;
// The tip page shown last, and the number of tip pages.
extern int16_t FaqIndex;
extern int16_t FaqCount;

// Ticks between two tips of the running rotation (30 s at 100 ms a tick), and after a tip that
// the user asked for (2 minutes).
inline constexpr int16_t kTipTicks = 300;
inline constexpr int16_t kChosenTipTicks = 1200;
// The mode of the rotation's own page changes.
inline constexpr int16_t kRotationMode = 99;

// Mode 0 shows the first tip, mode 2 the next one (after the last comes the first), any other
// mode the one before (before the first comes the last). The countdown then starts again.
void ShowFaqPage(int16_t mode);

}  // namespace harbeat
