// Interfac/Pen.cpp: the Pen Module. It holds the built-in patterns; pen-size, pen-mode and
// with-pattern need a port and arrive with the windows.
#include "Interfac/Pattern.h"

#include "Interfac/Resource.h"
#include "Kernel/Module.h"

#include <cstring>

PatternRecord builtInPattern(int index)
{
    switch (index) {
    case 4: return { { 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55 } };
    case 20: return { { 0, 0, 0, 0, 0, 0, 0, 0 } };
    default: return { { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF } };
    }
}

bool patternFromList(int list, int index, PatternRecord& pattern)
{
    if (list == 0) {
        pattern = builtInPattern(index);
        return true;
    }
    if (list < INT16_MIN || list > INT16_MAX || index < 1)
        return false;
    Handle h = getResource(resTypeFromText("PAT#"), static_cast<int16_t>(list));
    int32_t size = h ? handleSize(h) : -1;
    if (size < 2)
        return false;
    uint32_t address = lockHandle(h);
    const uint8_t* data = hostAddress(address);
    int count = data[0] << 8 | data[1];
    bool found = index <= count && 2 + int64_t(index) * 8 <= size;
    if (found)
        std::memcpy(pattern.rows.data(), data + 2 + (index - 1) * 8, 8);
    unlockHandle(h);
    return found;
}

namespace {

class PenModule final : public Module {
public:
    PenModule() : Module("Pen") {}
} thePenModule;

} // namespace
