// Kernel/Vprocess.h: the scheduler of cooperative processes.
#pragma once

#include <cstdint>

uint32_t currentTicks(); // 1/60 second: milliseconds * 3 / 50
// Runs the first due process, if any (no nesting).
void schedulerStep();
// The tick at which the next process is due (now + 60 when there is none).
uint32_t nextWakeUp();
