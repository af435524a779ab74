#include "platform/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>

namespace harbeat {

double logicalDpi() {
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : 96.0;
}

int twipsToPixels(double twips, double dpi) {
    // Stored values are read back as any number; keep absurd ones within what a window can take.
    constexpr double kLimit = 1 << 24;
    const double pixels = std::clamp(twips * dpi / kTwipsPerInch, -kLimit, kLimit);
    return static_cast<int>(std::lround(pixels));
}

double pixelsToTwips(int pixels, double dpi) { return pixels * kTwipsPerInch / dpi; }

}  // namespace harbeat
