#include "mqtt/level.h"

int levelPercent(Tank tank, int cm) {
    long span = tank.emptyCm - tank.fullCm;
    long filled = tank.emptyCm - cm;
    if (span < 0) {
        span = -span;
        filled = -filled;
    }
    if (filled <= 0) {
        return 0;
    }
    if (filled >= span) {
        return 100;
    }
    return static_cast<int>((200 * filled + span) / (2 * span));
}
