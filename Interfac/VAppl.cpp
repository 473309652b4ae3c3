// Interfac/VAppl.cpp: the application object Appl and the messages the runtime sends it.
#include "Interfac/VAppl.h"

#include "Interfac/File.h"
#include "Interfac/Pathname.h"
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Symbol.h"
#include "Platform/Files/Files.h"

namespace {

Value gAppl = kNil; // the symbol Appl
Value gOpenFile, gOpenFolder, gPrintFile, gStartAppl, gSuspend, gResume, gCreator;
bool gStartPending = true;

Value appl()
{
    Value a = globalValue(gAppl);
    return a == kNoValue ? kNil : a;
}

void send(Value message, const Value* args, int count)
{
    Value receiver = appl();
    if (receiver != kNil)
        sendMessage(receiver, message, args, count);
}

std::string fourCharacterCode(std::string code)
{
    code.resize(4, ' ');
    return code;
}

class VApplModule final : public Module {
public:
    VApplModule() : Module("VAppl") {}
    void start() override
    {
        Module::start();
        gAppl = internWithValue("Appl", kNil);
        gOpenFile = intern("open-file");
        gOpenFolder = intern("open-folder");
        gPrintFile = intern("print-file");
        gStartAppl = intern("start-appl");
        gSuspend = intern("suspend");
        gResume = intern("resume");
        gCreator = intern("creator");
        gStartPending = true;
    }
} theVApplModule;

} // namespace

bool applOpenDocument(std::string_view nativePath, bool print)
{
    if (appl() == kNil || nativePath.empty())
        return false;
    std::string host;
    if (failed(filesHostPath(nativePath, host)))
        return false;
    bool folder = filesIsFolder(host);
    if (!folder && !filesIsFile(host))
        return false;
    if (folder && print)
        return false;
    EventBlock block;
    Value pathname = pathnameOf(nativePath);
    if (folder) {
        const Value args[] = { pathname, kEnd };
        send(gOpenFolder, args, 1);
        return true;
    }
    std::string type, creator;
    fileCodes(host, type, creator);
    LispStackMark mark;
    pushLisp(pathname);
    Value typeValue = makeString(fourCharacterCode(type));
    const Value args[] = { pathname, typeValue, kEnd };
    send(print ? gPrintFile : gOpenFile, args, 2);
    return true;
}

int applShellCommand(std::string_view command)
{
    int requested = 0;
    size_t at = 0;
    while ((at = command.find('[', at)) != std::string_view::npos) {
        std::string_view rest = command.substr(at + 1);
        bool print = false;
        if (rest.substr(0, 6) == "open(\"")
            rest.remove_prefix(6);
        else if (rest.substr(0, 7) == "print(\"") {
            rest.remove_prefix(7);
            print = true;
        } else {
            ++at;
            continue;
        }
        size_t end = rest.find("\")]");
        if (end == std::string_view::npos)
            break;
        requested += applOpenDocument(rest.substr(0, end), print) ? 1 : 0;
        at = static_cast<size_t>(rest.data() - command.data()) + end + 3;
    }
    return requested;
}

void applStart()
{
    if (!gStartPending)
        return;
    gStartPending = false;
    const Value args[] = { kEnd };
    send(gStartAppl, args, 0);
}

void applActivate(bool active)
{
    const Value args[] = { kEnd };
    if (active) {
        resumeModules();
        send(gResume, args, 0);
    } else {
        send(gSuspend, args, 0);
        suspendModules();
    }
}

Value applCreator()
{
    Value receiver = appl();
    if (receiver == kNil)
        return kNil;
    ObjectContextFrame context(receiver);
    return eval(gCreator);
}
