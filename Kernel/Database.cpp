// Kernel/Database.cpp: the Database Module: record databases, files of typed, numbered,
// optionally named records with a modification time each.
//
// Updates never overwrite bytes that the header on disk still points to: changed records and the
// new map go past the end of the committed map, they are synced, then the header's 16 bytes are
// written in one write and synced, then the file is cut after the new map. Full compaction writes
// a new file beside the old one and renames it over. A database interrupted at any point opens
// with every record that an earlier update committed.
#include "Interfac/VLoad.h"
#include "Kernel/Charsets.h"
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"
#include "Kernel/VArray.h"
#include "Kernel/VString.h"
#include "Platform/Files/Files.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr uint32_t kHeaderSize = 256;
constexpr uint32_t kEmptyMapLength = 38;
constexpr uint32_t kTypeListOffset = 34;

namespace DbCode {
enum : int32_t {
    Inconsistent = 1,
    NoMemory = 2,
    NotARecord = 5,
    Exists = 6,
    AlreadyARecord = 7,
    ReadOnly = 9,
    MapMismatch = 10,
    ShortRecordRead = 12,
    ShortRead = 13,
    Missing = 14,
    SetLength = 15,
};
}
namespace RecAttr {
enum : uint8_t { Changed = 0x02, Purgeable = 0x20, WindowsText = 0x40 };
}
namespace DbFlag {
enum : uint16_t { CharsetChecked = 0x08, CharsetMarked = 0x10, MapChanged = 0x20, NeedsCompaction = 0x40, ReadOnly = 0x80 };
}

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
void put32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

uint32_t clockSeconds()
{
    auto now = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::seconds>(now).count() + 2082826800ll);
}

struct Record {
    int32_t id = 0;
    bool hasName = false;
    std::string name;
    uint8_t attributes = 0;
    int32_t dataOffset = -1; // in the data area; -1 when the record has no data in the file
    int32_t size = -1;       // stored size, -1 likewise
    uint32_t time = 0;
    Handle handle = 0;       // the loaded content, 0 when none
};

struct RecordType {
    uint32_t type = 0;
    std::vector<std::unique_ptr<Record>> records; // each at a stable address, for the handle index
    // The first record of each id, built when a lookup needs it; cleared when ids or the list change.
    std::unordered_map<int32_t, Record*> byId;
    bool byIdValid = false;
    void idsChanged()
    {
        byId.clear();
        byIdValid = false;
    }
};

struct Database {
    std::string path;     // Lisp path
    std::string hostPath;
    bool writable = false;
    HostFile file;
    uint8_t header[kHeaderSize] = {};
    uint32_t dataLength = 0;
    uint32_t mapOffset = kHeaderSize;
    uint32_t mapLength = kEmptyMapLength;
    uint16_t flags = 0;
    std::vector<RecordType> types;
    uint64_t appendAt = 0;
    uint32_t index = 0; // in the table of databases, what a database Value holds
};

std::vector<Database*> gDatabases; // newest first
std::vector<Database*> gTable(1, nullptr); // index 0 is no database
Value gCompactSymbol = kNil;
uint32_t gUniqueType = 0;
int32_t gUniqueNext = 0;

class DatabaseKind final : public PointerKind {
public:
    DatabaseKind() : PointerKind("database") {}
} gDatabaseKind;

class RecordKind final : public PointerKind {
public:
    RecordKind() : PointerKind("record") {}
    bool holdsHandle() override { return true; }
    std::string print(Value pointer) override;
} gRecordKind;

uint32_t typeCode(Value type)
{
    if (!isString(type))
        raiseWrongType(type);
    uint8_t bytes[4] = { ' ', ' ', ' ', ' ' };
    for (uint32_t i = 0; i < 4 && i < stringLength(type); ++i)
        bytes[i] = static_cast<uint8_t>(stringChars(type)[i]);
    return be32(bytes);
}

std::string typeText(uint32_t type)
{
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>(type >> (24 - 8 * i));
        text[i] = c ? c : ' ';
    }
    return text;
}

// Text records written on the classic system hold the Mac character set until marked.
bool isTextType(uint32_t type)
{
    std::string text = typeText(type);
    return text == "Prm " || text == "Txt " || text == "TEXT" || text == "Text";
}

void macToWindowsInPlace(uint8_t* bytes, size_t count) { convertBytes(bytes, count, charsets::kMacToWindows); }

// ---- The file format ----

// Checks the 256 header bytes; fileSize 0 when unknown. Bytes past the map (an interrupted update
// leaves them) are allowed.
bool validHeader(const uint8_t* h, uint64_t fileSize)
{
    int32_t dataOffset = static_cast<int32_t>(be32(h)), mapOffset = static_cast<int32_t>(be32(h + 4));
    int32_t dataLength = static_cast<int32_t>(be32(h + 8)), mapLength = static_cast<int32_t>(be32(h + 12));
    return dataOffset == 256 && mapOffset >= 256 && dataLength >= 0 && mapLength >= static_cast<int32_t>(kEmptyMapLength)
        && int64_t(dataOffset) + dataLength == mapOffset && (fileSize == 0 || uint64_t(mapOffset) + uint64_t(mapLength) <= fileSize)
        && h[128] == 2;
}

// Records with data in offset order, each starting at or after the end of the ones before.
bool noOverlap(const Database& db)
{
    std::vector<const Record*> withData;
    for (const RecordType& t : db.types)
        for (const auto& r : t.records)
            if (r->dataOffset >= 0)
                withData.push_back(r.get());
    std::sort(withData.begin(), withData.end(), [](const Record* a, const Record* b) {
        return a->dataOffset != b->dataOffset ? a->dataOffset < b->dataOffset : a->size < b->size;
    });
    int64_t end = 0;
    for (const Record* r : withData) {
        if (r->dataOffset < end)
            return false;
        end = int64_t(r->dataOffset) + r->size;
    }
    return true;
}

// Parses the map; false when any count, offset or length does not fit the map or the data area.
bool parseMap(Database& db, const uint8_t* m, uint32_t length)
{
    if (length < kEmptyMapLength || std::memcmp(m, db.header, 16) != 0 || be32(m + 26) != kTypeListOffset)
        return false;
    uint32_t nameList = be32(m + 30);
    int64_t typeCount = int64_t(static_cast<int32_t>(be32(m + 34))) + 1;
    if (nameList > length || typeCount < 0 || 38 + 12 * typeCount > length)
        return false;
    db.flags = static_cast<uint16_t>(m[24] << 8 | m[25]);
    db.types.clear();
    for (int64_t t = 0; t < typeCount; ++t) {
        const uint8_t* e = m + 38 + 12 * t;
        RecordType type;
        type.type = be32(e);
        int64_t count = int64_t(static_cast<int32_t>(be32(e + 4))) + 1;
        uint64_t list = kTypeListOffset + uint64_t(be32(e + 8));
        if (count < 0 || list < 38 + 12 * uint64_t(typeCount) || list + 26 * uint64_t(count) > length)
            return false;
        for (int64_t r = 0; r < count; ++r) {
            const uint8_t* p = m + list + 26 * r;
            Record rec;
            rec.id = static_cast<int32_t>(be32(p));
            int32_t nameOffset = static_cast<int32_t>(be32(p + 4));
            rec.attributes = p[8];
            rec.dataOffset = static_cast<int32_t>(be32(p + 10));
            rec.size = static_cast<int32_t>(be32(p + 14));
            rec.time = be32(p + 18);
            if (nameOffset != -1) {
                uint64_t at = uint64_t(nameList) + static_cast<uint32_t>(nameOffset);
                if (nameOffset < 0 || at >= length || at + 1 + m[at] > length)
                    return false;
                rec.hasName = true;
                rec.name.assign(reinterpret_cast<const char*>(m + at + 1), m[at]);
            }
            if (rec.dataOffset != -1 || rec.size != -1) {
                if (rec.dataOffset < 0 || rec.size < 0 || int64_t(rec.dataOffset) + rec.size > db.dataLength)
                    return false;
            }
            rec.attributes &= static_cast<uint8_t>(~RecAttr::Changed);
            type.records.push_back(std::make_unique<Record>(std::move(rec)));
        }
        db.types.push_back(std::move(type));
    }
    return noOverlap(db);
}

// The map's bytes for a header whose first 16 bytes are set from the arguments.
std::vector<uint8_t> encodeMap(const Database& db, uint32_t mapOffset, uint32_t dataLength, uint8_t head[16])
{
    uint64_t typeCount = 0, recordCount = 0, namesLength = 0;
    for (const RecordType& t : db.types) {
        if (t.records.empty())
            continue;
        ++typeCount;
        for (const auto& rp : t.records) {
            const Record& r = *rp;
            ++recordCount;
            if (r.hasName)
                namesLength += 1 + std::min<size_t>(r.name.size(), 255);
        }
    }
    uint64_t nameList = 38 + 12 * typeCount + 26 * recordCount;
    uint64_t length = nameList + namesLength;
    if (length > 0x7FFFFFFF)
        raiseError(ErrorCode::MemoryExhausted, kNil);
    std::vector<uint8_t> m(length, 0);
    put32(head, kHeaderSize);
    put32(head + 4, mapOffset);
    put32(head + 8, dataLength);
    put32(head + 12, static_cast<uint32_t>(length));
    std::memcpy(m.data(), head, 16);
    uint16_t flags = db.flags & static_cast<uint16_t>(~(DbFlag::MapChanged | DbFlag::NeedsCompaction | DbFlag::ReadOnly));
    m[24] = uint8_t(flags >> 8);
    m[25] = uint8_t(flags);
    put32(m.data() + 26, kTypeListOffset);
    put32(m.data() + 30, static_cast<uint32_t>(nameList));
    put32(m.data() + 34, static_cast<uint32_t>(typeCount - 1));
    uint64_t typeAt = 38, recordAt = 38 + 12 * typeCount, nameAt = 0;
    for (const RecordType& t : db.types) {
        if (t.records.empty())
            continue;
        put32(m.data() + typeAt, t.type);
        put32(m.data() + typeAt + 4, static_cast<uint32_t>(t.records.size() - 1));
        put32(m.data() + typeAt + 8, static_cast<uint32_t>(recordAt - kTypeListOffset));
        typeAt += 12;
        for (const auto& rp : t.records) {
            const Record& r = *rp;
            uint8_t* p = m.data() + recordAt;
            put32(p, static_cast<uint32_t>(r.id));
            if (r.hasName) {
                size_t n = std::min<size_t>(r.name.size(), 255);
                put32(p + 4, static_cast<uint32_t>(nameAt));
                m[nameList + nameAt] = static_cast<uint8_t>(n);
                std::memcpy(m.data() + nameList + nameAt + 1, r.name.data(), n);
                nameAt += 1 + n;
            } else {
                put32(p + 4, 0xFFFFFFFFu);
            }
            p[8] = r.attributes & static_cast<uint8_t>(~RecAttr::Changed);
            put32(p + 10, static_cast<uint32_t>(r.dataOffset));
            put32(p + 14, static_cast<uint32_t>(r.size));
            put32(p + 18, r.time);
            recordAt += 26;
        }
    }
    return m;
}

void freshHeader(uint8_t h[kHeaderSize], uint32_t creator, uint32_t type)
{
    std::memset(h, 0, kHeaderSize);
    put32(h, kHeaderSize);
    put32(h + 4, kHeaderSize);
    put32(h + 12, kEmptyMapLength);
    put32(h + 16, creator);
    put32(h + 20, type);
    h[128] = 2;
    for (int i = 0; i < 15; ++i)
        put32(h + 136 + 8 * i, 0xFFFFFFFFu);
}

// The 294 bytes of an empty database.
std::vector<uint8_t> emptyDatabase(uint32_t creator, uint32_t type)
{
    std::vector<uint8_t> bytes(kHeaderSize + kEmptyMapLength, 0);
    freshHeader(bytes.data(), creator, type);
    uint8_t* m = bytes.data() + kHeaderSize;
    std::memcpy(m, bytes.data(), 16);
    m[25] = DbFlag::CharsetChecked | DbFlag::CharsetMarked;
    put32(m + 26, kTypeListOffset);
    put32(m + 30, kEmptyMapLength);
    put32(m + 34, 0xFFFFFFFFu);
    return bytes;
}

// ---- Lisp values ----

Database* toDatabase(Value v)
{
    if (!isPointer(v) || pointerKindIndex(v) != gDatabaseKind.index())
        raiseWrongType(v);
    uint32_t i = pointerAddress(v);
    if (i >= gTable.size() || !gTable[i])
        raiseWrongType(v);
    return gTable[i];
}

Value databaseValue(Database* db) { return makePointer(gDatabaseKind, db->index); }

struct FoundRecord {
    Database* db = nullptr;
    Record* rec = nullptr;
    Record& record() const { return *rec; }
    explicit operator bool() const { return db != nullptr; }
};

// Which record holds a handle. Every handle given to a record goes through giveHandle, every
// record that goes away through forgetHandle.
struct IndexEntry {
    Database* db;
    Record* record;
};
std::unordered_map<Handle, IndexEntry> gHandleIndex;

void giveHandle(Database* db, Record& r, Handle h)
{
    if (r.handle)
        gHandleIndex.erase(r.handle);
    r.handle = h;
    if (h)
        gHandleIndex[h] = { db, &r };
}

void forgetHandle(Record& r)
{
    if (r.handle)
        gHandleIndex.erase(r.handle);
}

FoundRecord findByHandle(Handle h)
{
    auto it = h ? gHandleIndex.find(h) : gHandleIndex.end();
    if (it == gHandleIndex.end())
        return {};
    return { it->second.db, it->second.record };
}

RecordType* typeOf(Database* db, const Record* r)
{
    for (RecordType& t : db->types)
        for (const auto& rp : t.records)
            if (rp.get() == r)
                return &t;
    return nullptr;
}

FoundRecord toRecord(Value v)
{
    FoundRecord found = isPointer(v) ? findByHandle(pointerAddress(v)) : FoundRecord {};
    if (!found)
        raiseDatabaseError(DbCode::NotARecord, v);
    return found;
}

void checkWritable(Database* db, Value culprit)
{
    if (!db->writable)
        raiseDatabaseError(DbCode::ReadOnly, culprit);
}

RecordType* findType(Database* db, uint32_t type)
{
    for (RecordType& t : db->types)
        if (t.type == type)
            return &t;
    return nullptr;
}

bool readBytes(Database* db, uint64_t offset, void* buffer, size_t count)
{
    size_t done = 0;
    return !failed(db->file.read(offset, buffer, count, done)) && done == count;
}

// Gives a record a handle holding its content (unless noLoad).
Handle loadRecord(Database* db, Record& r, bool noLoad)
{
    if (!r.handle) {
        Handle h = newHandle(0);
        if (!h)
            raiseDatabaseError(DbCode::NoMemory, kNil);
        giveHandle(db, r, h);
    }
    if (noLoad || handleSize(r.handle) > 0 || r.dataOffset < 0 || r.size <= 0)
        return r.handle;
    if (!setHandleSize(r.handle, static_cast<uint32_t>(r.size)))
        raiseDatabaseError(DbCode::NoMemory, kNil);
    if (!readBytes(db, kHeaderSize + uint64_t(r.dataOffset), hostAddress(handleAddress(r.handle)), static_cast<size_t>(r.size))) {
        setHandleSize(r.handle, 0);
        raiseDatabaseError(DbCode::ShortRecordRead, kNil);
    }
    if (!(r.attributes & RecAttr::WindowsText))
        if (RecordType* t = typeOf(db, &r); t && isTextType(t->type))
            macToWindowsInPlace(hostAddress(handleAddress(r.handle)), static_cast<size_t>(r.size));
    setHandlePurgeable(r.handle, (r.attributes & RecAttr::Purgeable) && !(r.attributes & RecAttr::Changed));
    return r.handle;
}

bool reloadPurged(Handle h)
{
    FoundRecord found = findByHandle(h);
    if (!found)
        return false;
    Record& r = found.record();
    if (r.dataOffset < 0 || r.size <= 0 || !setHandleSize(h, static_cast<uint32_t>(r.size)))
        return false;
    if (!readBytes(found.db, kHeaderSize + uint64_t(r.dataOffset), hostAddress(handleAddress(h)), static_cast<size_t>(r.size))) {
        setHandleSize(h, 0);
        return false;
    }
    if (!(r.attributes & RecAttr::WindowsText))
        if (RecordType* t = typeOf(found.db, &r); t && isTextType(t->type))
            macToWindowsInPlace(hostAddress(handleAddress(h)), static_cast<size_t>(r.size));
    setHandlePurgeable(h, (r.attributes & RecAttr::Purgeable) != 0);
    return true;
}

Value recordValue(Handle h) { return makePointer(gRecordKind, h); }


int32_t contentSize(const Record& r)
{
    if (r.handle && handleSize(r.handle) > 0)
        return handleSize(r.handle);
    if (r.attributes & RecAttr::Changed)
        return r.handle ? std::max(handleSize(r.handle), 0) : 0;
    return std::max(r.size, 0);
}

// ---- Update and compaction ----

[[noreturn]] void writeFailed(Database* db, FileError e)
{
    raiseFileFailure(e == FileError::FileTooLarge ? FileError::DiskFull : e, makeString(db->path));
}

// Writes the header's first 16 bytes and the map past the end, then commits them.
void commitMap(Database* db, uint64_t at, std::vector<std::pair<Record*, int32_t>>& moved)
{
    uint8_t head[16];
    std::vector<Record> saved;
    // The map as it will be: moved records at their new places.
    std::vector<std::pair<int32_t, int32_t>> old;
    for (auto& [r, offset] : moved) {
        old.push_back({ r->dataOffset, r->size });
        r->dataOffset = offset;
        r->size = contentSize(*r);
    }
    auto undo = [&] {
        for (size_t i = 0; i < moved.size(); ++i) {
            moved[i].first->dataOffset = old[i].first;
            moved[i].first->size = old[i].second;
        }
    };
    if (at > 0x7FFFFFFF) {
        undo();
        raiseFileFailure(FileError::DiskFull, makeString(db->path));
    }
    std::vector<uint8_t> map = encodeMap(*db, static_cast<uint32_t>(at), static_cast<uint32_t>(at - kHeaderSize), head);
    FileError e = db->file.write(at, map.data(), map.size());
    if (!failed(e))
        e = db->file.sync();
    if (!failed(e))
        e = db->file.write(0, head, sizeof head);
    if (!failed(e))
        e = db->file.sync();
    if (failed(e)) {
        undo();
        writeFailed(db, e);
    }
    std::memcpy(db->header, head, 16);
    db->mapOffset = static_cast<uint32_t>(at);
    db->dataLength = static_cast<uint32_t>(at - kHeaderSize);
    db->mapLength = static_cast<uint32_t>(map.size());
    db->appendAt = at + map.size();
    db->file.setSize(db->appendAt);
    for (auto& [r, offset] : moved) {
        r->attributes &= static_cast<uint8_t>(~RecAttr::Changed);
        if (r->handle)
            setHandlePurgeable(r->handle, (r->attributes & RecAttr::Purgeable) != 0);
    }
    db->flags &= static_cast<uint16_t>(~(DbFlag::MapChanged | DbFlag::NeedsCompaction));
    std::erase_if(db->types, [](const RecordType& t) { return t.records.empty(); });
}

bool changedWithContent(const Record& r) { return (r.attributes & RecAttr::Changed) && r.handle && handleSize(r.handle) >= 0; }

void compactDatabase(Database* db);

void updateDatabase(Database* db)
{
    if (!db->writable || !(db->flags & DbFlag::MapChanged))
        return;
    if (!noOverlap(*db))
        raiseDatabaseError(DbCode::Inconsistent, makeString(db->path));
    int64_t used = 0;
    for (const RecordType& t : db->types)
        for (const auto& r : t.records)
            if (r->dataOffset >= 0)
                used += r->size;
    if (used < int64_t(db->dataLength) * 7 / 10 && isFlagSet(globalValue(gCompactSymbol))) {
        compactDatabase(db);
        return;
    }
    uint64_t at = std::max<uint64_t>(db->appendAt, uint64_t(db->mapOffset) + db->mapLength);
    std::vector<std::pair<Record*, int32_t>> moved;
    for (RecordType& t : db->types)
        for (auto& rp : t.records) {
            Record& r = *rp;
            if (!changedWithContent(r))
                continue;
            int32_t size = handleSize(r.handle);
            if (at - kHeaderSize + uint64_t(size) > 0x7FFFFFFF)
                raiseFileFailure(FileError::DiskFull, makeString(db->path));
            if (size > 0) {
                if (FileError e = db->file.write(at, hostAddress(handleAddress(r.handle)), static_cast<size_t>(size)); failed(e))
                    writeFailed(db, e);
            }
            moved.push_back({ &r, static_cast<int32_t>(at - kHeaderSize) });
            at += static_cast<uint64_t>(size);
        }
    commitMap(db, at, moved);
}

// Writes every record in order into a new file beside the old one and renames it over.
void compactDatabase(Database* db)
{
    checkWritable(db, databaseValue(db));
    if (!noOverlap(*db))
        raiseDatabaseError(DbCode::Inconsistent, makeString(db->path));
    std::string temporary = db->hostPath + ".compacting";
    HostFile out;
    if (FileError e = out.open(temporary, FileAccess::ReadWrite, FileCreate::Truncate); failed(e))
        writeFailed(db, e);
    struct Placed {
        Record* record;
        int32_t offset;
        int32_t size;
    };
    std::vector<Placed> placed;
    uint64_t at = kHeaderSize;
    std::vector<uint8_t> buffer;
    auto fail = [&](FileError e) {
        out.close();
        filesRemove(temporary);
        writeFailed(db, e);
    };
    for (RecordType& t : db->types)
        for (auto& rp : t.records) {
            Record& r = *rp;
            int32_t size = 0;
            if (changedWithContent(r) || (r.dataOffset < 0 && r.handle)) {
                size = std::max(handleSize(r.handle), 0);
                if (size > 0)
                    if (FileError e = out.write(at, hostAddress(handleAddress(r.handle)), static_cast<size_t>(size)); failed(e))
                        fail(e);
            } else if (r.dataOffset >= 0) {
                size = r.size;
                try {
                    buffer.resize(static_cast<size_t>(size));
                } catch (const std::bad_alloc&) {
                    out.close();
                    filesRemove(temporary);
                    raiseDatabaseError(DbCode::NoMemory, kNil);
                }
                if (size > 0 && !readBytes(db, kHeaderSize + uint64_t(r.dataOffset), buffer.data(), buffer.size())) {
                    out.close();
                    filesRemove(temporary);
                    raiseDatabaseError(DbCode::ShortRecordRead, kNil);
                }
                if (size > 0)
                    if (FileError e = out.write(at, buffer.data(), buffer.size()); failed(e))
                        fail(e);
            } else {
                continue; // no data anywhere
            }
            placed.push_back({ &r, static_cast<int32_t>(at - kHeaderSize), size });
            at += static_cast<uint64_t>(size);
        }
    std::vector<std::pair<int32_t, int32_t>> old;
    for (Placed& p : placed) {
        old.push_back({ p.record->dataOffset, p.record->size });
        p.record->dataOffset = p.offset;
        p.record->size = p.size;
    }
    auto undo = [&] {
        for (size_t i = 0; i < placed.size(); ++i) {
            placed[i].record->dataOffset = old[i].first;
            placed[i].record->size = old[i].second;
        }
    };
    uint8_t header[kHeaderSize];
    std::memcpy(header, db->header, kHeaderSize);
    std::vector<uint8_t> map = encodeMap(*db, static_cast<uint32_t>(at), static_cast<uint32_t>(at - kHeaderSize), header);
    FileError e = out.write(at, map.data(), map.size());
    if (!failed(e))
        e = out.write(0, header, kHeaderSize);
    if (!failed(e))
        e = out.sync();
    if (!failed(e))
        e = out.close();
    if (!failed(e))
        e = filesReplace(temporary, db->hostPath);
    if (failed(e)) {
        undo();
        out.close();
        filesRemove(temporary);
        writeFailed(db, e);
    }
    // The database now lives in the new file: reopen it and take its lock.
    db->file.close();
    db->file.open(db->hostPath, FileAccess::ReadWrite, FileCreate::Existing);
    db->file.tryLock();
    std::memcpy(db->header, header, kHeaderSize);
    db->mapOffset = static_cast<uint32_t>(at);
    db->dataLength = static_cast<uint32_t>(at - kHeaderSize);
    db->mapLength = static_cast<uint32_t>(map.size());
    db->appendAt = at + map.size();
    for (Placed& p : placed) {
        p.record->attributes &= static_cast<uint8_t>(~RecAttr::Changed);
        if (p.record->handle)
            setHandlePurgeable(p.record->handle, (p.record->attributes & RecAttr::Purgeable) != 0);
    }
    db->flags &= static_cast<uint16_t>(~(DbFlag::MapChanged | DbFlag::NeedsCompaction));
    std::erase_if(db->types, [](const RecordType& t) { return t.records.empty(); });
}

void closeDatabase(Database* db)
{
    std::erase(gDatabases, db);
    for (RecordType& t : db->types)
        for (auto& r : t.records)
            if (r->handle) {
                forgetHandle(*r);
                disposeHandle(r->handle);
            }
    gTable[db->index] = nullptr;
    delete db;
}

// ---- Opening and creating ----

std::string hostPathOf(Value path)
{
    std::string host;
    if (FileError e = filesHostPath(pathArgumentText(path), host); failed(e))
        raiseFileFailure(e, path);
    return host;
}

Value keywordArgument(Value* rest, const char* name)
{
    for (Value* p = rest; *p != kEnd && p[1] != kEnd; p += 2)
        if (isSymbol(*p) && symbolNameView(*p) == name)
            return p[1];
    return kNil;
}

Database* openDatabase(Value path, bool writable)
{
    std::string text = pathArgumentText(path);
    auto db = std::make_unique<Database>();
    db->path = text;
    db->hostPath = hostPathOf(path);
    if (writable) {
        if (FileError e = db->file.open(db->hostPath, FileAccess::ReadWrite, FileCreate::Existing); failed(e))
            raiseFileFailure(e, path);
        if (failed(db->file.tryLock()))
            raiseError(38, path); // file busy: another writer has it
    } else if (FileError e = db->file.open(db->hostPath, FileAccess::Read, FileCreate::Existing); failed(e)) {
        raiseFileFailure(e, path);
    }
    db->writable = writable;
    uint64_t size = 0;
    db->file.size(size);
    if (!readBytes(db.get(), 0, db->header, kHeaderSize))
        raiseDatabaseError(DbCode::ShortRead, kNil);
    if (!validHeader(db->header, size))
        raiseDatabaseError(DbCode::Inconsistent, path);
    db->mapOffset = be32(db->header + 4);
    db->dataLength = be32(db->header + 8);
    db->mapLength = be32(db->header + 12);
    std::vector<uint8_t> map;
    try {
        map.resize(db->mapLength);
    } catch (const std::bad_alloc&) {
        raiseDatabaseError(DbCode::NoMemory, kNil);
    }
    if (!readBytes(db.get(), db->mapOffset, map.data(), map.size()))
        raiseDatabaseError(DbCode::ShortRead, makeString("Bad read"));
    if (!parseMap(*db, map.data(), db->mapLength))
        raiseDatabaseError(DbCode::Inconsistent, path);
    db->flags &= static_cast<uint16_t>(~(DbFlag::MapChanged | DbFlag::NeedsCompaction | DbFlag::ReadOnly));
    if (!writable)
        db->flags |= DbFlag::ReadOnly;
    if (!(db->flags & DbFlag::CharsetMarked)) {
        db->flags |= DbFlag::CharsetMarked;
    } else if (!(db->flags & DbFlag::CharsetChecked)) {
        for (RecordType& t : db->types)
            for (auto& r : t.records)
                macToWindowsInPlace(reinterpret_cast<uint8_t*>(r->name.data()), r->name.size());
        db->flags |= DbFlag::CharsetChecked;
    }
    db->appendAt = uint64_t(db->mapOffset) + db->mapLength;
    db->index = static_cast<uint32_t>(gTable.size());
    Database* result = db.release();
    gTable.push_back(result);
    gDatabases.insert(gDatabases.begin(), result);
    return result;
}

// ---- Primitives ----

Value createDatabase(Value path, Value* rest)
{
    Value creator = keywordArgument(rest, ":creator"), type = keywordArgument(rest, ":type");
    uint32_t c = creator == kNil ? typeCode(makeString("LISP")) : typeCode(creator);
    uint32_t t = type == kNil ? typeCode(makeString("TEXT")) : typeCode(type);
    std::vector<uint8_t> bytes = emptyDatabase(c, t);
    HostFile file;
    std::string host, lisp;
    if (path == kNil) {
        if (FileError e = filesCreateTemporary(filesTemporaryFolder(), "velora", ".tmp", file, host); failed(e))
            raiseFileFailure(e, kNil);
        if (!filesLispPath(host, lisp))
            lisp = host;
    } else {
        host = hostPathOf(path);
        FileError e = file.open(host, FileAccess::ReadWrite, FileCreate::Exclusive);
        if (e == FileError::Exists)
            raiseDatabaseError(DbCode::Exists, path);
        if (failed(e))
            raiseFileFailure(e, path);
    }
    if (FileError e = file.write(0, bytes.data(), bytes.size()); failed(e) || failed(file.sync())) {
        file.close();
        filesRemove(host);
        raiseFileFailure(failed(e) ? e : FileError::Io, path);
    }
    file.close();
    return path == kNil ? makeString(lisp) : path;
}

Value createDatabaseIn(Value path, Value* rest)
{
    Value creator = keywordArgument(rest, ":creator"), type = keywordArgument(rest, ":type");
    std::vector<uint8_t> bytes = emptyDatabase(creator == kNil ? typeCode(makeString("LISP")) : typeCode(creator),
                                               type == kNil ? typeCode(makeString("TEXT")) : typeCode(type));
    HostFile file;
    FileError e = file.open(hostPathOf(path), FileAccess::ReadWrite, FileCreate::Existing);
    if (e == FileError::NotFound)
        raiseDatabaseError(DbCode::Missing, path);
    if (failed(e))
        raiseFileFailure(e, path);
    if (FileError w = file.write(0, bytes.data(), bytes.size()); failed(w))
        raiseFileFailure(w, path);
    file.sync();
    return kNoValue;
}

Value databaseP(Value path)
{
    std::string host;
    if (!isString(path) && !isPair(path))
        return kNil;
    if (failed(filesHostPath(pathArgumentText(path), host)))
        return kNil;
    HostFile file;
    uint8_t header[kHeaderSize];
    size_t done = 0;
    if (failed(file.open(host, FileAccess::Read, FileCreate::Existing)) || failed(file.read(0, header, kHeaderSize, done))
        || done != kHeaderSize)
        return kNil;
    return boolValue(validHeader(header, 0));
}

Value openDatabasePrimitive(Value path, Value* rest)
{
    Value mode = keywordArgument(rest, ":mode");
    bool writable = false;
    if (isSymbol(mode)) {
        std::string_view name = symbolNameView(mode);
        if (name == "output" || name == "input-output")
            writable = true;
        else if (name != "input")
            raiseWrongType(mode);
    } else if (mode != kNil) {
        raiseWrongType(mode);
    }
    return databaseValue(openDatabase(path, writable));
}

Value closeDatabasePrimitive(Value v, Value noUpdate)
{
    Database* db = toDatabase(v);
    if (!isFlagSet(noUpdate))
        updateDatabase(db);
    closeDatabase(db);
    return kNoValue;
}

Value findOpenedDatabase(Value path)
{
    std::string text = pathArgumentText(path);
    for (Database* db : gDatabases)
        if (cp1252EqualIgnoringCase(db->path, text))
            return databaseValue(db);
    return kNil;
}

Value compactDatabasePrimitive(Value v)
{
    compactDatabase(toDatabase(v));
    return kNoValue;
}

Value databaseReadOnlyP(Value v) { return boolValue(!toDatabase(v)->writable); }

Value updateDatabasePrimitive(Value v)
{
    updateDatabase(toDatabase(v));
    return kNoValue;
}

Value homeDatabase(Value record) { return databaseValue(toRecord(record).db); }

Value countRecords(Value type, Value v)
{
    RecordType* t = findType(toDatabase(v), typeCode(type));
    return makeInteger(t ? static_cast<int64_t>(t->records.size()) : 0);
}

std::vector<RecordType*> nonEmpty(Database* db)
{
    std::vector<RecordType*> types;
    for (RecordType& t : db->types)
        if (!t.records.empty())
            types.push_back(&t);
    return types;
}

Value countRecordTypes(Value v) { return makeInteger(static_cast<int64_t>(nonEmpty(toDatabase(v)).size())); }

Value getIndexedType(Value index, Value v)
{
    int32_t i = toInt32(index);
    std::vector<RecordType*> types = nonEmpty(toDatabase(v));
    return makeString(i >= 0 && static_cast<size_t>(i) < types.size() ? typeText(types[i]->type) : std::string("    "));
}

Value getIndexedRecord(Value type, Value index, Value v, Value noLoad)
{
    Database* db = toDatabase(v);
    int32_t i = toInt32(index);
    if (i < 0)
        return kNil;
    RecordType* t = findType(db, typeCode(type));
    if (!t || static_cast<size_t>(i) >= t->records.size())
        raiseDatabaseError(DbCode::NotARecord, index);
    return recordValue(loadRecord(db, *t->records[i], isFlagSet(noLoad)));
}

Record* findRecord(Database* db, Value type, Value idOrName)
{
    RecordType* t = findType(db, typeCode(type));
    if (!t)
        return nullptr;
    if (isString(idOrName)) {
        std::string_view name(stringChars(idOrName), stringLength(idOrName));
        for (auto& r : t->records)
            if (r->hasName && equalTextsNoCase(r->name, name, false))
                return r.get();
        return nullptr;
    }
    int32_t id = toInt32(idOrName);
    if (!t->byIdValid) {
        for (auto& r : t->records)
            t->byId.emplace(r->id, r.get());
        t->byIdValid = true;
    }
    auto it = t->byId.find(id);
    return it == t->byId.end() ? nullptr : it->second;
}

Value getRecord(Value type, Value idOrName, Value v, Value noLoad)
{
    Database* db = toDatabase(v);
    Record* r = findRecord(db, type, idOrName);
    return r ? recordValue(loadRecord(db, *r, isFlagSet(noLoad))) : kNil;
}

Value getRecordIntoFile(Value type, Value id, Value v, Value path, Value progress)
{
    Database* db = toDatabase(v);
    // Found first: a missing record leaves the destination alone.
    Record* r = findRecord(db, type, id);
    if (!r || r->dataOffset < 0)
        return kNil;
    bool convert = !(r->attributes & RecAttr::WindowsText) && isTextType(typeCode(type));
    HostFile out;
    if (FileError e = out.open(hostPathOf(path), FileAccess::ReadWrite, FileCreate::Truncate); failed(e))
        raiseFileFailure(e, path);
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int32_t>(std::max(r->size, 1), 0x80000)));
    int32_t size = r->size, offset = r->dataOffset;
    for (int32_t done = 0; done < size;) {
        size_t chunk = std::min<size_t>(static_cast<size_t>(size - done), buffer.size());
        if (!readBytes(db, kHeaderSize + uint64_t(offset) + static_cast<uint64_t>(done), buffer.data(), chunk))
            raiseError(36, makeInteger(-1));
        if (convert)
            macToWindowsInPlace(buffer.data(), chunk);
        if (FileError e = out.write(static_cast<uint64_t>(done), buffer.data(), chunk); failed(e))
            raiseFileFailure(e, path);
        done += static_cast<int32_t>(chunk);
        if (progress != kNil && progress != kNoValue)
            funcall(progress, makeInteger(static_cast<int64_t>(chunk)));
    }
    return kTrue;
}

Value loadRecordPrimitive(Value record)
{
    FoundRecord f = toRecord(record);
    loadRecord(f.db, f.record(), false);
    return kNoValue;
}

Value writeRecord(Value record)
{
    FoundRecord f = toRecord(record);
    if (f.record().attributes & RecAttr::Changed) {
        checkWritable(f.db, record);
        f.db->flags |= DbFlag::MapChanged;
        updateDatabase(f.db);
    }
    return kNoValue;
}

Value releaseRecord(Value record)
{
    FoundRecord f = toRecord(record);
    Record& r = f.record();
    // A change not yet written is kept: releasing it would lose it.
    if (!(r.attributes & RecAttr::Changed) && r.handle)
        setHandleSize(r.handle, 0);
    return kNoValue;
}

Value detachRecord(Value record)
{
    FoundRecord f = toRecord(record);
    giveHandle(f.db, f.record(), 0);
    cellOf(record).car = (Tag::PointerHeader << 24) | gHandleKind.index();
    return kNoValue;
}

Value uniqueRecordId(Value type, Value* rest)
{
    uint32_t t = typeCode(type);
    std::vector<Database*> dbs;
    for (Value* p = rest; *p != kEnd; ++p)
        dbs.push_back(toDatabase(*p));
    if (t != gUniqueType) {
        gUniqueType = t;
        gUniqueNext = 0;
    }
    auto taken = [&](int32_t id) {
        for (Database* db : dbs)
            if (RecordType* rt = findType(db, t))
                for (const auto& r : rt->records)
                    if (r->id == id)
                        return true;
        return false;
    };
    int32_t candidate = gUniqueNext;
    while (taken(candidate))
        ++candidate;
    gUniqueNext = candidate + 1;
    return makeInteger(candidate);
}

Value getRecordId(Value record) { return makeInteger(toRecord(record).record().id); }
Value getRecordName(Value record) { return makeString(toRecord(record).record().name); }
Value getRecordSize(Value record) { return makeInteger(contentSize(toRecord(record).record())); }
Value getRecordTime(Value record) { return makeInteger(toRecord(record).record().time); }
Value getRecordAttributes(Value record) { return makeInteger(toRecord(record).record().attributes); }
Value getRecordPurgeable(Value record) { return boolValue(toRecord(record).record().attributes & RecAttr::Purgeable); }

FoundRecord changeable(Value record)
{
    FoundRecord f = toRecord(record);
    checkWritable(f.db, record);
    f.db->flags |= DbFlag::MapChanged;
    return f;
}

Value setRecordTime(Value record, Value seconds)
{
    int64_t time = toInt64(seconds);
    changeable(record).record().time = static_cast<uint32_t>(time);
    return kNoValue;
}

Value setRecordInfo(Value record, Value id, Value name)
{
    int32_t newId = toInt32(id);
    std::string text;
    if (isString(name))
        text.assign(stringChars(name), stringLength(name));
    else if (name != kNil && name != kNoValue)
        raiseWrongType(name);
    FoundRecord f = changeable(record);
    Record& r = f.record();
    r.id = newId;
    typeOf(f.db, f.rec)->idsChanged();
    r.hasName = !text.empty();
    r.name = text.substr(0, 255);
    return kNoValue;
}

Value setRecordAttributes(Value record, Value byte)
{
    int32_t b = toInt32(byte);
    Record& r = changeable(record).record();
    uint8_t keep = r.attributes & RecAttr::Changed; // a pending change is never dropped this way
    r.attributes = static_cast<uint8_t>(b) | keep;
    if (r.handle)
        setHandlePurgeable(r.handle, (r.attributes & RecAttr::Purgeable) && !(r.attributes & RecAttr::Changed));
    return kNoValue;
}

Value setRecordPurgeable(Value record)
{
    Record& r = changeable(record).record();
    r.attributes |= RecAttr::Purgeable;
    if (r.handle && !(r.attributes & RecAttr::Changed))
        setHandlePurgeable(r.handle, true);
    return kNoValue;
}

void markChanged(Record& r)
{
    r.time = clockSeconds();
    r.attributes |= RecAttr::Changed | RecAttr::WindowsText;
    if (r.handle)
        setHandlePurgeable(r.handle, false); // a change must not be purged away
}

Value changedRecord(Value record)
{
    markChanged(changeable(record).record());
    return kNoValue;
}

Record& insertRecord(Database* db, uint32_t type, int32_t id, const std::string& name)
{
    RecordType* t = findType(db, type);
    if (!t) {
        db->types.emplace_back();
        db->types.back().type = type;
        t = &db->types.back();
    }
    Record r;
    r.id = id;
    r.hasName = !name.empty();
    r.name = name.substr(0, 255);
    r.time = clockSeconds();
    r.attributes = RecAttr::WindowsText;
    t->records.push_back(std::make_unique<Record>(std::move(r)));
    t->idsChanged();
    db->flags |= DbFlag::MapChanged;
    return *t->records.back();
}

void removeInserted(Database* db, uint32_t type)
{
    if (RecordType* t = findType(db, type); t && !t->records.empty()) {
        forgetHandle(*t->records.back());
        t->records.pop_back();
        t->idsChanged();
    }
}

Value addRecord(Value data, Value type, Value id, Value name, Value v, Value progress)
{
    Database* db = toDatabase(v);
    checkWritable(db, v);
    uint32_t t = typeCode(type);
    int32_t recordId = toInt32(id);
    std::string text = isString(name) ? std::string(stringChars(name), stringLength(name)) : std::string();
    if (isPointer(data)) {
        Handle h = pointerAddress(data);
        if (pointerKindIndex(data) == gRecordKind.index() || findByHandle(h))
            raiseDatabaseError(DbCode::AlreadyARecord, data);
        if (!isHandle(h))
            raiseWrongType(data);
        Record& r = insertRecord(db, t, recordId, text);
        giveHandle(db, r, h);
        markChanged(r);
        cellOf(data).car = (Tag::PointerHeader << 24) | gRecordKind.index();
        return kNoValue;
    }
    // From a file: the bytes go past the committed end and are committed with the map at once.
    HostFile source;
    uint64_t size = 0;
    if (FileError e = source.open(hostPathOf(data), FileAccess::Read, FileCreate::Existing); failed(e))
        raiseFileFailure(e, data);
    source.size(size);
    uint64_t at = std::max<uint64_t>(db->appendAt, uint64_t(db->mapOffset) + db->mapLength);
    if (at - kHeaderSize + size > 0x7FFFFFFF)
        raiseFileFailure(FileError::DiskFull, data);
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(std::max<uint64_t>(size, 1), 0x80000)));
    for (uint64_t done = 0; done < size;) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(size - done, buffer.size()));
        size_t got = 0;
        if (failed(source.read(done, buffer.data(), chunk, got)) || got != chunk)
            raiseError(36, makeInteger(-1));
        if (FileError e = db->file.write(at + done, buffer.data(), chunk); failed(e))
            writeFailed(db, e);
        done += chunk;
        if (progress != kNil && progress != kNoValue)
            funcall(progress, makeInteger(static_cast<int64_t>(chunk)));
    }
    Record& r = insertRecord(db, t, recordId, text);
    r.dataOffset = static_cast<int32_t>(at - kHeaderSize);
    r.size = static_cast<int32_t>(size);
    db->appendAt = at + size;
    std::vector<std::pair<Record*, int32_t>> none;
    try {
        commitMap(db, db->appendAt, none);
    } catch (...) {
        removeInserted(db, t);
        throw;
    }
    return kNoValue;
}

Value removeRecord(Value record)
{
    FoundRecord f = changeable(record);
    RecordType* t = typeOf(f.db, f.rec);
    forgetHandle(*f.rec);
    std::erase_if(t->records, [&](const std::unique_ptr<Record>& r) { return r.get() == f.rec; });
    t->idsChanged();
    f.db->flags |= DbFlag::NeedsCompaction;
    cellOf(record).car = (Tag::PointerHeader << 24) | gHandleKind.index();
    return kNoValue;
}

// The content of a typed record, loaded; raises 1010-26 when there is none.
std::string typedContent(Value type, Value id, Value v)
{
    Database* db = toDatabase(v);
    Record* r = findRecord(db, type, id);
    if (!r)
        raiseError(26, id);
    Handle h = loadRecord(db, *r, false);
    std::string bytes;
    if (handleSize(h) > 0)
        bytes.assign(reinterpret_cast<const char*>(hostAddress(handleAddress(h))), static_cast<size_t>(handleSize(h)));
    setHandlePurgeable(h, !(r->attributes & RecAttr::Changed));
    return bytes;
}

void storeTyped(Value type, Value id, Value v, const std::string& bytes)
{
    Database* db = toDatabase(v);
    checkWritable(db, v);
    Record* r = findRecord(db, type, id);
    if (!r)
        r = &insertRecord(db, typeCode(type), toInt32(id), std::string());
    if (!r->handle) {
        Handle h = newHandle(0);
        if (!h)
            raiseDatabaseError(DbCode::NoMemory, kNil);
        giveHandle(db, *r, h);
    }
    if (!setHandleSize(r->handle, static_cast<uint32_t>(bytes.size())))
        raiseDatabaseError(DbCode::NoMemory, kNil);
    if (!bytes.empty())
        std::memcpy(hostAddress(handleAddress(r->handle)), bytes.data(), bytes.size());
    markChanged(*r);
    db->flags |= DbFlag::MapChanged;
    Handle h = r->handle;
    updateDatabase(db);
    // The content goes once it is written.
    if (FoundRecord f = findByHandle(h); f && !(f.record().attributes & RecAttr::Changed))
        setHandleSize(h, 0);
}

Value getRecordNumber(Value type, Value id, Value v)
{
    std::string bytes = typedContent(type, id, v);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
    if (bytes.size() == 2)
        return makeInteger(static_cast<int16_t>(p[0] << 8 | p[1]));
    if (bytes.size() == 4)
        return makeInteger(static_cast<int32_t>(be32(p)));
    raiseError(27, id);
}

Value putRecordNumber(Value number, Value type, Value id, Value v)
{
    int64_t n = toInt64(number);
    if (n < INT32_MIN || n > INT32_MAX)
        raiseWrongType(number);
    std::string bytes;
    if (n >= -32768 && n <= 32767) {
        bytes = { static_cast<char>((n >> 8) & 0xFF), static_cast<char>(n & 0xFF) };
    } else {
        bytes.resize(4);
        put32(reinterpret_cast<uint8_t*>(bytes.data()), static_cast<uint32_t>(n));
    }
    storeTyped(type, id, v, bytes);
    return kNoValue;
}

Value getRecordString(Value type, Value id, Value v)
{
    std::string bytes = typedContent(type, id, v);
    size_t end = bytes.find('\0'); // read only within the content
    return makeString(bytes.substr(0, end));
}

Value putRecordString(Value string, Value type, Value id, Value v)
{
    if (!isString(string))
        raiseWrongType(string);
    std::string bytes(stringChars(string), stringLength(string));
    bytes += '\0';
    storeTyped(type, id, v, bytes);
    return kNoValue;
}

// Vectors are stored as a big-endian count followed by the Values; only immediates have a
// meaning outside the run that stored them, so only they are accepted.
bool isStorableImmediate(Value x)
{
    uint32_t tag = tagOf(x);
    return tag == Tag::Integer || tag == Tag::Address || tag == Tag::PaletteIndex || x == kNil || x == kNoValue;
}

Value getRecordVector(Value type, Value id, Value v)
{
    std::string bytes = typedContent(type, id, v);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
    if (bytes.size() < 4 || (bytes.size() - 4) % 4 != 0 || be32(p) != (bytes.size() - 4) / 4)
        raiseError(27, id);
    uint32_t n = be32(p);
    for (uint32_t i = 0; i < n; ++i)
        if (!isStorableImmediate(be32(p + 4 + 4 * i)))
            raiseError(27, id);
    Value vector = makeVector(n, kNil);
    for (uint32_t i = 0; i < n; ++i)
        vectorElements(vector)[i] = be32(reinterpret_cast<const uint8_t*>(bytes.data()) + 4 + 4 * i);
    return vector;
}

Value putRecordVector(Value vector, Value type, Value id, Value v)
{
    if (tagOf(vector) != Tag::Vector)
        raiseWrongType(vector);
    uint32_t n = vectorLength(vector);
    std::string bytes(4 + 4 * size_t(n), '\0');
    put32(reinterpret_cast<uint8_t*>(bytes.data()), n);
    for (uint32_t i = 0; i < n; ++i) {
        Value x = vectorElements(vector)[i];
        if (!isStorableImmediate(x))
            raiseWrongType(x);
        put32(reinterpret_cast<uint8_t*>(bytes.data()) + 4 + 4 * i, x);
    }
    storeTyped(type, id, v, bytes);
    return kNoValue;
}

// Arrays are stored as their storage block, big-endian: count, rank, dimensions, Values.
Value getRecordArray(Value type, Value id, Value v)
{
    std::string bytes = typedContent(type, id, v);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
    if (bytes.size() < 6)
        raiseError(27, id);
    uint32_t count = be32(p), rank = uint32_t(p[4]) << 8 | p[5];
    if (6 + 2ull * rank > bytes.size())
        raiseError(27, id);
    uint64_t product = 1;
    std::vector<Value> dims;
    for (uint32_t k = 0; k < rank; ++k) {
        uint32_t d = uint32_t(p[6 + 2 * k]) << 8 | p[7 + 2 * k];
        product = std::min<uint64_t>(product * d, 1ull << 40);
        dims.push_back(makeInteger(d));
    }
    dims.push_back(kEnd);
    if (product != count || count > kMaxArrayElements || bytes.size() != 6 + 2ull * rank + 4ull * count)
        raiseError(27, id);
    const uint8_t* values = p + 6 + 2 * rank;
    for (uint32_t i = 0; i < count; ++i)
        if (!isStorableImmediate(be32(values + 4 * i)))
            raiseError(27, id);
    Value array = funcallArray(globalValue(intern("make-array")), dims.data(), static_cast<int>(rank));
    for (uint32_t i = 0; i < count; ++i)
        setArrayElement(array, i, be32(reinterpret_cast<const uint8_t*>(bytes.data()) + 6 + 2 * rank + 4 * i));
    return array;
}

Value putRecordArray(Value array, Value type, Value id, Value v)
{
    if (!isArray(array))
        raiseWrongType(array);
    uint32_t count = arrayElementCount(array), rank = arrayRank(array);
    std::string bytes(6 + 2 * size_t(rank) + 4 * size_t(count), '\0');
    uint8_t* p = reinterpret_cast<uint8_t*>(bytes.data());
    put32(p, count);
    p[4] = uint8_t(rank >> 8);
    p[5] = uint8_t(rank);
    for (uint32_t k = 0; k < rank; ++k) {
        p[6 + 2 * k] = uint8_t(arrayDimension(array, k) >> 8);
        p[7 + 2 * k] = uint8_t(arrayDimension(array, k));
    }
    for (uint32_t i = 0; i < count; ++i) {
        Value x = arrayElement(array, i);
        if (!isStorableImmediate(x))
            raiseWrongType(x);
        put32(p + 6 + 2 * rank + 4 * i, x);
    }
    storeTyped(type, id, v, bytes);
    return kNoValue;
}

Value withRecordContent(Value record, Value function)
{
    FoundRecord f = toRecord(record);
    Handle h = loadRecord(f.db, f.record(), false);
    setHandlePurgeable(h, false);
    struct Restore {
        Handle h;
        ~Restore()
        {
            if (FoundRecord found = findByHandle(h))
                setHandlePurgeable(h, (found.record().attributes & RecAttr::Purgeable)
                                          && !(found.record().attributes & RecAttr::Changed));
        }
    } restore { h };
    return funcall(function);
}

std::string RecordKind::print(Value pointer)
{
    char text[512];
    Handle h = pointerAddress(pointer);
    FoundRecord f = findByHandle(h);
    if (!f) {
        std::snprintf(text, sizeof text, "<%s %lx disposed>", name(), static_cast<unsigned long>(h));
        return text;
    }
    const Record& r = f.record();
    std::snprintf(text, sizeof text, "<%s %lx %s %ld \"%s\" %lx of size %d>", name(), static_cast<unsigned long>(h),
        typeText(typeOf(f.db, f.rec)->type).c_str(), static_cast<long>(r.id), r.name.c_str(), static_cast<unsigned long>(h), contentSize(r));
    return text;
}

class DatabaseModule final : public Module {
public:
    DatabaseModule() : Module("Database") {}
    void start() override
    {
        Module::start();
        addHandleReloader(reloadPurged);
        gCompactSymbol = internWithValue("Compact-Databases?", kTrue);
        defineFunctionRest1("create-database", createDatabase);
        defineFunctionRest1("create-database-in", createDatabaseIn);
        defineFunction1("database?", databaseP);
        defineFunctionRest1("open-database", openDatabasePrimitive);
        defineFunction2("close-database", closeDatabasePrimitive);
        defineFunction1("find-opened-database", findOpenedDatabase);
        defineFunction1("compact-database", compactDatabasePrimitive);
        defineFunction1("database-read-only?", databaseReadOnlyP);
        defineFunction1("update-database", updateDatabasePrimitive);
        defineFunction1("home-database", homeDatabase);
        defineFunction2("count-records", countRecords);
        defineFunction1("count-record-types", countRecordTypes);
        defineFunction2("get-indexed-type", getIndexedType);
        defineFunction4("get-indexed-record", getIndexedRecord);
        defineFunction4("get-record", getRecord);
        defineFunction5("get-record-into-file", getRecordIntoFile);
        defineFunction1("load-record", loadRecordPrimitive);
        defineFunction1("write-record", writeRecord);
        defineFunction1("release-record", releaseRecord);
        defineFunction1("detach-record", detachRecord);
        defineFunctionRest1("unique-record-id", uniqueRecordId);
        defineFunction1("get-record-id", getRecordId);
        defineFunction1("get-record-name", getRecordName);
        defineFunction1("get-record-size", getRecordSize);
        defineFunction1("get-record-time", getRecordTime);
        defineFunction2("set-record-time", setRecordTime);
        defineFunction1("get-record-attributes", getRecordAttributes);
        defineFunction1("get-record-purgeable", getRecordPurgeable);
        defineFunction3("set-record-info", setRecordInfo);
        defineFunction2("set-record-attributes", setRecordAttributes);
        defineFunction1("set-record-purgeable", setRecordPurgeable);
        defineFunction1("changed-record", changedRecord);
        defineFunction6("add-record", addRecord);
        defineFunction1("remove-record", removeRecord);
        defineFunction3("get-record-number", getRecordNumber);
        defineFunction4("put-record-number", putRecordNumber);
        defineFunction3("get-record-string", getRecordString);
        defineFunction4("put-record-string", putRecordString);
        defineFunction3("get-record-vector", getRecordVector);
        defineFunction4("put-record-vector", putRecordVector);
        defineFunction3("get-record-array", getRecordArray);
        defineFunction4("put-record-array", putRecordArray);
        defineFunction2("with-record-content", withRecordContent);
    }
    void markRoots() override {}
    void stop() override
    {
        while (!gDatabases.empty()) {
            Database* db = gDatabases.front();
            try {
                updateDatabase(db);
            } catch (...) { // shutting down: the database closes whatever happens
            }
            closeDatabase(db);
        }
        Module::stop();
    }
} theDatabaseModule;

} // namespace
