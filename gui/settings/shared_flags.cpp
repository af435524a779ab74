#include "settings/shared_flags.h"

namespace harbeat {

int32_t SearchReady = 0;
bool QuitRequested = false;
int32_t DebugLevel = 0;

int32_t DebugLevelFromArguments(const QStringList &arguments) {
    return arguments.join(u' ') == u"debug log" ? kDebugLevelLog : 0;
}

}  // namespace harbeat
