// Interfac/Resource.cpp: the Resource Module: open resource files, the chain they are searched
// in, loading and purging resource data, adding, removing and writing back, the home resource
// file and the start-up parameters.
//
// Writing back never touches bytes that the header on disk still points to: changed data and the
// new map go past the end of the committed map, they are synced, then the 16 header bytes are
// written in one write and synced, then the file is cut after the new map. A file interrupted at
// any point opens with what the last complete write-back committed (the bytes past its map are
// the remains of the interrupted one).
#include "Interfac/Resource.h"

#include "Interfac/VLoad.h"
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Reader.h"
#include "Kernel/Symbol.h"
#include "Kernel/VString.h"
#include "Platform/Files/Files.h"
#include "Platform/Host.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr int kSlotCount = 256;
constexpr size_t kPreferencesLength = 92;

struct ResFile {
    std::string path;     // as given by Lisp (compared ignoring case)
    std::string hostPath;
    HostFile file;
    uint64_t origin = 0;  // where the resource file starts in the disk file
    bool writable = false;
    int refNum = 0;
    ResourceHeader header; // as committed on disk
    ResourceMap map;
    uint64_t appendAt = 0; // where the next write-back puts new bytes (from the origin)
    bool preloadPending = false;
};

std::array<ResFile*, kSlotCount> gSlots {};
int gLastSlot = -1;
std::vector<ResFile*> gChain; // most recently opened first
int gCurrent = 0;
int16_t gResError = 0;
bool gLoadFlag = true;
ResType gUniqueType = 0;
int32_t gUniqueNext = 128;

std::string gHomeRequest;
bool gHomeRequested = false;
bool gHomeOpened = false;
std::string gHomeMissing;
std::vector<uint8_t> gPreferences;

class ResourceKind final : public PointerKind {
public:
    ResourceKind() : PointerKind("resource") {}
    bool holdsHandle() override { return true; }
    std::string print(Value pointer) override;
} gResourceKind;

// ---- Files ----

bool readAt(ResFile& f, uint64_t offset, void* buffer, size_t count)
{
    size_t done = 0;
    return !failed(f.file.read(f.origin + offset, buffer, count, done)) && done == count;
}

bool writeAt(ResFile& f, uint64_t offset, const void* data, size_t count)
{
    return !failed(f.file.write(f.origin + offset, data, count));
}

ResFile* fileOf(int refNum) { return refNum >= 1 && refNum <= kSlotCount ? gSlots[refNum - 1] : nullptr; }

struct FoundRef {
    ResFile* file = nullptr;
    ResourceType* type = nullptr;
    size_t index = 0;
    ResourceRef& ref() const { return type->refs[index]; }
    explicit operator bool() const { return file != nullptr; }
};

FoundRef findByHandle(Handle h)
{
    if (h == 0)
        return {};
    for (ResFile* f : gChain)
        for (ResourceType& t : f->map.types)
            for (size_t i = 0; i < t.refs.size(); ++i)
                if (t.refs[i].handle == h)
                    return { f, &t, i };
    return {};
}

ResourceType* findType(ResFile& f, ResType type)
{
    for (ResourceType& t : f.map.types)
        if (t.type == type)
            return &t;
    return nullptr;
}

// Reads a reference's data into its handle (see the load flag and purging).
int16_t loadRef(ResFile& f, ResourceRef& ref)
{
    if (ref.handle) {
        if (!gLoadFlag || handleSize(ref.handle) > 0)
            return ResCode::NoError;
    } else {
        Handle h = newHandle(0);
        if (!h)
            return ResCode::NoMemory;
        ref.handle = h;
        if (!gLoadFlag)
            return ResCode::NoError;
    }
    if (ref.dataOffset == kNoData)
        return ResCode::NoError;
    uint8_t word[4];
    if (!readAt(f, kResourceHeaderSize + uint64_t(ref.dataOffset), word, 4))
        return ResCode::IoError;
    uint32_t length = readBE32(word);
    if (uint64_t(ref.dataOffset) + 4 + length > f.header.dataLength)
        return ResCode::IoError;
    if (!setHandleSize(ref.handle, length))
        return ResCode::NoMemory;
    if (length > 0
        && !readAt(f, kResourceHeaderSize + uint64_t(ref.dataOffset) + 4, hostAddress(handleAddress(ref.handle)), length)) {
        setHandleSize(ref.handle, 0);
        return ResCode::IoError;
    }
    setHandlePurgeable(ref.handle, (ref.attributes & ResAttr::Purgeable) && !(ref.attributes & ResAttr::Changed));
    return ResCode::NoError;
}

// The handle manager asks before it locks a purged handle.
bool reloadPurged(Handle h)
{
    FoundRef found = findByHandle(h);
    if (!found)
        return false;
    bool saved = gLoadFlag;
    gLoadFlag = true;
    int16_t code = loadRef(*found.file, found.ref());
    gLoadFlag = saved;
    return code == ResCode::NoError && handleSize(h) > 0;
}

void preload(ResFile& f)
{
    f.preloadPending = false;
    for (ResourceType& t : f.map.types)
        for (ResourceRef& ref : t.refs)
            if (ref.attributes & ResAttr::Preload)
                loadRef(f, ref);
}

// Checks the structure at the file's origin and reads the map. Every data record's length word
// is read and checked against the data area too.
int16_t readStructure(ResFile& f)
{
    uint64_t size = 0;
    if (failed(f.file.size(size)) || size < f.origin)
        return ResCode::IoError;
    uint64_t fileSize = size - f.origin;
    if (fileSize < kResourceHeaderSize)
        return ResCode::IoError;
    uint8_t head[kResourceHeaderSize];
    if (!readAt(f, 0, head, sizeof head))
        return ResCode::IoError;
    ResourceHeader header;
    if (int16_t code = parseResourceHeader(head, fileSize, header))
        return code;
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(header.mapLength);
    } catch (const std::bad_alloc&) {
        return ResCode::NoMemory;
    }
    if (!readAt(f, header.mapOffset, bytes.data(), bytes.size()))
        return ResCode::OpenError;
    ResourceMap map;
    if (int16_t code = parseResourceMap(bytes.data(), header.mapLength, header, map))
        return code;
    f.header = header;
    for (ResourceType& t : map.types)
        for (ResourceRef& ref : t.refs) {
            if (ref.dataOffset == kNoData)
                continue;
            uint8_t word[4];
            if (!readAt(f, kResourceHeaderSize + uint64_t(ref.dataOffset), word, 4))
                return ResCode::IoError;
            if (uint64_t(ref.dataOffset) + 4 + readBE32(word) > header.dataLength)
                return ResCode::OpenError;
        }
    map.attributes &= static_cast<uint16_t>(~(MapAttr::Changed | MapAttr::NeedsCompaction));
    f.map = std::move(map);
    f.appendAt = uint64_t(header.mapOffset) + header.mapLength;
    return ResCode::NoError;
}

bool readAtContext(void* context, uint64_t offset, void* buffer, size_t count)
{
    size_t done = 0;
    return !failed(static_cast<HostFile*>(context)->read(offset, buffer, count, done)) && done == count;
}

int takeSlot()
{
    for (int step = 1; step <= kSlotCount; ++step) {
        int slot = (gLastSlot + step) % kSlotCount;
        if (!gSlots[slot]) {
            gLastSlot = slot;
            return slot;
        }
    }
    return -1;
}

// Opens a resource file by host path; identity is the path other calls compare with.
int openHostResourceFile(const std::string& hostPath, const std::string& identity, bool readOnly)
{
    gResError = ResCode::NoError;
    for (ResFile* f : gChain)
        if (cp1252EqualIgnoringCase(f->path, identity))
            return f->refNum;
    auto f = std::make_unique<ResFile>();
    f->path = identity;
    f->hostPath = hostPath;
    bool opened = false;
    if (!readOnly && !failed(f->file.open(hostPath, FileAccess::ReadWrite, FileCreate::Existing))) {
        // A second writer of the same file gets it read-only.
        if (failed(f->file.tryLock()))
            f->file.close();
        else
            opened = f->writable = true;
    }
    if (!opened && failed(f->file.open(hostPath, FileAccess::Read, FileCreate::Existing))) {
        gResError = ResCode::OpenError;
        return -1;
    }
    int16_t code = readStructure(*f);
    if (code) {
        uint8_t head[64];
        uint64_t size = 0;
        size_t done = 0;
        if (!failed(f->file.size(size)) && !failed(f->file.read(0, head, sizeof head, done))) {
            uint64_t start = executableOverlayStart(head, done, size, readAtContext, &f->file);
            if (start > 0 && start < size) {
                f->origin = start;
                code = readStructure(*f);
            }
        }
    }
    if (code) {
        gResError = code;
        return -1;
    }
    int slot = takeSlot();
    if (slot < 0) {
        gResError = ResCode::OpenError;
        return -1;
    }
    f->refNum = slot + 1;
    ResFile* file = f.release();
    gSlots[slot] = file;
    gChain.insert(gChain.begin(), file);
    gCurrent = file->refNum;
    if (memoryStarted())
        preload(*file);
    else
        file->preloadPending = true;
    return file->refNum;
}

// Appends the changed data (all of it, or one reference's) and a new map past the committed end,
// then commits it with the header. On failure nothing in memory changes and the code is -34.
int16_t writeBack(ResFile& f, const ResourceRef* only)
{
    if (!f.writable)
        return ResCode::NoWritePermission;
    struct Move {
        ResourceRef* ref;
        uint32_t offset;
    };
    std::vector<Move> moves;
    uint64_t at = std::max<uint64_t>(f.appendAt, uint64_t(f.header.mapOffset) + f.header.mapLength);
    for (ResourceType& t : f.map.types)
        for (ResourceRef& ref : t.refs) {
            if (!(ref.attributes & ResAttr::Changed) || (only && &ref != only))
                continue;
            int32_t size = ref.handle ? handleSize(ref.handle) : -1;
            if (size < 0)
                continue; // no data in memory: nothing to write
            if (at - kResourceHeaderSize + 4 + uint64_t(size) > kMaxDataOffset)
                return ResCode::WriteError;
            uint8_t word[4];
            writeBE32(word, static_cast<uint32_t>(size));
            if (!writeAt(f, at, word, 4)
                || (size > 0 && !writeAt(f, at + 4, hostAddress(handleAddress(ref.handle)), static_cast<size_t>(size))))
                return ResCode::WriteError;
            moves.push_back({ &ref, static_cast<uint32_t>(at - kResourceHeaderSize) });
            at += 4 + uint64_t(size);
        }
    // The map as it will be: moved data at its new place; references whose data never reached the
    // file are left out.
    ResourceMap next;
    next.attributes = f.map.attributes;
    for (ResourceType& t : f.map.types) {
        ResourceType copy { t.type, {} };
        for (ResourceRef& ref : t.refs) {
            ResourceRef r = ref;
            for (const Move& m : moves)
                if (m.ref == &ref)
                    r.dataOffset = m.offset;
            if (r.dataOffset != kNoData)
                copy.refs.push_back(std::move(r));
        }
        next.types.push_back(std::move(copy));
    }
    ResourceHeader header;
    header.mapOffset = static_cast<uint32_t>(at);
    header.dataLength = static_cast<uint32_t>(at - kResourceHeaderSize);
    std::vector<uint8_t> bytes;
    if (at > 0x7FFFFFFF || !encodeResourceMap(next, header, bytes))
        return ResCode::WriteError;
    uint8_t head[16];
    encodeResourceHeader(header, head);
    if (!writeAt(f, at, bytes.data(), bytes.size()) || failed(f.file.sync()) || !writeAt(f, 0, head, sizeof head)
        || failed(f.file.sync()))
        return ResCode::WriteError;
    f.header = header;
    f.appendAt = uint64_t(header.mapOffset) + header.mapLength;
    f.file.setSize(f.origin + f.appendAt); // only cuts the remains of an interrupted write-back
    for (const Move& m : moves) {
        m.ref->dataOffset = m.offset;
        m.ref->attributes &= static_cast<uint8_t>(~ResAttr::Changed);
        if (m.ref->attributes & ResAttr::Purgeable)
            setHandlePurgeable(m.ref->handle, true);
    }
    if (!only) {
        f.map.attributes &= static_cast<uint16_t>(~(MapAttr::Changed | MapAttr::NeedsCompaction));
        std::erase_if(f.map.types, [](const ResourceType& t) { return t.refs.empty(); });
    }
    return ResCode::NoError;
}

// Write-backs only append, so a file written back often fills with the dead bytes of earlier
// data and maps. When they outweigh the live part, the file is written anew beside itself, with
// its lock, synced, and renamed over the old one. A failure on the way leaves the old file, which
// is complete, and is no error.
void compactIfWasteful(ResFile& f)
{
    if (f.origin != 0 || !f.writable || f.hostPath.empty())
        return;
    struct Piece {
        ResourceRef* ref;
        uint32_t length;
    };
    std::vector<Piece> pieces;
    uint64_t live = uint64_t(kResourceHeaderSize) + f.header.mapLength;
    for (ResourceType& t : f.map.types)
        for (ResourceRef& ref : t.refs) {
            if (ref.dataOffset == kNoData)
                continue;
            uint8_t word[4];
            if (!readAt(f, uint64_t(kResourceHeaderSize) + ref.dataOffset, word, 4))
                return;
            pieces.push_back({ &ref, readBE32(word) });
            live += 4 + uint64_t(pieces.back().length);
        }
    if (f.appendAt < 2 * live || f.appendAt - live < 64 * 1024)
        return;
    std::vector<uint8_t> bytes(kResourceHeaderSize);
    if (!readAt(f, 0, bytes.data(), bytes.size()))
        return;
    std::vector<uint32_t> offsets;
    for (const Piece& piece : pieces) {
        size_t at = bytes.size();
        offsets.push_back(static_cast<uint32_t>(at - kResourceHeaderSize));
        bytes.resize(at + 4 + piece.length);
        if (!readAt(f, uint64_t(kResourceHeaderSize) + piece.ref->dataOffset, bytes.data() + at, 4 + size_t(piece.length)))
            return;
    }
    // The map as the write-back committed it: references whose data never reached the file are
    // not in it.
    ResourceMap next = f.map;
    size_t k = 0;
    for (ResourceType& t : next.types) {
        std::erase_if(t.refs, [](const ResourceRef& ref) { return ref.dataOffset == kNoData; });
        for (ResourceRef& ref : t.refs)
            ref.dataOffset = offsets[k++];
    }
    ResourceHeader header;
    header.mapOffset = static_cast<uint32_t>(bytes.size());
    header.dataLength = static_cast<uint32_t>(bytes.size() - kResourceHeaderSize);
    std::vector<uint8_t> mapBytes;
    if (!encodeResourceMap(next, header, mapBytes))
        return;
    bytes.insert(bytes.end(), mapBytes.begin(), mapBytes.end());
    encodeResourceHeader(header, bytes.data());
    size_t slash = f.hostPath.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : f.hostPath.substr(0, slash);
    HostFile fresh;
    std::string freshPath;
    if (failed(filesCreateTemporary(folder, ".velora-compact-", ".tmp", fresh, freshPath)))
        return;
    if (failed(fresh.write(0, bytes.data(), bytes.size())) || failed(fresh.sync())
        || failed(filesReplace(freshPath, f.hostPath))) {
        fresh.close();
        filesRemove(freshPath);
        return;
    }
    // The fresh file, still open and locked, is the file now.
    f.file = std::move(fresh);
    f.header = header;
    f.appendAt = uint64_t(header.mapOffset) + header.mapLength;
    k = 0;
    for (ResourceType& t : f.map.types)
        for (ResourceRef& ref : t.refs)
            if (ref.dataOffset != kNoData)
                ref.dataOffset = offsets[k++];
}

int16_t updateFile(ResFile& f)
{
    if (!(f.map.attributes & MapAttr::Changed))
        return ResCode::NoError;
    int16_t code = writeBack(f, nullptr);
    if (code == ResCode::NoError)
        compactIfWasteful(f);
    return code;
}

void disposeFile(ResFile* f)
{
    std::erase(gChain, f);
    for (ResourceType& t : f->map.types)
        for (ResourceRef& ref : t.refs)
            if (ref.handle)
                disposeHandle(ref.handle);
    gSlots[f->refNum - 1] = nullptr;
    if (gCurrent == f->refNum)
        gCurrent = gChain.empty() ? 0 : gChain.front()->refNum;
    delete f;
}

// The files searched from the current one towards the older ones.
std::vector<ResFile*> searchOrder()
{
    std::vector<ResFile*> files;
    auto it = std::find_if(gChain.begin(), gChain.end(), [](ResFile* f) { return f->refNum == gCurrent; });
    files.assign(it, gChain.end());
    return files;
}

bool nameMatches(const ResourceRef& ref, const std::string& name)
{
    return ref.hasName && equalTextsNoCase(ref.name, name, false);
}

FoundRef findIn(ResFile* f, ResType type, const int16_t* id, const std::string* name)
{
    ResourceType* t = findType(*f, type);
    if (!t)
        return {};
    for (size_t i = 0; i < t->refs.size(); ++i)
        if (id ? t->refs[i].id == *id : nameMatches(t->refs[i], *name))
            return { f, t, i };
    return {};
}

FoundRef findRef(ResType type, const int16_t* id, const std::string* name, bool currentOnly)
{
    if (currentOnly) {
        ResFile* f = fileOf(gCurrent);
        return f ? findIn(f, type, id, name) : FoundRef {};
    }
    for (ResFile* f : searchOrder())
        if (FoundRef found = findIn(f, type, id, name))
            return found;
    return {};
}

Handle loadFound(const FoundRef& found)
{
    if (!found) {
        gResError = ResCode::NotFound;
        return 0;
    }
    gResError = loadRef(*found.file, found.ref());
    return gResError ? 0 : found.ref().handle;
}

// ---- Home resource file ----

std::string riPathBeside(const std::string& executable)
{
    size_t slash = executable.rfind('/');
    size_t dot = executable.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return executable + ".RI";
    return executable.substr(0, dot + 1) + "RI";
}

std::string identityOf(const std::string& hostPath)
{
    std::string lisp;
    return filesLispPath(hostPath, lisp) ? lisp : hostPath;
}

void readStartupParameters(int refNum)
{
    ResFile& f = *fileOf(refNum);
    gPreferences.assign(kPreferencesLength, 0);
    int16_t prefId = 256, sizeId = -1;
    auto readData = [&](ResType type, int16_t id, std::vector<uint8_t>& out) {
        FoundRef found = findIn(&f, type, &id, nullptr);
        if (!found || found.ref().dataOffset == kNoData)
            return false;
        uint8_t word[4];
        if (!readAt(f, kResourceHeaderSize + uint64_t(found.ref().dataOffset), word, 4))
            return false;
        uint32_t length = std::min<uint32_t>(readBE32(word), 4096);
        out.resize(length);
        return readAt(f, kResourceHeaderSize + uint64_t(found.ref().dataOffset) + 4, out.data(), length);
    };
    std::vector<uint8_t> pref, size;
    if (readData(resTypeFromText("PREF"), prefId, pref)) {
        std::copy_n(pref.begin(), std::min(pref.size(), kPreferencesLength), gPreferences.begin());
        gPreferences[kPreferencesLength - 1] = 0; // the title always ends
        // A size that makes no sense keeps the compiled-in value instead of wrecking the start.
        auto take = [&](int at, int32_t& field, int32_t low, int32_t high) {
            int32_t v = static_cast<int32_t>(readBE32(gPreferences.data() + at));
            if (v >= low && v <= high)
                field = v;
        };
        ParameterBlock& p = gParams;
        take(0, p.symbolCount, 1000, 1 << 20);
        take(4, p.lispStackWords, 1000, 1 << 24);
        take(8, p.prologStackWords, 0, 1 << 24);
        take(12, p.cellCount, 1000, 1 << 20);
        take(16, p.blockBytes, 10000, 1 << 30);
        take(20, p.heapReserve, 0, 1 << 30);
        take(24, p.cStackBytes, 50000, 1 << 26);
        take(28, p.cellsPer800, 0, 800);
        take(32, p.heapPercent, 0, 100);
    }
    if (readData(resTypeFromText("SIZE"), sizeId, size) && size.size() >= 6) {
        uint32_t preferred = readBE32(size.data() + 2);
        if (preferred >= 1000000)
            gParams.memoryBudget = static_cast<int32_t>(std::min<uint32_t>(preferred, 0x7FFFFFFF));
    }
}

void openHomeResourceFile()
{
    gHomeOpened = false;
    std::string path = gHomeRequest.empty() ? hostExecutablePath() : gHomeRequest;
    int refNum = openHostResourceFile(path, identityOf(path), true);
    if (refNum < 0 && gHomeRequest.empty()) {
        path = riPathBeside(path);
        refNum = openHostResourceFile(path, identityOf(path), true);
    }
    if (refNum < 0) {
        gHomeMissing = path;
        return;
    }
    gHomeOpened = true;
    readStartupParameters(refNum);
}

// ---- Lisp arguments ----

std::string pathText(Value path) { return pathArgumentText(path); }

ResType toResType(Value type)
{
    if (!isString(type))
        raiseWrongType(type);
    return resTypeFromText(std::string(stringChars(type), stringLength(type)));
}

Value typeValue(ResType type) { return makeString(resTypeText(type)); }

int16_t toResId(Value id)
{
    int32_t n = toInt32(id);
    if (n < -32768 || n > 32767)
        raiseWrongType(id);
    return static_cast<int16_t>(n);
}

std::string toText(Value s)
{
    if (!isString(s))
        raiseWrongType(s);
    return std::string(stringChars(s), stringLength(s));
}

// The resource a Lisp value stands for (any pointer; its handle is looked up in every open file).
FoundRef toFound(Value res)
{
    FoundRef found = isPointer(res) ? findByHandle(pointerAddress(res)) : FoundRef {};
    gResError = found ? ResCode::NoError : ResCode::NotFound;
    return found;
}

FoundRef lookup(Value type, Value idOrName, bool currentOnly)
{
    ResType t = toResType(type);
    if (isString(idOrName)) {
        std::string name = toText(idOrName);
        return findRef(t, nullptr, &name, currentOnly);
    }
    int16_t id = toResId(idOrName);
    return findRef(t, &id, nullptr, currentOnly);
}

Value resultOf(Handle h) { return h ? resourceValue(h) : kNil; }

Value noValue() { return kNoValue; }

// ---- Primitives ----

Value openresfile(Value path, Value readOnly)
{
    std::string text = pathText(path);
    for (ResFile* f : gChain)
        if (cp1252EqualIgnoringCase(f->path, text)) {
            gResError = ResCode::NoError;
            return makeInteger(f->refNum);
        }
    return makeInteger(openResourceFile(text, isFlagSet(readOnly)));
}

Value closeresfile(Value refNum)
{
    closeResourceFile(toInt32(refNum));
    return kNoValue;
}

Value reserror() { return makeInteger(gResError); }
Value curresfile() { return makeInteger(gCurrent); }

Value homeresfile(Value res)
{
    FoundRef found = toFound(res);
    return makeInteger(found ? found.file->refNum : -1);
}

Value useresfile(Value refNum)
{
    useResourceFile(toInt32(refNum));
    return kNoValue;
}

Value setresload(Value flag)
{
    gLoadFlag = flag != kNil;
    return kNoValue;
}

int countOver(const std::vector<ResFile*>& files, ResType type)
{
    int n = 0;
    for (ResFile* f : files)
        if (ResourceType* t = findType(*f, type))
            n += static_cast<int>(t->refs.size());
    return n;
}

Value countresources(Value type) { return makeInteger(countOver(gChain, toResType(type))); }

Value indexedIn(const std::vector<ResFile*>& files, Value type, Value index)
{
    ResType t = toResType(type);
    int32_t i = toInt32(index);
    gResError = ResCode::NoError;
    if (i < 1) {
        return kNil;
    }
    for (ResFile* f : files)
        if (ResourceType* rt = findType(*f, t)) {
            if (static_cast<size_t>(i) <= rt->refs.size())
                return resultOf(loadFound({ f, rt, static_cast<size_t>(i - 1) }));
            i -= static_cast<int32_t>(rt->refs.size());
        }
    gResError = ResCode::NotFound;
    return kNil;
}

Value getindresource(Value type, Value index) { return indexedIn(gChain, type, index); }

Value get1indresource(Value type, Value index)
{
    std::vector<ResFile*> files;
    if (ResFile* f = fileOf(gCurrent))
        files.push_back(f);
    return indexedIn(files, type, index);
}

Value getresource(Value type, Value idOrName) { return resultOf(loadFound(lookup(type, idOrName, false))); }
Value get1resource(Value type, Value idOrName) { return resultOf(loadFound(lookup(type, idOrName, true))); }

Value loadresource(Value res)
{
    FoundRef found = toFound(res);
    if (found) {
        bool saved = gLoadFlag;
        gLoadFlag = true;
        gResError = loadRef(*found.file, found.ref());
        gLoadFlag = saved;
    }
    return kNoValue;
}

Value releaseresource(Value res)
{
    if (FoundRef found = toFound(res); found && !(found.ref().attributes & ResAttr::Changed)) {
        disposeHandle(found.ref().handle);
        found.ref().handle = 0;
        cellOf(res).cdr = 0;
    }
    return kNoValue;
}

Value detachresource(Value res)
{
    if (FoundRef found = toFound(res)) {
        found.ref().handle = 0;
        cellOf(res).car = (Tag::PointerHeader << 24) | gHandleKind.index();
    }
    return kNoValue;
}

Value uniqueid(Value type)
{
    ResType t = toResType(type);
    if (t != gUniqueType) {
        gUniqueType = t;
        gUniqueNext = 128;
    }
    auto used = [&](int32_t id) {
        for (ResFile* f : gChain)
            if (ResourceType* rt = findType(*f, t))
                for (const ResourceRef& ref : rt->refs)
                    if (ref.id == id)
                        return true;
        return false;
    };
    int32_t candidate = gUniqueNext;
    while (candidate <= 32767 && used(candidate))
        ++candidate;
    if (candidate > 32767) { // wrapped: look again from 128
        candidate = 128;
        while (candidate <= 32767 && used(candidate))
            ++candidate;
        if (candidate > 32767)
            raiseResourceError(ResCode::AddFailed, type);
    }
    gUniqueNext = candidate + 1;
    return makeInteger(candidate);
}

Value getresid(Value res)
{
    FoundRef found = toFound(res);
    return makeInteger(found ? found.ref().id : 0);
}

Value getresname(Value res)
{
    FoundRef found = toFound(res);
    return makeString(found ? found.ref().name : std::string());
}

Value getResourceName(Value type, Value idOrName)
{
    FoundRef found = lookup(type, idOrName, false);
    gResError = found ? ResCode::NoError : ResCode::NotFound;
    return makeString(found ? found.ref().name : std::string());
}

Value getresattrs(Value res)
{
    FoundRef found = toFound(res);
    return makeInteger(found ? found.ref().attributes : 0);
}

Value sizeresource(Value res)
{
    FoundRef found = toFound(res);
    if (!found)
        return makeInteger(-1);
    ResourceRef& ref = found.ref();
    if (ref.handle && handleSize(ref.handle) > 0)
        return makeInteger(handleSize(ref.handle));
    if (ref.dataOffset == kNoData)
        return makeInteger(ref.handle ? std::max(handleSize(ref.handle), 0) : 0);
    uint8_t word[4];
    if (!readAt(*found.file, kResourceHeaderSize + uint64_t(ref.dataOffset), word, 4)) {
        gResError = ResCode::IoError;
        return makeInteger(-1);
    }
    return makeInteger(readBE32(word));
}

void markMapChanged(ResFile& f) { f.map.attributes |= MapAttr::Changed; }

Value setresinfo(Value res, Value id, Value name)
{
    FoundRef found = toFound(res);
    if (!found || (found.ref().attributes & ResAttr::Protected))
        return kNoValue;
    int16_t newId = toResId(id);
    std::string newName = isString(name) ? toText(name) : std::string();
    if (name != kNil && name != kNoValue && !isString(name))
        raiseWrongType(name);
    ResourceRef& ref = found.ref();
    ref.id = newId;
    ref.hasName = !newName.empty();
    ref.name = newName.substr(0, 255);
    markMapChanged(*found.file);
    return kNoValue;
}

Value setresattrs(Value res, Value attributes)
{
    int32_t byte = toInt32(attributes);
    if (FoundRef found = toFound(res)) {
        ResourceRef& ref = found.ref();
        // Data that never reached the file stays marked for writing, or the resource would be lost.
        uint8_t keep = ref.dataOffset == kNoData ? (ref.attributes & ResAttr::Changed) : 0;
        ref.attributes = static_cast<uint8_t>(byte) | keep;
        if (ref.handle)
            setHandlePurgeable(ref.handle, (ref.attributes & ResAttr::Purgeable) && !(ref.attributes & ResAttr::Changed));
        markMapChanged(*found.file);
    }
    return kNoValue;
}

Value changedresource(Value res)
{
    if (FoundRef found = toFound(res)) {
        found.ref().attributes |= ResAttr::Changed;
        if (found.ref().handle)
            setHandlePurgeable(found.ref().handle, false); // a change must not be purged away
        markMapChanged(*found.file);
    }
    return kNoValue;
}

// Inserts a reference at the end of its type's list; false (and nothing inserted) when the map
// would pass the format's limits.
bool insertRef(ResFile& f, ResType type, ResourceRef ref)
{
    ResourceType* t = findType(f, type);
    bool newType = !t;
    if (newType) {
        f.map.types.push_back({ type, {} });
        t = &f.map.types.back();
    }
    t->refs.push_back(std::move(ref));
    ResourceHeader probe;
    std::vector<uint8_t> bytes;
    if (!encodeResourceMap(f.map, probe, bytes)) {
        t->refs.pop_back();
        if (newType)
            f.map.types.pop_back();
        return false;
    }
    markMapChanged(f);
    return true;
}

void removeRef(ResFile& f, ResType type, int16_t id, uint32_t dataOffset)
{
    if (ResourceType* t = findType(f, type))
        std::erase_if(t->refs, [&](const ResourceRef& r) { return r.id == id && r.dataOffset == dataOffset; });
}

// One buffer for chunked copies: 512 KB first, halved while it cannot be had.
std::vector<uint8_t> chunkBuffer()
{
    std::vector<uint8_t> buffer;
    for (size_t size = 0x80000; size >= 2050; size /= 2) {
        try {
            buffer.resize(size);
            return buffer;
        } catch (const std::bad_alloc&) {
        }
    }
    raiseError(ErrorCode::MemoryExhausted, kNil);
}

Value addFromPath(ResFile& f, const std::string& lispPath, ResType type, int16_t id, const std::string& name)
{
    std::string host;
    HostFile source;
    uint64_t size = 0;
    if (failed(filesHostPath(lispPath, host)) || failed(source.open(host, FileAccess::Read, FileCreate::Existing))
        || failed(source.size(size)))
        raiseResourceError(ResCode::OpenError, kNil);
    if (!f.writable)
        raiseResourceError(ResCode::AddFailed, kNil);
    uint64_t at = std::max<uint64_t>(f.appendAt, uint64_t(f.header.mapOffset) + f.header.mapLength);
    if (at - kResourceHeaderSize + 4 + size > kMaxDataOffset)
        raiseResourceError(ResCode::AddFailed, kNil);
    uint8_t word[4];
    writeBE32(word, static_cast<uint32_t>(size));
    if (!writeAt(f, at, word, 4))
        raiseResourceError(ResCode::WriteError, kNil);
    std::vector<uint8_t> buffer = chunkBuffer();
    for (uint64_t done = 0; done < size;) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(size - done, buffer.size()));
        size_t got = 0;
        if (failed(source.read(done, buffer.data(), chunk, got)) || got != chunk)
            raiseError(36, makeInteger(-1));
        if (!writeAt(f, at + 4 + done, buffer.data(), chunk))
            raiseResourceError(ResCode::WriteError, kNil);
        done += chunk;
    }
    ResourceRef ref;
    ref.id = id;
    ref.hasName = !name.empty();
    ref.name = name.substr(0, 255);
    ref.dataOffset = static_cast<uint32_t>(at - kResourceHeaderSize);
    f.appendAt = at + 4 + size;
    if (!insertRef(f, type, ref))
        raiseResourceError(ResCode::AddFailed, kNil);
    // The new data is committed with the map at once; a failed commit takes the entry out again.
    if (int16_t code = writeBack(f, nullptr)) {
        removeRef(f, type, id, ref.dataOffset);
        gResError = code;
        raiseResourceError(code, kNil);
    }
    return kNoValue;
}

Value addresource(Value data, Value type, Value id, Value name)
{
    gResError = ResCode::NoError;
    ResType t = toResType(type);
    int16_t resId = toResId(id);
    std::string text = isString(name) ? toText(name) : std::string();
    ResFile* f = fileOf(gCurrent);
    if (!f) {
        gResError = ResCode::AddFailed;
        raiseResourceError(ResCode::AddFailed, kNil);
    }
    if (isString(data))
        return addFromPath(*f, toText(data), t, resId, text);
    if (!isPointer(data))
        raiseWrongType(data);
    Handle h = pointerAddress(data);
    if (h == 0 || !isHandle(h) || findByHandle(h)) {
        gResError = ResCode::AddFailed;
        raiseResourceError(ResCode::AddFailed, kNil);
    }
    ResourceRef ref;
    ref.id = resId;
    ref.hasName = !text.empty();
    ref.name = text.substr(0, 255);
    ref.attributes = ResAttr::Changed;
    ref.handle = h;
    if (!insertRef(*f, t, ref)) {
        gResError = ResCode::AddFailed;
        raiseResourceError(ResCode::AddFailed, kNil);
    }
    setHandlePurgeable(h, false);
    cellOf(data).car = (Tag::PointerHeader << 24) | gResourceKind.index();
    return kNoValue;
}

Value rmveresource(Value res)
{
    FoundRef found = toFound(res);
    if (!found || found.file->refNum != gCurrent || (found.ref().attributes & ResAttr::Protected)) {
        gResError = ResCode::RemoveFailed;
        raiseResourceError(ResCode::RemoveFailed, kNil);
    }
    found.type->refs.erase(found.type->refs.begin() + static_cast<ptrdiff_t>(found.index));
    found.file->map.attributes |= MapAttr::Changed | MapAttr::NeedsCompaction;
    cellOf(res).car = (Tag::PointerHeader << 24) | gHandleKind.index();
    return kNoValue;
}

Value updateresfile(Value refNum)
{
    updateResourceFile(toInt32(refNum));
    return kNoValue;
}

Value writeresource(Value res)
{
    FoundRef found = toFound(res);
    if (!found)
        raiseResourceError(ResCode::NotFound, kNil);
    if (!(found.ref().attributes & ResAttr::Changed))
        return kNoValue;
    gResError = writeBack(*found.file, &found.ref());
    if (gResError)
        raiseResourceError(gResError, kNil);
    return kNoValue;
}

Value getresfileattrs(Value refNum)
{
    int32_t n = toInt32(refNum);
    ResFile* f = fileOf(n);
    gResError = f || n == 0 ? ResCode::NoError : ResCode::NoFile;
    return makeInteger(f ? f->map.attributes : 0);
}

Value setresfileattrs(Value refNum, Value attributes)
{
    int32_t a = toInt32(attributes);
    ResFile* f = fileOf(toInt32(refNum));
    gResError = f ? ResCode::NoError : ResCode::NoFile;
    if (f)
        f->map.attributes = static_cast<uint16_t>(a);
    return kNoValue;
}

std::vector<ResourceType*> nonEmptyTypes(ResFile* f)
{
    std::vector<ResourceType*> types;
    if (f)
        for (ResourceType& t : f->map.types)
            if (!t.refs.empty())
                types.push_back(&t);
    return types;
}

Value count1types() { return makeInteger(static_cast<int64_t>(nonEmptyTypes(fileOf(gCurrent)).size())); }

Value get1indtype(Value index)
{
    int32_t i = toInt32(index);
    std::vector<ResourceType*> types = nonEmptyTypes(fileOf(gCurrent));
    if (i < 1 || static_cast<size_t>(i) > types.size())
        return makeString("    ");
    return typeValue(types[i - 1]->type);
}

Value count1resources(Value type)
{
    std::vector<ResFile*> files;
    if (ResFile* f = fileOf(gCurrent))
        files.push_back(f);
    return makeInteger(countOver(files, toResType(type)));
}

// A STR# list's strings, walked with every length checked against the data.
std::vector<std::string> stringList(Handle h)
{
    std::vector<std::string> strings;
    int32_t size = handleSize(h);
    if (size < 2)
        return strings;
    uint32_t address = lockHandle(h);
    const uint8_t* p = hostAddress(address);
    uint32_t count = readBE16(p);
    uint32_t at = 2;
    for (uint32_t i = 0; i < count && at < static_cast<uint32_t>(size); ++i) {
        uint32_t n = p[at];
        if (at + 1 + n > static_cast<uint32_t>(size))
            break;
        strings.emplace_back(reinterpret_cast<const char*>(p + at + 1), n);
        at += 1 + n;
    }
    unlockHandle(h);
    return strings;
}

Value getStringsCount(Value handle)
{
    Handle h = toPointerAddress(handle);
    if (!isHandle(h) || handleSize(h) < 2)
        raiseWrongType(handle);
    uint32_t address = lockHandle(h);
    uint16_t count = readBE16(hostAddress(address));
    unlockHandle(h);
    return makeInteger(count);
}

Handle stringListHandle(Value id)
{
    int16_t resId = toResId(id);
    return loadFound(findRef(resTypeFromText("STR#"), &resId, nullptr, false));
}

Value getIndString(Value id, Value index)
{
    int32_t i = toInt32(index);
    Handle h = stringListHandle(id);
    if (!h || i < 1 || handleSize(h) <= 0)
        return makeString("");
    std::vector<std::string> strings = stringList(h);
    return makeString(static_cast<size_t>(i) <= strings.size() ? strings[i - 1] : std::string());
}

Value getNbString(Value id)
{
    Handle h = stringListHandle(id);
    return makeInteger(h && handleSize(h) > 0 ? static_cast<int64_t>(stringList(h).size()) : 0);
}

Value openrfPredicate(Value path)
{
    std::string text = pathText(path);
    for (ResFile* f : gChain)
        if (cp1252EqualIgnoringCase(f->path, text))
            return kTrue;
    return kNil;
}

Value resourceForkExists(Value path)
{
    if (openrfPredicate(path) != kNil)
        return kTrue;
    int saved = gCurrent;
    int16_t savedError = gResError;
    int refNum = openResourceFile(pathText(path), true);
    if (refNum < 0) {
        gResError = savedError;
        return kNil;
    }
    disposeFile(fileOf(refNum));
    gCurrent = fileOf(saved) ? saved : gCurrent;
    gResError = savedError;
    return kTrue;
}

Value getresourceIntoFile(Value type, Value idOrName, Value path, Value progress)
{
    std::string destination = pathText(path);
    bool saved = gLoadFlag;
    gLoadFlag = false;
    FoundRef found = lookup(type, idOrName, false);
    gLoadFlag = saved;
    if (!found) {
        gResError = ResCode::NotFound;
        return kNil;
    }
    ResFile& f = *found.file;
    ResourceRef ref = found.ref();
    std::string host;
    HostFile out;
    if (failed(filesHostPath(destination, host)) || failed(out.open(host, FileAccess::ReadWrite, FileCreate::Truncate)))
        raiseResourceError(ResCode::OpenError, path);
    std::vector<uint8_t> buffer = chunkBuffer();
    auto report = [&](size_t n) {
        if (progress != kNil && progress != kNoValue)
            funcall(progress, makeInteger(static_cast<int64_t>(n)));
    };
    if (ref.dataOffset == kNoData || (ref.attributes & ResAttr::Changed)) {
        // The data exists only in memory.
        int32_t size = ref.handle ? handleSize(ref.handle) : 0;
        for (int32_t done = 0; done < size;) {
            size_t chunk = std::min<size_t>(static_cast<size_t>(size - done), buffer.size());
            std::memcpy(buffer.data(), hostAddress(handleAddress(ref.handle)) + done, chunk);
            if (failed(out.write(static_cast<uint64_t>(done), buffer.data(), chunk)))
                raiseResourceError(ResCode::WriteError, kNil);
            done += static_cast<int32_t>(chunk);
            report(chunk);
        }
        return kTrue;
    }
    uint8_t word[4];
    if (!readAt(f, kResourceHeaderSize + uint64_t(ref.dataOffset), word, 4))
        raiseError(36, makeInteger(-1));
    uint32_t length = readBE32(word);
    if (uint64_t(ref.dataOffset) + 4 + length > f.header.dataLength) {
        gResError = ResCode::ReadPastEnd;
        raiseResourceError(ResCode::ReadPastEnd, kNil);
    }
    for (uint64_t done = 0; done < length;) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(length - done, buffer.size()));
        if (!readAt(f, kResourceHeaderSize + uint64_t(ref.dataOffset) + 4 + done, buffer.data(), chunk))
            raiseError(36, makeInteger(-1));
        if (failed(out.write(done, buffer.data(), chunk)))
            raiseResourceError(ResCode::WriteError, kNil);
        done += chunk;
        report(chunk);
    }
    return kTrue;
}

Value createResourceFile(Value path, Value creator, Value type, Value hidden, Value quiet)
{
    bool isQuiet = isFlagSet(quiet);
    std::string host, lisp;
    HostFile file;
    FileError error = FileError::None;
    if (path == kNil || path == kNoValue) {
        error = filesCreateTemporary(filesTemporaryFolder(), "velora", ".tmp", file, host);
        if (!failed(error) && !filesLispPath(host, lisp))
            lisp = host;
    } else {
        lisp = pathText(path);
        error = filesHostPath(lisp, host);
        if (!failed(error))
            error = file.open(host, FileAccess::ReadWrite, FileCreate::Exclusive);
        if (error == FileError::Exists) {
            if (isQuiet)
                return kNil;
            raiseError(33, path);
        }
    }
    if (failed(error)) {
        if (isQuiet)
            return kNil;
        raiseResourceError(ResCode::OpenError, kNil);
    }
    uint8_t bytes[kResourceHeaderSize + kEmptyMapLength] = {};
    ResourceHeader header;
    encodeResourceHeader(header, bytes);
    std::string name = lisp.substr(lisp.find_last_of("\\/:") == std::string::npos ? 0 : lisp.find_last_of("\\/:") + 1);
    size_t n = std::min<size_t>(name.size(), 33);
    bytes[48] = static_cast<uint8_t>(n);
    std::memcpy(bytes + 49, name.data(), n);
    if (isString(type))
        writeBE32(bytes + 82, toResType(type));
    if (isString(creator))
        writeBE32(bytes + 86, toResType(creator));
    uint8_t* map = bytes + kResourceHeaderSize;
    encodeResourceHeader(header, map);
    writeBE16(map + 24, 28);
    writeBE16(map + 26, kEmptyMapLength);
    writeBE16(map + 28, 0xFFFF);
    if (failed(file.write(0, bytes, sizeof bytes)) || failed(file.sync())) {
        file.close();
        filesRemove(host);
        if (isQuiet)
            return kNil;
        raiseResourceError(ResCode::IoError, kNil);
    }
    file.close();
    if (isFlagSet(hidden))
        filesSetHidden(host, true);
    return path == kNil || path == kNoValue ? makeString(lisp) : path;
}

Value setSymbolsTable(Value res)
{
    if (res == kNil) {
        dropUnitSymbols();
        return kNoValue;
    }
    FoundRef found = toFound(res);
    Handle h = found ? found.ref().handle : (isPointer(res) ? pointerAddress(res) : 0);
    if (!h || !isHandle(h))
        raiseWrongType(res);
    std::string bytes;
    if (handleSize(h) > 0) {
        uint32_t address = lockHandle(h);
        bytes.assign(reinterpret_cast<const char*>(hostAddress(address)), static_cast<size_t>(handleSize(h)));
        unlockHandle(h);
    }
    installUnitSymbols(symbolTableFromBytes(bytes, res));
    if (found && !(found.ref().attributes & ResAttr::Changed)) {
        disposeHandle(h);
        found.ref().handle = 0;
        cellOf(res).cdr = 0;
    }
    return kNoValue;
}

Value adjustBundle(Value, Value, Value) { return kNoValue; }

Value getBndlCreator()
{
    int16_t id = 128;
    Handle h = loadFound(findRef(resTypeFromText("BNDL"), &id, nullptr, false));
    if (!h || handleSize(h) < 4)
        return kNil;
    uint32_t address = lockHandle(h);
    std::string text(reinterpret_cast<const char*>(hostAddress(address)), 4);
    unlockHandle(h);
    return makeString(text);
}

std::string ResourceKind::print(Value pointer)
{
    char text[400];
    FoundRef found = findByHandle(pointerAddress(pointer));
    if (!found) {
        std::snprintf(text, sizeof text, "<%s disposed>", name());
        return text;
    }
    const ResourceRef& ref = found.ref();
    std::snprintf(text, sizeof text, "<%s %s %d \"%s\" %lx of size %d>", name(), resTypeText(found.type->type).c_str(),
        ref.id, ref.name.c_str(), static_cast<unsigned long>(ref.handle), std::max(handleSize(ref.handle), 0));
    return text;
}

class ResourceModule final : public Module {
public:
    ResourceModule() : Module("Resource") {}

    void preStart() override
    {
        if (gHomeRequested)
            openHomeResourceFile();
    }

    void start() override
    {
        Module::start();
        addHandleReloader(reloadPurged);
        for (ResFile* f : gChain)
            if (f->preloadPending)
                preload(*f);
        defineFunction2("openresfile", openresfile);
        defineFunction1("closeresfile", closeresfile);
        defineFunction0("reserror", reserror);
        defineFunction0("curresfile", curresfile);
        defineFunction1("homeresfile", homeresfile);
        defineFunction1("useresfile", useresfile);
        defineFunction1("setresload", setresload);
        defineFunction1("countresources", countresources);
        defineFunction2("getindresource", getindresource);
        defineFunction2("getresource", getresource);
        defineFunction4("getresource-into-file", getresourceIntoFile);
        defineFunction1("loadresource", loadresource);
        defineFunction1("releaseresource", releaseresource);
        defineFunction1("detachresource", detachresource);
        defineFunction1("uniqueid", uniqueid);
        defineFunction1("unique1id", uniqueid);
        defineFunction1("getresid", getresid);
        defineFunction1("getresname", getresname);
        defineFunction2("get-resource-name", getResourceName);
        defineFunction1("getresattrs", getresattrs);
        defineFunction1("sizeresource", sizeresource);
        defineFunction3("setresinfo", setresinfo);
        defineFunction2("setresattrs", setresattrs);
        defineFunction1("changedresource", changedresource);
        defineFunction4("addresource", addresource);
        defineFunction1("rmveresource", rmveresource);
        defineFunction1("updateresfile", updateresfile);
        defineFunction1("writeresource", writeresource);
        defineFunction1("getresfileattrs", getresfileattrs);
        defineFunction2("setresfileattrs", setresfileattrs);
        defineFunction0("count1types", count1types);
        defineFunction1("get1indtype", get1indtype);
        defineFunction1("count1resources", count1resources);
        defineFunction2("get1indresource", get1indresource);
        defineFunction2("get1resource", get1resource);
        defineFunction1("get-strings-count", getStringsCount);
        defineFunction2("get-ind-string", getIndString);
        defineFunction1("get-nb-string", getNbString);
        defineFunction1("openrf?", openrfPredicate);
        defineFunction1("resource-fork-exists?", resourceForkExists);
        defineFunction5("create-resource-file", createResourceFile);
        defineFunction1("set-symbols-table", setSymbolsTable);
        defineFunction3("adjust-bundle", adjustBundle);
        defineFunction0("get-bndl-creator", getBndlCreator);
    }

    void stop() override
    {
        while (!gChain.empty()) {
            ResFile* f = gChain.front();
            updateFile(*f);
            disposeFile(f);
        }
        gCurrent = 0;
        Module::stop();
    }
} theResourceModule;

} // namespace

// ---- The interface of other Modules ----

int16_t resError() { return gResError; }

[[noreturn]] void raiseResourceError(int16_t code, Value culprit)
{
    switch (code) {
    case -49:
    case -47:
        raiseError(38, culprit);
    case -48:
        raiseError(33, culprit);
    case -46:
    case -44:
    case -35:
        raiseError(45, culprit);
    case -43:
        raiseError(31, culprit);
    case -34:
    case -33:
        raiseError(46, culprit);
    default:
        raiseError(36, makeInteger(code));
    }
}

int openResourceFile(const std::string& lispPath, bool readOnly)
{
    for (ResFile* f : gChain)
        if (cp1252EqualIgnoringCase(f->path, lispPath)) {
            gResError = ResCode::NoError;
            return f->refNum;
        }
    std::string host;
    if (failed(filesHostPath(lispPath, host))) {
        gResError = ResCode::OpenError;
        return -1;
    }
    return openHostResourceFile(host, lispPath, readOnly);
}

void closeResourceFile(int refNum)
{
    gResError = ResCode::NoError;
    ResFile* f = fileOf(refNum);
    if (!f) {
        gResError = ResCode::NoFile;
        raiseResourceError(gResError, kNil);
    }
    // A failed write-back keeps the file open with its changes, so that nothing is lost silently;
    // a file opened read-only can never take them, so it closes and says so.
    gResError = updateFile(*f);
    if (gResError == ResCode::NoWritePermission)
        disposeFile(f);
    if (gResError)
        raiseResourceError(gResError, kNil);
    disposeFile(f);
}

void updateResourceFile(int refNum)
{
    gResError = ResCode::NoError;
    ResFile* f = fileOf(refNum);
    if (!f)
        gResError = ResCode::NoFile;
    else
        gResError = updateFile(*f);
    if (gResError)
        raiseResourceError(gResError, kNil);
}

void discardResourceFile(int refNum)
{
    if (ResFile* f = fileOf(refNum))
        disposeFile(f);
}

int currentResourceFile() { return gCurrent; }

void useResourceFile(int refNum)
{
    if (refNum == 0 || fileOf(refNum)) {
        gCurrent = refNum;
        gResError = ResCode::NoError;
    } else {
        gResError = ResCode::NoFile;
    }
}

Handle getResource(ResType type, int16_t id) { return loadFound(findRef(type, &id, nullptr, false)); }
Handle getResourceNamed(ResType type, const std::string& name) { return loadFound(findRef(type, nullptr, &name, false)); }
Handle get1Resource(ResType type, int16_t id) { return loadFound(findRef(type, &id, nullptr, true)); }

void releaseResource(Handle h)
{
    if (FoundRef found = findByHandle(h); found && !(found.ref().attributes & ResAttr::Changed)) {
        disposeHandle(h);
        found.ref().handle = 0;
    }
}

Value resourceValue(Handle h) { return makePointer(gResourceKind, h); }

void requestHomeResourceFile(const std::string& imageHostPath)
{
    gHomeRequested = true;
    gHomeRequest = imageHostPath;
}

bool homeResourceFileOpened() { return gHomeOpened; }
std::string homeResourceFileMissingPath() { return gHomeMissing; }
const std::vector<uint8_t>& startupPreferences() { return gPreferences; }

uint64_t executableOverlayStart(const uint8_t* head, size_t headLength, uint64_t fileSize,
                                bool (*read)(void* context, uint64_t offset, void* buffer, size_t count), void* context)
{
    auto le16 = [](const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; };
    auto le32 = [](const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; };
    auto le64 = [&](const uint8_t* p) { return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32; };
    if (headLength >= 64 && std::memcmp(head, "\x7F" "ELF", 4) == 0 && head[4] == 2 && head[5] == 1) {
        // 64-bit little-endian ELF: the end of the furthest header table, segment or section.
        uint64_t phoff = le64(head + 32), shoff = le64(head + 40);
        uint32_t phentsize = le16(head + 54), phnum = le16(head + 56);
        uint32_t shentsize = le16(head + 58), shnum = le16(head + 60);
        uint64_t end = 64;
        auto within = [&](uint64_t offset, uint64_t length) { return offset <= fileSize && length <= fileSize - offset; };
        if (!within(phoff, uint64_t(phentsize) * phnum) || !within(shoff, uint64_t(shentsize) * shnum)
            || (phnum && phentsize < 56) || (shnum && shentsize < 64))
            return 0;
        end = std::max({ end, phoff + uint64_t(phentsize) * phnum, shoff + uint64_t(shentsize) * shnum });
        uint8_t entry[64];
        for (uint32_t i = 0; i < phnum; ++i) {
            if (!read(context, phoff + uint64_t(i) * phentsize, entry, 56))
                return 0;
            uint64_t offset = le64(entry + 8), size = le64(entry + 32);
            if (!within(offset, size))
                return 0;
            end = std::max(end, offset + size);
        }
        for (uint32_t i = 0; i < shnum; ++i) {
            if (!read(context, shoff + uint64_t(i) * shentsize, entry, 64))
                return 0;
            if (le32(entry + 4) == 8) // no bits in the file
                continue;
            uint64_t offset = le64(entry + 24), size = le64(entry + 32);
            if (!within(offset, size))
                return 0;
            end = std::max(end, offset + size);
        }
        return end;
    }
    if (headLength >= 64 && head[0] == 'M' && head[1] == 'Z' && fileSize >= 64) {
        uint64_t pe = le32(head + 60);
        if (pe + 248 > fileSize)
            return 0;
        uint8_t peHead[24];
        if (!read(context, pe, peHead, sizeof peHead) || std::memcmp(peHead, "PE\0\0", 4) != 0)
            return 0;
        uint32_t sections = le16(peHead + 6);
        if (sections == 0)
            return 0;
        uint64_t table = pe + 24 + le16(peHead + 20);
        uint8_t last[40];
        if (!read(context, table + 40ull * (sections - 1), last, sizeof last))
            return 0;
        return uint64_t(le32(last + 20)) + le32(last + 16);
    }
    return 0;
}
