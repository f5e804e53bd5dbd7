// Whether something stands before the module, with a margin between on and off, so that a
// distance wavering at either edge never turns it back and forth.
#pragma once

enum class Presence { UNKNOWN, OFF, ON };

struct Edges {
    int nearCm;  // on at this distance or nearer
    int farCm;   // and off again only beyond this one
};

// The presence at `cm`, having been `current`: between the edges it stays as it was, and is off
// when it was unknown.
Presence nextPresence(Presence current, Edges edges, int cm);
