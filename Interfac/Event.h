// Interfac/Event.h: the window system of a booted image: the display, the window manager and the
// frame, the event pump and the dispatch of one message.
#pragma once

#include "Kernel/Value.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class WindowManager;

struct WindowSystemOptions {
    int width = 400;   // the frame's client size
    int height = 375;
    uint8_t flags = 0; // the start-up parameters' frame flags
    std::string title;
    bool headless = false;
    std::string replayPath;              // empty: no replay
    std::vector<std::string> documents;  // handed to the first copy when one is running
};

enum class WindowSystemStart { Opened, HandedToFirstCopy, Failed };

// Opens the display (through the replay driver when a replay is given) and makes the frame. A
// headless display without a replay has no input at all: its run ends as a finished replay does.
// When another copy with the same title is running, the documents are handed to it instead.
WindowSystemStart openWindowSystem(const WindowSystemOptions& options, std::string& error);
// The boot is over (start-appl was sent): a close of the frame asked for meanwhile now quits.
void endOfBoot();
void closeWindowSystem();
WindowManager* windowManager(); // nullptr without a window system
// Problems the replay met (a screenshot that could not be written, a press with no target).
std::vector<std::string> replayProblems();

// The pump: dispatches every waiting message that the mask takes (-1: every message), in the
// order of the message groups, then lets the Modules idle, then, with a deadline in ticks that
// still lies ahead, waits for one message and dispatches it.
void pumpEvents(int32_t mask, std::optional<uint32_t> deadlineTicks);
// Dispatches one message taken from the queue, then re-raises what a handler threw.
void dispatchOneMessage(const void* message);

// Runs a Lisp action inside a window procedure: whatever it throws is kept as the pending
// exception and re-raised once the message's dispatch has returned. A quit stays pending
// whatever is thrown later. Returns whether the action finished.
bool runTrapped(void (*action)(void*), void* context) noexcept;
template <typename F> bool trapLisp(F&& f) noexcept
{
    return runTrapped([](void* c) { (*static_cast<F*>(c))(); }, &f);
}
// Re-raises the pending exception, if any, and clears it.
void raisePending();

// The key code of a virtual key (0 when the key has none).
int keyCodeOfVirtualKey(uint8_t virtualKey, bool extended);
