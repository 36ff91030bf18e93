// The load-time measurement of what one Timer start/stop pair costs.
#pragma once

// Stores the average cost in ticks of a start/stop pair in the Timer overhead, unless an
// overhead was set already. Runs once while the library loads.
void calibrateTimerOverhead();
