// fuzz/ReplayFuzz.cpp: parses arbitrary bytes as a replay. A parse either succeeds or names a
// line that exists; a script that parses is then played through the replay driver over a
// headless display to its end, which must come (a quit) without a fault.
#include "Platform/Display/Display.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerRunDriver(int* argc, char*** argv, int (*callback)(const uint8_t* data, size_t size));

namespace {

int replayInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    ReplayScript script = parseReplay(text);
    int lines = 1;
    for (char c : text)
        lines += c == '\n';
    if (script.ok() != script.error.empty() || script.errorLine < 0 || script.errorLine > lines)
        std::abort();
    if (!script.ok()) {
        if (!script.actions.empty())
            std::abort();
        return 0;
    }
    int previous = 0;
    for (const ReplayAction& a : script.actions) {
        if (a.line <= previous || a.line > lines)
            std::abort();
        previous = a.line;
    }
    auto display = openReplayDriver(openHeadlessDisplay({ 16, 16 }), std::move(script));
    InputEvent event;
    // Each action gives at most a dozen events; waits take as many calls as they last hours.
    for (size_t calls = 0;; ++calls) {
        if (calls > size * 16 + 64)
            std::abort(); // the replay never ends
        if (display->nextEvent(event, 3600000) && event.kind == InputEvent::Kind::Quit)
            break;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) { return LLVMFuzzerRunDriver(&argc, &argv, replayInput); }
