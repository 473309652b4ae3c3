// Interfac/File.cpp: the File Module. The file primitives: existence, sizes, times, attributes,
// types and creators, folders and volumes, temporary files and the special folders.
#include "Interfac/File.h"

#include "Interfac/Pathname.h"
#include "Interfac/VLS_File.h"
#include "Kernel/Error.h"
#include "Kernel/List.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Stream.h"
#include "Kernel/Symbol.h"
#include "Kernel/VString.h"
#include "Platform/Files/Files.h"
#include "Platform/Host.h"

#include <chrono>
#include <cstring>
#include <vector>

namespace {

std::vector<FileCodeHandler> gCodeHandlers;
// The temporary files this run made, kept open and locked so that the start-up clean-up of
// another instance leaves them alone.
std::vector<HostFile> gTemporaryFiles;

std::string lowered(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(lowerChar(uint8_t(c)));
    return out;
}

// The host path, or nothing when the path cannot be expressed (the query primitives answer nil).
bool hostPathQuiet(Value path, std::string& host)
{
    int error = 0;
    return hostPathOf(path, host, error);
}

// A four-character code argument: a string of at most four characters, padded with spaces.
std::string toCode(Value code)
{
    if (!isString(code) || stringLength(code) > 4)
        raiseWrongType(code);
    std::string text = toStdString(code);
    text.resize(4, ' ');
    return text;
}

Value codeValue(std::string code)
{
    code.resize(4, ' ');
    for (char& c : code)
        if (c == '\0')
            c = ' ';
    return makeString(code);
}

// ---- Existence, size and times ----

Value fileExistsP(Value path)
{
    std::string host;
    return hostPathQuiet(path, host) && filesIsFile(host) ? path : kNil;
}

Value dirExistsP(Value path)
{
    std::string host;
    return boolValue(hostPathQuiet(path, host) && filesIsFolder(host));
}

Value fileLength(Value path, Value)
{
    std::string host = hostPathOrRaise(path);
    FileInfo info;
    if (FileError e = filesInfo(host, info); failed(e))
        raiseFileError(static_cast<int>(e), path);
    if (info.isFolder)
        raiseFileError(static_cast<int>(FileError::IsFolder), path);
    // Bytes not yet written out by an open file object count too.
    if (FileObject* open = FileObject::findOpen(host); open && open->fileStream())
        return makeInteger(std::max<int64_t>(int64_t(info.size), open->fileStream()->length() + open->fileStream()->origin()));
    return makeInteger(int64_t(info.size));
}

Value fileSetLength(Value path, Value n)
{
    int64_t length = toInt64(n);
    if (length < 0)
        raiseWrongType(n);
    std::string host;
    if (!hostPathQuiet(path, host) || !filesIsFile(host))
        return kNil;
    if (FileObject* open = FileObject::findOpen(host); open && open->fileStream() && !open->fileStream()->writeOut())
        return kNil;
    HostFile file;
    return boolValue(!failed(file.open(host, FileAccess::ReadWrite, FileCreate::Existing)) &&
                     !failed(file.setSize(uint64_t(length))));
}

template <bool Creation> Value fileTime(Value path)
{
    std::string host;
    FileInfo info;
    if (!hostPathQuiet(path, host) || failed(filesInfo(host, info)))
        return kNil;
    return makeInteger(clockSecondsOf(Creation ? info.creationTime : info.modificationTime));
}

// The host keeps no settable creation time: the answer is nil unless it already is that time.
Value fileSetCreationTime(Value path, Value seconds)
{
    int64_t clock = toInt64(seconds);
    std::string host;
    FileInfo info;
    if (!hostPathQuiet(path, host) || failed(filesInfo(host, info)))
        return kNil;
    return boolValue(clockSecondsOf(info.creationTime) == clock);
}

Value fileSetModificationTime(Value path, Value seconds)
{
    int64_t clock = toInt64(seconds);
    std::string host;
    if (!hostPathQuiet(path, host))
        return kNil;
    return boolValue(!failed(filesSetTimes(host, -1, nanosecondsOfClock(clock))));
}

// ---- Folders, removal and renaming ----

Value createDir(Value path)
{
    std::string host;
    return boolValue(hostPathQuiet(path, host) && !failed(filesCreateFolder(host)));
}

Value removeEmptyDir(Value path)
{
    std::string host;
    return boolValue(hostPathQuiet(path, host) && !failed(filesRemoveFolder(host)));
}

Value fileRemove(Value path, Value quiet)
{
    std::string host;
    int code = 0;
    FileError e = FileError::None;
    if (!hostPathOf(path, host, code))
        e = static_cast<FileError>(code);
    else if (!filesIsFile(host) && filesIsFolder(host))
        e = FileError::IsFolder;
    else
        e = filesRemove(host);
    if (!failed(e))
        return kTrue;
    if (quiet != kNil)
        return kNil;
    raiseFileError(static_cast<int>(e), path);
}

Value fileRename(Value path, Value newName)
{
    std::string native = nativePathArgument(path);
    std::string name = isString(newName) ? toStdString(newName) : nativePathArgument(newName);
    if (name.empty() || name.find_first_of("\\/:") != std::string::npos)
        raiseWrongType(newName);
    size_t cut = native.find_last_of("\\:");
    std::string renamed = (cut == std::string::npos ? std::string() : native.substr(0, cut + 1)) + name;
    std::string from = hostPathOrRaise(path);
    Value target = makeString(renamed);
    std::string to = hostPathOrRaise(target);
    if (!filesIsFile(from) && !filesIsFolder(from))
        raiseFileError(static_cast<int>(FileError::NotFound), path);
    if (FileError e = filesRename(from, to); failed(e))
        raiseFileError(static_cast<int>(e), target);
    // An open file keeps its descriptor across the rename; it takes the new path.
    while (FileObject* open = FileObject::findOpen(from))
        open->setPaths(pathnameOf(renamed), renamed, to);
    return kTrue;
}

// ---- Types and creators ----

Value fileGetType(Value path)
{
    std::string host, type, creator;
    if (!hostPathQuiet(path, host))
        return codeValue(fileTypeFromName(nativePathArgument(path)));
    fileCodes(host, type, creator);
    return codeValue(type);
}

Value fileGetCreator(Value path)
{
    std::string host, type, creator;
    if (!hostPathQuiet(path, host))
        return codeValue("    ");
    fileCodes(host, type, creator);
    return codeValue(creator);
}

template <bool Type> Value fileSetCode(Value path, Value code)
{
    std::string text = toCode(code);
    std::string host = hostPathOrRaise(path);
    setFileCodes(host, Type ? &text : nullptr, Type ? nullptr : &text);
    return kNoValue;
}

// ---- Attributes ----

Value fileGetLockedP(Value path)
{
    std::string host;
    FileInfo info;
    return boolValue(hostPathQuiet(path, host) && !failed(filesInfo(host, info)) && info.readOnly);
}

Value fileSetLockedP(Value path, Value flag)
{
    std::string host;
    return boolValue(hostPathQuiet(path, host) && !failed(filesSetReadOnly(host, flag != kNil)));
}

Value fileGetVisibleP(Value path)
{
    std::string host;
    FileInfo info;
    if (!hostPathQuiet(path, host) || failed(filesInfo(host, info)))
        return kNil;
    return boolValue(!info.hidden);
}

Value fileSetVisibleP(Value path, Value flag)
{
    std::string host;
    return boolValue(hostPathQuiet(path, host) && !failed(filesSetHidden(host, flag == kNil)));
}

// ---- Volumes ----

char driveOf(Value path)
{
    std::string native = nativePathArgument(path);
    if (native.size() >= 2 && native[1] == ':')
        return static_cast<char>(upperChar(uint8_t(native[0])));
    return 'C';
}

Value volumeSpace(Value volume)
{
    std::string host;
    if (!hostPathQuiet(volume, host))
        return kNil;
    uint64_t bytes = 0;
    if (failed(filesVolumeFreeBytes(host, bytes)))
        return kNil;
    return makeInteger(int64_t(bytes / 1024));
}

Value cdRomP(Value path) { return boolValue(filesDriveType(driveOf(path)) == DriveType::CdRom); }
Value getVolumeType(Value path) { return makeInteger(static_cast<int>(filesDriveType(driveOf(path)))); }

Value erasableP(Value path)
{
    std::string host;
    if (filesDriveType(driveOf(path)) == DriveType::CdRom || !hostPathQuiet(path, host))
        return kNil;
    HostFile file;
    return boolValue(!failed(file.open(host, FileAccess::ReadWrite, FileCreate::Existing)) && !failed(file.tryLock()));
}

Value getOnlineVolumes()
{
    ListBuilder out;
    for (const DriveInfo& drive : filesDrives())
        if (filesIsFolder(drive.root)) {
            char name[3] = { drive.letter, ':', 0 };
            out.add(makeString(name));
        }
    return out.head;
}

// ---- Creating files ----

Value createFile(Value path, Value creator, Value type, Value hidden, Value quiet)
{
    std::string host;
    Value result = path;
    HostFile file;
    if (path == kNil) {
        FileError e = filesCreateTemporary(filesTemporaryFolder(), "velora", ".tmp", file, host);
        if (failed(e)) {
            if (quiet != kNil)
                return kNil;
            raiseFileError(static_cast<int>(e), path);
        }
        result = pathnameOfHostPath(host);
        if (result == kNil) {
            file.close();
            filesRemove(host);
            if (quiet != kNil)
                return kNil;
            raiseFileError(static_cast<int>(FileError::Invalid), path);
        }
        gTemporaryFiles.push_back(std::move(file));
    } else {
        int code = 0;
        FileError e = FileError::None;
        if (!hostPathOf(path, host, code))
            e = static_cast<FileError>(code);
        else
            e = file.open(host, FileAccess::ReadWrite, FileCreate::Exclusive);
        if (failed(e)) {
            if (quiet != kNil)
                return kNil;
            raiseFileError(static_cast<int>(e), path);
        }
        file.close();
    }
    if (hidden != kNil)
        filesSetHidden(host, true);
    return result;
}

// ---- Finder information and the file-information record ----

// The record of get-file-info: type, creator, then creation, access and write times as platform
// file times (8 bytes each, little-endian), then the attribute bits (1 read-only, 2 hidden) and
// four reserved bytes.
constexpr uint32_t kFileInfoSize = 40;

uint8_t* recordBytes(Value record, uint32_t size)
{
    uint32_t address = toPointerAddress(record);
    if (pointerKindIndex(record) == gMemoryPointerKind.index() &&
        (!isMemoryPointer(address) || memoryPointerSize(address) < size))
        raiseWrongType(record);
    return checkedRange(address, size, record);
}

Value getFinderInfo(Value path, Value pointer)
{
    std::string host = hostPathOrRaise(path);
    std::string type, creator;
    fileCodes(host, type, creator);
    uint8_t* bytes = recordBytes(pointer, 8);
    std::memcpy(bytes, type.data(), 4);
    std::memcpy(bytes + 4, creator.data(), 4);
    return kNoValue;
}

Value setFinderInfo(Value path, Value pointer)
{
    std::string host = hostPathOrRaise(path);
    uint8_t* bytes = recordBytes(pointer, 8);
    std::string type(reinterpret_cast<char*>(bytes), 4), creator(reinterpret_cast<char*>(bytes) + 4, 4);
    setFileCodes(host, &type, &creator);
    return kNoValue;
}

Value getFileInfo(Value path)
{
    std::string host = hostPathOrRaise(path);
    FileInfo info;
    if (FileError e = filesInfo(host, info); failed(e))
        raiseFileError(static_cast<int>(e), path);
    std::string type, creator;
    fileCodes(host, type, creator);
    uint32_t address = newMemoryPointer(kFileInfoSize);
    if (!address)
        raiseError(ErrorCode::MemoryExhausted, kNil);
    Value record = makePointer(gMemoryPointerKind, address);
    uint8_t* bytes = hostAddress(address);
    std::memcpy(bytes, type.data(), 4);
    std::memcpy(bytes + 4, creator.data(), 4);
    const int64_t times[3] = { fileTimeOf(info.creationTime), fileTimeOf(info.accessTime), fileTimeOf(info.modificationTime) };
    std::memcpy(bytes + 8, times, sizeof times);
    uint32_t attributes = (info.readOnly ? 1u : 0u) | (info.hidden ? 2u : 0u);
    std::memcpy(bytes + 32, &attributes, 4);
    std::memset(bytes + 36, 0, 4);
    return record;
}

Value setFileInfo(Value path, Value record)
{
    std::string host = hostPathOrRaise(path);
    uint8_t* bytes = recordBytes(record, kFileInfoSize);
    std::string type(reinterpret_cast<char*>(bytes), 4), creator(reinterpret_cast<char*>(bytes) + 4, 4);
    int64_t times[3];
    std::memcpy(times, bytes + 8, sizeof times);
    setFileCodes(host, &type, &creator);
    if (FileError e = filesSetTimes(host, nanosecondsOfFileTime(times[1]), nanosecondsOfFileTime(times[2])); failed(e))
        raiseFileError(static_cast<int>(e), path);
    return kNoValue;
}

Value copyFileInfo(Value from, Value to)
{
    std::string source = hostPathOrRaise(from);
    std::string target = hostPathOrRaise(to);
    if (!filesIsFile(source))
        raiseFileError(static_cast<int>(FileError::NotFound), from);
    if (!copyFileInformation(source, target))
        raiseFileError(static_cast<int>(filesIsFile(target) ? FileError::AccessDenied : FileError::NotFound), to);
    return kNoValue;
}

Value disposeFileInfo(Value record)
{
    uint32_t address = toPointerAddress(record);
    if (pointerKindIndex(record) != gMemoryPointerKind.index())
        raiseWrongType(record);
    if (address && isMemoryPointer(address)) {
        disposeMemoryPointer(address);
        cellOf(record).cdr = 0;
    }
    return kNoValue;
}

// ---- Aliases ----

Value resolveAliasFile(Value path)
{
    std::string host;
    if (!hostPathQuiet(path, host))
        return kNil;
    if (filesIsFolder(host))
        return path;
    std::string link, target;
    if (!hostPathQuiet(makeString(nativePathArgument(path) + ".lnk"), link) || failed(filesReadLink(link, target)))
        return kNil;
    if (target.empty())
        return kNil;
    if (target[0] != '/') {
        size_t slash = link.rfind('/');
        target = link.substr(0, slash + 1) + target;
    }
    return pathnameOfHostPath(target);
}

Value resolveAlias(Value) { return kNil; }

// ---- Listings ----

Value dirFiles(Value folder, Value pattern, Value withDotNames)
{
    std::string text = pattern == kNil ? "*.*" : toStdString(pattern);
    std::string host;
    std::vector<FolderEntry> entries;
    if (!hostPathQuiet(folder, host) || failed(filesList(host, entries)))
        return kNil;
    ListBuilder out;
    for (const FolderEntry& entry : entries)
        if (!entry.isFolder && (withDotNames != kNil || entry.name[0] != '.') && matchFilename(entry.name, text))
            out.add(makeString(entry.name));
    return out.head;
}

Value dirSubdirs(Value folder)
{
    std::string host;
    std::vector<FolderEntry> entries;
    if (!hostPathQuiet(folder, host) || failed(filesList(host, entries)))
        return kNil;
    ListBuilder out;
    for (const FolderEntry& entry : entries)
        if (entry.isFolder)
            out.add(makeString(entry.name));
    return out.head;
}

// ---- Special folders ----

Value folderPathname(SpecialFolder which)
{
    return pathnameOfHostPath(filesSpecialFolder(which));
}

Value findOldPreferenceFolder() { return folderPathname(SpecialFolder::Windows); }
Value findPreferenceFolder() { return folderPathname(SpecialFolder::ApplicationData); }
Value findDesktopFolder() { return folderPathname(SpecialFolder::Desktop); }

// The program-files folder is made when missing (with its parents); "C:" when that fails.
Value findProgramFolder()
{
    std::string folder = filesSpecialFolder(SpecialFolder::ProgramFiles);
    for (size_t slash = folder.find('/', 1); !filesIsFolder(folder); slash = folder.find('/', slash + 1)) {
        filesCreateFolder(folder.substr(0, slash));
        if (slash == std::string::npos)
            break;
    }
    Value result = filesIsFolder(folder) ? pathnameOfHostPath(folder) : kNil;
    return result != kNil ? result : cons(makeString("C:"), kNil);
}

// ---- Start-up ----

// Deletes the velora*.tmp files that no running instance holds (they keep theirs locked). A file
// changed in the last few seconds may belong to an instance that has not locked it yet.
void removeStaleTemporaryFiles()
{
    std::string folder = filesTemporaryFolder();
    std::vector<FolderEntry> entries;
    if (failed(filesList(folder, entries)))
        return;
    int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::system_clock::now().time_since_epoch()).count();
    for (const FolderEntry& entry : entries) {
        if (entry.isFolder || !matchFilename(entry.name, "velora*.tmp"))
            continue;
        std::string host = folder + "/" + cp1252ToUtf8(entry.name);
        FileInfo info;
        if (failed(filesInfo(host, info)) || info.isLink || now - info.modificationTime < 10 * int64_t(1000000000))
            continue;
        if (!filesIsLocked(host))
            filesRemove(host);
    }
}

void setExecutableVariables()
{
    std::string executable = hostExecutablePath();
    std::string lisp;
    Value name = filesLispPath(executable, lisp) ? makeString(lisp) : makeString(executable);
    setGlobalValue(intern("Velora-Executable-Name"), name);
    size_t cut = lisp.rfind('\\');
    std::string folder = cut == std::string::npos ? lisp : lisp.substr(0, cut);
    if (folder.size() == 2 && folder[1] == ':')
        folder += "\\";
    for (char& c : folder)
        c = static_cast<char>(upperChar(uint8_t(c)));
    setGlobalValue(intern("velora-dir"), pathnameOf(folder));
}

class FileModule final : public Module {
public:
    FileModule() : Module("File") {}
    void start() override
    {
        Module::start();
        defineFunction1("file-exists?", fileExistsP);
        defineFunction1("dir-exists?", dirExistsP);
        defineFunction2("file-length", fileLength);
        defineFunction2("file-set-length", fileSetLength);
        defineFunction1("file-creation-time", fileTime<true>);
        defineFunction1("file-modification-time", fileTime<false>);
        defineFunction2("file-set-creation-time", fileSetCreationTime);
        defineFunction2("file-set-modification-time", fileSetModificationTime);
        defineFunction1("create-dir", createDir);
        defineFunction1("remove-empty-dir", removeEmptyDir);
        defineFunction2("file-remove", fileRemove);
        defineFunction2("file-rename", fileRename);
        defineFunction1("file-get-type", fileGetType);
        defineFunction1("file-get-creator", fileGetCreator);
        defineFunction2("file-set-type", fileSetCode<true>);
        defineFunction2("file-set-creator", fileSetCode<false>);
        defineFunction1("file-get-locked?", fileGetLockedP);
        defineFunction2("file-set-locked?", fileSetLockedP);
        defineFunction1("file-get-visible?", fileGetVisibleP);
        defineFunction2("file-set-visible?", fileSetVisibleP);
        defineFunction1("volume-space", volumeSpace);
        defineFunction1("volume-lock?", cdRomP);
        defineFunction1("cd-rom?", cdRomP);
        defineFunction1("get-volume-type", getVolumeType);
        defineFunction1("erasable?", erasableP);
        defineFunction5("create-file", createFile);
        defineFunction2("get-finder-info", getFinderInfo);
        defineFunction2("set-finder-info", setFinderInfo);
        defineFunction1("get-file-info", getFileInfo);
        defineFunction2("set-file-info", setFileInfo);
        defineFunction2("copy-file-info", copyFileInfo);
        defineFunction1("dispose-file-info", disposeFileInfo);
        defineFunction1("resolve-alias-file", resolveAliasFile);
        defineFunction1("resolve-alias", resolveAlias);
        defineFunction0("get-online-volumes", getOnlineVolumes);
        defineFunction3("dir-files", dirFiles);
        defineFunction1("dir-subdirs", dirSubdirs);
        defineFunction0("find-old-preference-folder", findOldPreferenceFolder);
        defineFunction0("find-preference-folder", findPreferenceFolder);
        defineFunction0("find-desktop-folder", findDesktopFolder);
        defineFunction0("find-program-folder", findProgramFolder);
        setExecutableVariables();
        removeStaleTemporaryFiles();
    }
    void stop() override
    {
        gTemporaryFiles.clear();
        Module::stop();
    }
} theFileModule;

} // namespace

// ---- Shared with other units ----

std::string fileTypeFromName(std::string_view name)
{
    size_t dot = name.rfind('.');
    size_t separator = name.find_last_of("\\/:");
    if (dot == std::string_view::npos || (separator != std::string_view::npos && separator > dot))
        return "TEXT";
    std::string extension = lowered(name.substr(dot + 1));
    if (extension == "jpeg")
        return "JPEG";
    extension.resize(std::min<size_t>(extension.size(), 3));
    if ((extension.size() == 3 && extension.compare(0, 2, "pi") == 0) || extension == "pct")
        return "PICT";
    if (extension == "jpg")
        return "JPEG";
    if (extension == "png")
        return "PNGf";
    if ((extension.size() == 3 && extension.compare(0, 2, "mv") == 0) || extension == "mov")
        return "MooV";
    return "TEXT";
}

void addFileCodeHandler(const FileCodeHandler& handler) { gCodeHandlers.push_back(handler); }

void fileCodes(const std::string& hostPath, std::string& type, std::string& creator)
{
    for (const FileCodeHandler& handler : gCodeHandlers)
        if (handler.read && handler.read(hostPath, type, creator))
            return;
    type = fileTypeFromName(hostPath);
    creator = "    ";
}

void setFileCodes(const std::string& hostPath, const std::string* type, const std::string* creator)
{
    for (const FileCodeHandler& handler : gCodeHandlers)
        if (handler.write && handler.write(hostPath, type, creator))
            return;
}

bool copyFileInformation(const std::string& fromHost, const std::string& toHost)
{
    std::string type, creator;
    fileCodes(fromHost, type, creator);
    setFileCodes(toHost, &type, &creator);
    FileInfo info;
    if (failed(filesInfo(fromHost, info)))
        return false;
    return !failed(filesSetTimes(toHost, info.accessTime, info.modificationTime));
}
