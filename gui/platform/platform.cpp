#include "platform/platform.h"

#include "platform/qt_platform.h"

namespace harbeat {
namespace {

Platform *installed = nullptr;

}  // namespace

Platform &platform() {
    static QtPlatform qtPlatform;
    return installed ? *installed : qtPlatform;
}

void installPlatform(Platform *replacement) { installed = replacement; }

}  // namespace harbeat
