// Interfac/VLS_File.cpp: the VLS_File Module. The file object behind obj-file and its methods.
#include "Interfac/VLS_File.h"

#include "Interfac/File.h"
#include "Interfac/Pathname.h"
#include "Kernel/Error.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Object.h"
#include "Kernel/Recycle.h"
#include "Kernel/Symbol.h"
#include "Kernel/VString.h"
#include "Platform/Files/Files.h"

#include <new>

namespace {

FileObject* gOpenFiles = nullptr; // newest first

Value slotValue(const char* name)
{
    Value symbol = intern(name);
    return isBound(symbol) ? symbolValue(symbol) : kNil;
}

char driveLetterOf(const std::string& nativePath)
{
    if (nativePath.size() >= 2 && nativePath[1] == ':')
        return static_cast<char>(upperChar(uint8_t(nativePath[0])));
    return 'C';
}

} // namespace

FileObject::FileObject(Value instance) : FileStreamObject(instance)
{
    m_next = gOpenFiles;
    if (gOpenFiles)
        gOpenFiles->m_previous = this;
    gOpenFiles = this;
}

FileObject::~FileObject()
{
    m_stream.reset(); // writes out what is gathered; errors have no one to go to here
    if (deleteWhenClosed && !m_hostPath.empty())
        filesRemove(m_hostPath);
    if (m_previous)
        m_previous->m_next = m_next;
    else
        gOpenFiles = m_next;
    if (m_next)
        m_next->m_previous = m_previous;
}

void FileObject::markValues()
{
    FileStreamObject::markValues();
    mark(m_pathname);
}

FileObject* FileObject::findOpen(const std::string& hostPath)
{
    for (FileObject* f = gOpenFiles; f; f = f->m_next)
        if (f->m_hostPath == hostPath && f->m_stream)
            return f;
    return nullptr;
}

void FileObject::setPaths(Value pathname, const std::string& nativePath, const std::string& hostPath)
{
    m_pathname = pathname;
    m_nativePath = nativePath;
    m_hostPath = hostPath;
    if (fileStream())
        fileStream()->setCulprit(nativePath);
}

bool FileObject::readOnly() const
{
    auto* stream = static_cast<FileStream*>(m_stream.get());
    return !stream || !stream->writable();
}

bool FileObject::openFile(Value pathname, int mode, bool raiseErrors)
{
    m_stream.reset();
    m_error = 0;
    std::string native = nativePathArgument(pathname);
    std::string host;
    int code = 0;
    auto fail = [&](int hostCode) {
        m_error = -1;
        if (raiseErrors)
            raiseFileError(hostCode, pathname);
        return false;
    };
    if (mode < Input || mode > ReadWrite)
        raiseWrongType(makeInteger(mode));
    if (!hostPathOf(pathname, host, code))
        return fail(code);
    if (mode != Input && filesDriveType(driveLetterOf(native)) == DriveType::CdRom)
        return fail(static_cast<int>(FileError::ReadOnlyVolume));
    if (mode == Output) {
        FileError e = filesRemove(host);
        if (failed(e) && e != FileError::NotFound)
            return fail(static_cast<int>(e));
    }
    static const FileStream::Mode kModes[] = {
        FileStream::Mode::Read, FileStream::Mode::Read, FileStream::Mode::Create,
        FileStream::Mode::ReadWriteCreate, FileStream::Mode::ReadWrite,
    };
    FileStream* stream = FileStream::open(host, kModes[mode], code);
    if (!stream)
        return fail(code);
    m_stream.reset(stream);
    m_pathname = pathname;
    m_nativePath = native;
    m_hostPath = host;
    stream->setCulprit(native);
    return true;
}

void FileObject::openStream()
{
    Value modeValue = slotValue("mode");
    int mode;
    if (modeValue == kNil || modeValue == intern("input"))
        mode = Input;
    else if (modeValue == intern("output"))
        mode = Output;
    else if (modeValue == intern("input-output"))
        mode = InputOutput;
    else
        raiseWrongType(modeValue);
    Value pathname = slotValue("pathname");
    bool existed = false;
    if (mode != Input) {
        std::string host;
        int code;
        existed = hostPathOf(pathname, host, code) && filesIsFile(host);
    }
    openFile(pathname, mode, true);
    if (mode != Input && (!existed || mode == Output)) {
        // A new file takes the creator and type given (kept only by files of their own kind).
        Value creator = slotValue("creator");
        Value type = slotValue("type");
        std::string creatorText = isString(creator) ? toStdString(creator) : "LISP";
        std::string typeText = isString(type) ? toStdString(type) : "TEXT";
        setFileCodes(m_hostPath, &typeText, &creatorText);
    }
}

void FileObject::close()
{
    if (!m_stream)
        return;
    std::unique_ptr<NativeStream> stream = std::move(m_stream);
    stream->close(); // raises the write error, if any; the stream is gone either way
}

void FileObject::closeObject()
{
    bool written = true;
    int error = 0;
    Value culprit = m_pathname;
    if (FileStream* stream = fileStream()) {
        written = stream->writeOut();
        error = stream->error();
    }
    KernelObject::closeObject(); // this is gone
    if (!written)
        raiseFileError(error, culprit);
}

std::unique_ptr<FileObject> openFileObject(Value pathname, int mode, bool raiseErrors, int& error)
{
    std::unique_ptr<FileObject> file(new (std::nothrow) FileObject(kNil));
    if (!file)
        raiseError(ErrorCode::MemoryExhausted, kNil);
    error = 0;
    if (!file->openFile(pathname, mode, raiseErrors)) {
        error = file->error();
        return nullptr;
    }
    return file;
}

namespace {

FileObject& currentFile()
{
    KernelObject& k = kernelObjectOf(gSelf);
    if (!k.isFile() || !dynamic_cast<FileObject*>(&k))
        raiseWrongType(gSelf);
    return static_cast<FileObject&>(k);
}

Value setLengthMethod(Value n)
{
    int64_t length = toInt64(n);
    if (length < 0)
        raiseWrongType(n);
    FileObject& file = currentFile();
    return boolValue(file.fileStream() && file.fileStream()->setLength(length));
}

Value readOnlyP() { return boolValue(currentFile().readOnly()); }

Value flushMethod()
{
    FileObject& file = currentFile();
    if (file.fileStream())
        file.fileStream()->flush();
    return kNoValue;
}

Value setFileOrigin(Value n)
{
    int64_t origin = toInt64(n);
    if (origin < 0)
        raiseWrongType(n);
    FileObject& file = currentFile();
    if (!file.fileStream())
        raiseError(FileErrorCode::NotAStream, kNil);
    file.fileStream()->setOrigin(origin);
    return kNoValue;
}

Value makeFileObject(Value instance) { return adoptKernelObject(new (std::nothrow) FileObject(instance)); }

class VlsFileModule final : public Module {
public:
    VlsFileModule() : Module("VLS_File") {}
    void start() override
    {
        Module::start();
        Value kernelClass = globalValue(intern("obj-kernel-class"));
        Value file = registerNativeClass("obj-file", makeFileObject, kernelClass);
        declareSlot(file, "pathname", kNil);
        declareSlot(file, "mode", kNil);
        declareSlot(file, "creator", kNil);
        declareSlot(file, "type", kNil);
        defineMethod(file, "set-length", AnyFn(setLengthMethod), 1);
        defineMethod(file, "read-only?", AnyFn(readOnlyP), 0);
        defineMethod(file, "flush", AnyFn(flushMethod), 0);
        defineMethod(file, "set-file-origin", AnyFn(setFileOrigin), 1);
    }
} theVlsFileModule;

} // namespace
