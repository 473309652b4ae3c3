// Interfac/VLoad.cpp: the VLoad Module. copy-file, with progress.
#include "Interfac/File.h"
#include "Interfac/Pathname.h"
#include "Interfac/VLS_File.h"
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Stream.h"
#include "Platform/Files/Files.h"

#include <algorithm>

namespace {

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
        defineFunction3("copy-file", copyFile);
    }
} theVLoadModule;

} // namespace
