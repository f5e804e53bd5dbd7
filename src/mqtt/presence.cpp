#include "mqtt/presence.h"

Presence nextPresence(Presence current, Edges edges, int cm) {
    if (cm <= edges.nearCm) {
        return Presence::ON;
    }
    if (cm > edges.farCm || current == Presence::UNKNOWN) {
        return Presence::OFF;
    }
    return current;
}
