// Lengths in twips (1440 per inch), the unit of the stored window geometry and of the layout
// constants, converted with the screen's logical resolution.
#pragma once

namespace harbeat {

inline constexpr double kTwipsPerInch = 1440.0;

// Logical dots per inch of the primary screen (96 when there is none).
double logicalDpi();
int twipsToPixels(double twips, double dpi = logicalDpi());
double pixelsToTwips(int pixels, double dpi = logicalDpi());

}  // namespace harbeat
