// Interfac/FileGUI.cpp: the FileGUI Module. The open, save and folder dialogs. Until the window
// system brings its own dialogs, each takes its answer from the replay queue and cancels without one.
#include "Interfac/FileGUI.h"

#include "Interfac/File.h"
#include "Interfac/Pathname.h"
#include "Interfac/VAlert.h"
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Module.h"
#include "Kernel/Symbol.h"
#include "Kernel/VString.h"
#include "Platform/Files/Files.h"

#include <deque>

namespace {

std::deque<std::string> gAnswers;

[[noreturn]] void cancelDialog() { throwTo(Sym::cancel, kNil); }

// The queued answer as a pathname and its host path; a button name (or nothing) cancels.
Value answerPathname(std::string& host)
{
    std::string answer;
    if (!takeReplayAnswer(answer) || answer.empty())
        cancelDialog();
    std::string lisp;
    if (answer[0] == '/') {
        if (!filesLispPath(answer, lisp))
            cancelDialog();
    } else if (answer.size() >= 2 && answer[1] == ':') {
        lisp = answer;
    } else {
        cancelDialog(); // OK, Cancel and other buttons choose no file
    }
    if (failed(filesHostPath(lisp, host)))
        cancelDialog();
    return pathnameOf(lisp);
}

bool typeAccepted(Value types, const std::string& type)
{
    if (types == kNil)
        return true;
    if (isString(types))
        return toStdString(types) == type.substr(0, stringLength(types));
    for (Value p = types; isPair(p); p = cdr(p))
        if (isString(car(p)) && typeAccepted(car(p), type))
            return true;
    return false;
}

Value chooseFile(Value* args)
{
    // function, types, creator, title, patterns, names, movie flag, folder
    Value function = args[0];
    Value types = args[1];
    Value creator = args[2];
    std::string host;
    Value chosen = answerPathname(host);
    if (!filesIsFile(host))
        cancelDialog();
    std::string type, fileCreator;
    fileCodes(host, type, fileCreator);
    if (!typeAccepted(types, type) || (isString(creator) && toStdString(creator) != fileCreator)) {
        showAlert(5300, {});
        return kNoValue;
    }
    funcall(function, chosen);
    return kNoValue;
}

Value chooseNewFile(Value* args)
{
    // function, prompt, default name, patterns, names, folder
    Value function = args[0];
    std::string host;
    Value chosen = answerPathname(host);
    if (filesIsFolder(host))
        cancelDialog();
    funcall(function, chosen);
    return kNoValue;
}

Value chooseDirectory(Value function, Value)
{
    std::string host;
    Value chosen = answerPathname(host);
    if (!filesIsFolder(host))
        cancelDialog();
    funcall(function, chosen);
    return kNoValue;
}

// The fixed arguments of the two larger dialogs, missing ones nil.
template <int Count, Value (*Dialog)(Value*)> Value withArguments(Value* rest)
{
    Value args[Count];
    int i = 0;
    for (; i < Count && rest[i] != kEnd; ++i)
        args[i] = rest[i];
    for (; i < Count; ++i)
        args[i] = kNil;
    return Dialog(args);
}

class FileGUIModule final : public Module {
public:
    FileGUIModule() : Module("FileGUI") {}
    void start() override
    {
        Module::start();
        defineFunctionRest0("velora-choose-file", withArguments<8, chooseFile>);
        defineFunctionRest0("velora-choose-new-file", withArguments<6, chooseNewFile>);
        defineFunction2("velora-choose-directory", chooseDirectory);
    }
    void stop() override
    {
        clearReplayAnswers();
        Module::stop();
    }
} theFileGUIModule;

} // namespace

void queueReplayAnswer(const std::string& answer) { gAnswers.push_back(answer); }

bool takeReplayAnswer(std::string& answer)
{
    if (gAnswers.empty())
        return false;
    answer = gAnswers.front();
    gAnswers.pop_front();
    return true;
}

void clearReplayAnswers() { gAnswers.clear(); }
