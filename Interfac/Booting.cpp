// Interfac/Booting.cpp: the Booting Module: the boot of an application image: the frame, the
// units, the documents and start-appl, then the top-level loop until the run quits.
#include "Interfac/Booting.h"

#include "Interfac/Event.h"
#include "Interfac/VAppl.h"
#include "Kernel/Vprocess.h"
#include "Platform/Files/Files.h"
#include "Platform/Windows/WindowManager.h"

#include "Interfac/Resource.h"
#include "Interfac/VAlert.h"
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

Value gQuitTag = kNil, gCancelTag = kNil;

// The frame's size, flags and title from the start-up parameters.
void readFramePreferences(WindowSystemOptions& options)
{
    const std::vector<uint8_t>& pref = startupPreferences();
    if (pref.size() < 92)
        return;
    int width = pref[44] << 8 | pref[45], height = pref[46] << 8 | pref[47];
    if (width > 0 && width <= 8192)
        options.width = width;
    if (height > 0 && height <= 8192)
        options.height = height;
    options.flags = pref[49];
    std::string title;
    for (size_t i = 51; i < 92 && pref[i] != 0; ++i)
        title += static_cast<char>(pref[i]);
    options.title = title;
}

// Lets requests that arrived during the boot (a second copy's document, a replay's open) in.
void letEarlyRequestsArrive()
{
    WindowManager* wm = windowManager();
    wm->setTimer(wm->frame(), 1, 50);
    pumpEvents(0x0200, std::nullopt);
    for (int i = 0; i < 10; ++i) {
        wm->waitMessage(50);
        pumpEvents(0x0200, std::nullopt);
    }
    wm->killTimer(wm->frame(), 1);
}

// The Lisp path of a command-line document (a host path, relative to the current folder);
// empty when no drive holds it.
std::string documentPath(const std::string& argument)
{
    std::string host = argument;
    if (!host.empty() && host[0] != '/')
        host = filesCurrentFolder() + "/" + host;
    std::string lisp;
    return filesLispPath(host, lisp) ? lisp : std::string();
}

// Each command-line document goes to Appl, then start-appl.
void handDocumentsToAppl(const std::vector<std::string>& documents)
{
    for (const std::string& document : documents) {
        try {
            CatchFrame toplevel(Sym::toplevel);
            std::string path = documentPath(document);
            if (!path.empty())
                applOpenDocument(path, false);
        } catch (const VEr_Thrower& thrown) {
            if (thrown.tag != Sym::toplevel)
                throw;
        }
    }
    try {
        CatchFrame toplevel(Sym::toplevel);
        applStart();
    } catch (const VEr_Thrower& thrown) {
        if (thrown.tag != Sym::toplevel)
            throw;
    }
}

// The top-level loop: a scheduler step of the cooperative processes between pumps that wait
// until the next process is due. Returns only by an exception; a throw to quit quits.
[[noreturn]] void runTopLevelLoop()
{
    CatchFrame quitFrame(gQuitTag);
    for (;;) {
        try {
            CatchFrame toplevel(Sym::toplevel);
            CatchFrame cancel(gCancelTag);
            gEventBlockCounter = 1;
            uint32_t due = nextWakeUp();
            pumpEvents(-1, due);
            schedulerStep();
        } catch (const VEr_Thrower& thrown) {
            if (thrown.tag == gQuitTag)
                throw VEr_Quit {};
        }
    }
}

class BootingModule final : public Module {
public:
    BootingModule() : Module("Booting") {}
    void start() override
    {
        Module::start();
        gQuitTag = intern("quit");
        gCancelTag = intern("cancel");
    }
} theBootingModule;

} // namespace

int bootImage(const std::string& imagePath, const std::vector<std::string>& arguments)
{
    WindowSystemOptions options;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--headless") {
            options.headless = true;
        } else if (arguments[i] == "--replay") {
            if (i + 1 >= arguments.size()) {
                std::fprintf(stderr, "velora: --replay needs a file\n");
                return 2;
            }
            options.replayPath = arguments[++i];
        } else {
            options.documents.push_back(arguments[i]);
        }
    }
    TopFrame top;
    setErrorMessageSink(reportOnStandardError);
    requestHomeResourceFile(imagePath);
    preStartModules();
    if (!homeResourceFileOpened()) {
        showAlert(5200, { homeResourceFileMissingPath() });
        return 255;
    }
    readFramePreferences(options);
    int status = 0;
    try {
        startMemory();
        try {
            startModules();
            std::string error;
            switch (openWindowSystem(options, error)) {
            case WindowSystemStart::Failed:
                std::fprintf(stderr, "velora: %s\n", error.c_str());
                status = 2;
                break;
            case WindowSystemStart::HandedToFirstCopy:
                break;
            case WindowSystemStart::Opened:
                loadUnits();
                letEarlyRequestsArrive();
                handDocumentsToAppl(options.documents);
                endOfBoot();
                runTopLevelLoop();
            }
        } catch (const VEr_Quit&) {
        }
        gCurrentOutput->flush();
        std::fflush(stdout);
        for (const std::string& problem : replayProblems()) {
            std::fprintf(stderr, "velora: replay: %s\n", problem.c_str());
            if (status == 0)
                status = 1;
        }
        stopModules();
    } catch (const VEr_Quit&) {
    }
    closeWindowSystem();
    stopMemory();
    if (status == 0 && gBootErrors > 0)
        status = 1;
    return status;
}
