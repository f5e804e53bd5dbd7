// How full a tank is, from the distance between the module and the surface.
#pragma once

struct Tank {
    int emptyCm;  // to the surface when the tank is empty
    int fullCm;   // and when it is full: nearer for a module above it, farther for one below
};

// The level at `cm`, in whole percent from 0 to 100, rounded to the nearest.
int levelPercent(Tank tank, int cm);
