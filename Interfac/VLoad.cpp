// Interfac/VLoad.cpp: the VLoad Module: load and load-from-handle with the symbol tables of
// compiled units, and copy-file.
#include "Interfac/VLoad.h"

#include "Interfac/File.h"
#include "Interfac/Pathname.h"
#include "Interfac/VLS_File.h"
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Reader.h"
#include "Kernel/Stream.h"
#include "Kernel/Symbol.h"

#include <algorithm>
#include <memory>

extern int gEventBlockCounter;

namespace {

const char* const kFixedSymbols[8] = { "define", "quote", "set!", "t", "nil", "defslot", "when", "let" };

// What loading changes, put back however the loading ends.
class LoadScope {
public:
    explicit LoadScope(Value tag) : m_loadedFile(globalValue(Sym::loadedFile)), m_self(gSelf)
    {
        ++gEventBlockCounter;
        setGlobalValue(Sym::loadedFile, tag);
        gSelf = kNoObject;
    }
    ~LoadScope()
    {
        gSelf = m_self;
        setGlobalValue(Sym::loadedFile, m_loadedFile);
        --gEventBlockCounter;
    }
    LoadScope(const LoadScope&) = delete;
    LoadScope& operator=(const LoadScope&) = delete;

private:
    Value m_loadedFile;
    Value m_self;
};

void evalStream(NativeStream& in)
{
    for (;;) {
        LispStackMark mark;
        Value datum = kNil;
        int token = readToken(in, datum);
        if (token == ReaderToken::End)
            return;
        if (token == ReaderToken::Nothing)
            continue;
        if (token != ReaderToken::Datum)
            raiseError(ErrorCode::Syntax, kNil);
        pushLisp(datum);
        eval(datum);
    }
}

Value loadFromHandlePrimitive(Value handle, Value tag)
{
    Handle h = toPointerAddress(handle);
    if (!isHandle(h))
        raiseWrongType(handle);
    loadFromHandle(h, tag);
    return kNoValue;
}

Value loadPrimitive(Value path)
{
    synchronizeModules();
    std::string text = pathArgumentText(path);
    std::string host;
    HostFile file;
    uint64_t size = 0;
    if (FileError e = filesHostPath(text, host); failed(e))
        raiseFileFailure(e, path);
    if (FileError e = file.open(host, FileAccess::Read, FileCreate::Existing); failed(e))
        raiseFileFailure(e, path);
    if (FileError e = file.size(size); failed(e))
        raiseFileFailure(e, path);
    if (size == 0)
        return kNoValue;
    if (size > 0x7FFFFFFF)
        raiseError(ErrorCode::MemoryExhausted, path);
    Handle h = newHandle(static_cast<uint32_t>(size));
    if (!h)
        raiseError(ErrorCode::MemoryExhausted, kNil);
    HandleStream in(h, HandleStream::Mode::Read, HandleStream::Ownership::DisposeOnClose);
    size_t done = 0;
    if (FileError e = file.read(0, hostAddress(handleAddress(h)), static_cast<size_t>(size), done); failed(e) || done != size)
        raiseFileFailure(failed(e) ? e : FileError::Io, path);
    file.close();
    LoadScope scope(path);
    evalStream(in);
    return kNoValue;
}

// ---- Copying files ----

constexpr uint64_t kChunk = 0x80000; // progress is reported after each 512 KB

// copy-file from to progress: the data, then type, creator and times. The destination is opened
// only once the source is open, so a missing source never touches an existing destination; from
// then on the destination is this copy's, and any failure deletes it.
Value copyFile(Value from, Value to, Value progress)
{
    int error = 0;
    std::unique_ptr<FileObject> source = openFileObject(from, FileObject::Input, true, error);
    std::string sourceHost = source->hostPath();
    std::string targetHost = hostPathOrRaise(to);
    // Opening the destination for output would empty the source itself.
    if (filesSameFile(sourceHost, targetHost))
        raiseFileError(static_cast<int>(FileError::Invalid), to);
    std::unique_ptr<FileObject> target = openFileObject(to, FileObject::Output, true, error);
    target->deleteWhenClosed = true;
    try {
        HostFile& in = source->fileStream()->hostFile();
        HostFile& out = target->fileStream()->hostFile();
        uint64_t size = 0;
        if (FileError e = in.size(size); failed(e))
            raiseFileError(static_cast<int>(e), from);
        for (uint64_t done = 0; done < size;) {
            // Without a progress function the chunks are invisible: the host copies in one go.
            uint64_t chunk = progress == kNil ? size - done : std::min(size - done, kChunk);
            uint64_t copied = 0;
            if (FileError e = filesCopyRange(in, done, out, done, chunk, copied); failed(e))
                raiseFileError(static_cast<int>(e), e == FileError::DiskFull ? to : from);
            if (copied != chunk)
                raiseFileError(-1, from); // the source shrank while it was copied
            done += chunk;
            if (progress != kNil)
                funcall(progress, makeInteger(int64_t(chunk)));
        }
        target->deleteWhenClosed = false;
    } catch (...) {
        target.reset(); // closes and deletes the partial destination
        throw;
    }
    source.reset();
    target.reset();
    copyFileInformation(sourceHost, targetHost);
    return kNoValue;
}

class VLoadModule final : public Module {
public:
    VLoadModule() : Module("VLoad") {}
    void start() override
    {
        Module::start();
        defineFunction1("load", loadPrimitive);
        defineFunction2("load-from-handle", loadFromHandlePrimitive);
        defineFunction3("copy-file", copyFile);
    }
} theVLoadModule;

} // namespace

Value symbolTableFromBytes(const std::string& bytes, Value culprit)
{
    if (bytes.size() < 2)
        raiseWrongType(culprit);
    uint32_t count = static_cast<uint8_t>(bytes[0]) << 8 | static_cast<uint8_t>(bytes[1]);
    // Every name takes at least its zero byte: check the count before allocating for it.
    if (count > bytes.size() - 2)
        raiseWrongType(culprit);
    Value table = makeVector(count + 8, kNil);
    for (uint32_t i = 0; i < 8; ++i) {
        Value symbol = intern(kFixedSymbols[i]);
        vectorElements(table)[i] = symbol;
    }
    size_t at = 2;
    for (uint32_t i = 0; i < count; ++i) {
        size_t end = bytes.find('\0', at);
        if (end == std::string::npos)
            raiseWrongType(culprit);
        std::string_view name(bytes.data() + at, end - at);
        Value symbol = internCopy(name);
        if (!name.empty() && name[0] == ':')
            setGlobalValue(symbol, symbol);
        vectorElements(table)[8 + i] = symbol;
        at = end + 1;
    }
    return table;
}

void loadFromHandle(Handle h, Value tag)
{
    if (handleSize(h) <= 0)
        return;
    HandleStream in(h, HandleStream::Mode::Read);
    LoadScope scope(tag);
    evalStream(in);
}

std::string pathArgumentText(Value path) { return nativePathArgument(path); }

[[noreturn]] void raiseFileFailure(FileError error, Value path)
{
    switch (error) {
    case FileError::NotFound:
        raiseError(31, path);
    case FileError::Exists:
        raiseError(33, path);
    case FileError::TooManyOpen:
        raiseError(32, kNil);
    case FileError::DiskFull:
    case FileError::FileTooLarge:
        raiseError(46, path);
    default:
        raiseError(36, makeInteger(static_cast<int>(error)));
    }
}
