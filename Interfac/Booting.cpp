// Interfac/Booting.cpp: the Booting Module: the boot of an application image. Until the window
// system brings the frame and the top-level loop, the run ends after the last unit.
#include "Interfac/Booting.h"

#include "Interfac/Resource.h"
#include "Interfac/VLoad.h"
#include "Kernel/Error.h"
#include "Kernel/Frame.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Reader.h"
#include "Kernel/Stream.h"
#include "Kernel/Symbol.h"

#include <cstdio>

namespace {

int gBootErrors = 0;

int reportOnStandardError(const std::string& text)
{
    ++gBootErrors;
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    return 1;
}

// Installs SYMB 0, evaluates every unit in turn, drops the table. An error report ends its unit;
// the next unit still runs.
void loadUnits()
{
    const ResType symb = resTypeFromText("SYMB"), load = resTypeFromText("Load");
    if (Handle table = getResource(symb, 0)) {
        try {
            CatchFrame toplevel(Sym::toplevel);
            std::string bytes;
            if (handleSize(table) > 0) {
                uint32_t address = lockHandle(table);
                bytes.assign(reinterpret_cast<const char*>(hostAddress(address)), static_cast<size_t>(handleSize(table)));
                unlockHandle(table);
            }
            installUnitSymbols(symbolTableFromBytes(bytes, resourceValue(table)));
        } catch (const VEr_Thrower& thrown) {
            if (thrown.tag != Sym::toplevel)
                throw;
        }
        releaseResource(table);
    }
    for (int32_t unit = 0; unit <= 32767; ++unit) {
        Handle h = getResource(load, static_cast<int16_t>(unit));
        if (!h)
            break;
        try {
            CatchFrame toplevel(Sym::toplevel);
            loadFromHandle(h, makeInteger(unit));
        } catch (const VEr_Thrower& thrown) {
            if (thrown.tag != Sym::toplevel)
                throw;
        }
        releaseResource(h);
    }
    dropUnitSymbols();
    setGlobalValue(Sym::loadedFile, kNil);
}

class BootingModule final : public Module {
public:
    BootingModule() : Module("Booting") {}
} theBootingModule;

} // namespace

int bootImage(const std::string& imagePath, const std::vector<std::string>& documents)
{
    TopFrame top;
    setErrorMessageSink(reportOnStandardError);
    requestHomeResourceFile(imagePath);
    preStartModules();
    if (!homeResourceFileOpened()) {
        std::fprintf(stderr, "The file %s was not found!\n", homeResourceFileMissingPath().c_str());
        return 255;
    }
    try {
        startMemory();
        try {
            startModules();
            loadUnits();
        } catch (const VEr_Quit&) {
        }
        gCurrentOutput->flush();
        std::fflush(stdout);
        stopModules();
    } catch (const VEr_Quit&) {
    }
    stopMemory();
    return gBootErrors > 0 ? 1 : 0;
}
