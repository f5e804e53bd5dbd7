// The simulated ranging module on the driver's pins, behind the GPIO operations.
#pragma once

// Starts the simulator's clock afresh, with the module idle: what opening the GPIO does.
void startSimModule();
