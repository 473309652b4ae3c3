// Platform/Host.h: facts about the host process that the runtime asks for.
#pragma once

#include <cstdint>
#include <string>

uint64_t hostAvailableMemory();   // bytes of memory the process can still use
uint64_t hostMilliseconds();      // monotonic clock
uint64_t hostPerformanceCounter(); // high-resolution monotonic counter (nanoseconds)
std::string hostExecutablePath();
// Raises the main thread's stack limit to at least bytes, when the hard limit allows; the kernel
// keeps room for that much growth below the stack of a new process.
void hostEnlargeStack(uint64_t bytes);
// The bounds of the current thread's stack (low end, high end).
void hostStackBounds(uintptr_t& low, uintptr_t& high);
