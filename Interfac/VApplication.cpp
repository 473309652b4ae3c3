// Interfac/VApplication.cpp: starting programs and documents, shortcuts, program-menu items and
// the registry, for Lisp. Launch failures answer nil; only wrong arguments raise errors.
#include "Interfac/Pathname.h"
#include "Kernel/Error.h"
#include "Kernel/List.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"
#include "Kernel/VString.h"
#include "Platform/Files/Files.h"
#include "Platform/Shell/Shell.h"

#include <string>

namespace {

// The host path of a path argument; nil (and anything the namespace cannot express) gives "".
std::string hostPathOrEmpty(Value path)
{
    if (path == kNil || path == kNoValue)
        return {};
    std::string host;
    int error = 0;
    if (!hostPathOf(path, host, error))
        return {};
    return host;
}

bool isFlag(Value v) { return v != kNil && v != kNoValue; }

Value descriptor(int handle, int pid)
{
    return cons(makeInteger(handle), cons(makeInteger(handle), cons(makeInteger(pid), cons(makeInteger(pid), kNil))));
}

// Creates hostPath and the folders above it that are missing.
bool ensureFolder(const std::string& hostPath)
{
    if (hostPath.empty() || filesIsFolder(hostPath))
        return true;
    size_t slash = hostPath.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !ensureFolder(hostPath.substr(0, slash)))
        return false;
    FileError e = filesCreateFolder(hostPath);
    return !failed(e) || e == FileError::Exists;
}

// A name argument (a group or an item): a string in code page 1252, one path component.
std::string nameArgument(Value name)
{
    std::string text = toStdString(name);
    if (text.empty() || text == "." || text == ".." || text.find_first_of("/\\", 0) != std::string::npos
        || text.find('\0') != std::string::npos)
        raiseWrongType(name);
    return text;
}

std::string groupFolder(const std::string& group)
{
    return filesSpecialFolder(SpecialFolder::ProgramMenu) + "/" + cp1252ToUtf8(group);
}

std::string itemPath(const std::string& group, const std::string& item)
{
    return groupFolder(group) + "/" + cp1252ToUtf8(item) + ".LNK";
}

// Replaces whatever is at linkPath by a symbolic link to target.
bool writeShortcut(const std::string& targetHost, const std::string& linkPath)
{
    std::string existing;
    FileInfo info;
    if (!failed(filesReadLink(linkPath, existing)) || !failed(filesInfo(linkPath, info)))
        filesRemove(linkPath);
    return !failed(filesMakeLink(targetHost, linkPath));
}

Value launchApplication(Value application, Value document, Value quit)
{
    std::string documentPath = hostPathOrEmpty(document);
    if (document != kNil && document != kNoValue) {
        if (documentPath.empty() || !shellOpenDocument(documentPath))
            return kNil;
        if (isFlag(quit))
            throw VEr_Quit {};
        return descriptor(0, 0);
    }
    std::string programPath = hostPathOrEmpty(application);
    StartedProgram started;
    if (programPath.empty() || !shellStartProgram(programPath, started))
        return kNil;
    if (isFlag(quit))
        throw VEr_Quit {};
    return descriptor(started.handle, started.pid);
}

Value applicationRunning(Value process)
{
    if (!isPair(process))
        raiseWrongType(process);
    int32_t handle = toInt32(car(process));
    return boolValue(shellProgramRunning(handle));
}

Value showApplication(Value) { return kNoValue; }
Value findApplicationPathname(Value) { return kNil; }
Value getOsVersion() { return makeImmediate(0); }

Value createAliasFile(Value alias, Value target)
{
    std::string aliasPath = nativePathArgument(alias);
    if (aliasPath.size() < 4 || aliasPath.compare(aliasPath.size() - 4, 4, ".lnk") != 0)
        aliasPath += ".LNK";
    std::string aliasHost, targetHost;
    int error = 0;
    if (!hostPathOf(makeString(aliasPath), aliasHost, error) || !hostPathOf(target, targetHost, error))
        return kNil;
    return boolValue(writeShortcut(targetHost, aliasHost));
}

Value addProgramGroup(Value group)
{
    ensureFolder(groupFolder(nameArgument(group)));
    return kNoValue;
}

Value addProgramItem(Value target, Value group, Value item)
{
    std::string groupName = nameArgument(group), itemName = nameArgument(item);
    std::string targetHost;
    int error = 0;
    if (!hostPathOf(target, targetHost, error) || !ensureFolder(groupFolder(groupName)))
        return kNil;
    if (!writeShortcut(targetHost, itemPath(groupName, itemName)))
        return kNil;
    // The desktop's own menu shows the item too; the shortcut alone is what the runtime reads.
    shellWriteMenuEntry(groupName, itemName, targetHost);
    return kTrue;
}

Value removeProgramItem(Value group, Value item)
{
    std::string groupName = nameArgument(group), itemName = nameArgument(item);
    filesRemove(itemPath(groupName, itemName));
    shellRemoveMenuEntry(groupName, itemName);
    std::vector<FolderEntry> entries;
    if (!failed(filesList(groupFolder(groupName), entries)) && entries.empty())
        filesRemoveFolder(groupFolder(groupName));
    return kNoValue;
}

Value registerIbmVariable(Value key, Value value)
{
    std::string name = toStdString(key);
    if (value == kNil || value == kNoValue)
        return boolValue(shellRegistryDelete(name));
    return boolValue(shellRegistrySet(name, toStdString(value)));
}

Value registerGetValue(Value key)
{
    std::string value;
    if (!shellRegistryGet(toStdString(key), value))
        return kNil;
    // The classic read took at most 511 characters.
    if (value.size() > 511)
        value.resize(511);
    return makeString(value);
}

class VApplicationModule final : public Module {
public:
    VApplicationModule() : Module("VApplication") {}
    void start() override
    {
        Module::start();
        defineFunction3("launch-application", launchApplication);
        defineFunction1("application-running?", applicationRunning);
        defineFunction1("show-application", showApplication);
        defineFunction1("find-application-pathname", findApplicationPathname);
        defineFunction2("create-alias-file", createAliasFile);
        defineFunction1("add-program-group", addProgramGroup);
        defineFunction3("add-program-item", addProgramItem);
        defineFunction2("remove-program-item", removeProgramItem);
        defineFunction2("register-ibm-variable", registerIbmVariable);
        defineFunction1("register-get-value", registerGetValue);
        defineFunction0("get-os-version", getOsVersion);
    }
} theVApplicationModule;

} // namespace
