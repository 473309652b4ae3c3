// Interfac/ResourceFormat.h: the bytes of a resource file (header, map, data records) parsed
// into a map in native form and written back, with every count, offset and length checked. Used
// by the resource Module, the image builder and the fuzzers; it knows nothing of Lisp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The classic result codes the resource layer keeps internally.
namespace ResCode {
enum : int16_t {
    NoError = 0,
    WriteError = -34,   // a write during a write-back failed
    IoError = -36,      // read or seek failed; map inconsistent with the header
    OpenError = -37,    // cannot open or create; header or map damaged; no reference number free
    Exists = -48,
    NoWritePermission = -61, // a write-back of a file opened read-only
    NoMemory = -108,
    WritePastEnd = -189,
    ReadPastEnd = -190,
    NotFound = -192,
    NoFile = -193,
    AddFailed = -194,
    RemoveFailed = -196,
};
}

namespace ResAttr {
enum : uint8_t { Changed = 0x02, Preload = 0x04, Protected = 0x08, Purgeable = 0x20 };
}
namespace MapAttr {
enum : uint16_t { Changed = 0x20, NeedsCompaction = 0x40 };
}

constexpr uint32_t kResourceHeaderSize = 256;
constexpr uint32_t kNoData = 0xFFFFFF;      // a reference without data in the file
constexpr uint32_t kMaxDataOffset = 0xFFFFFE; // data offsets are 24 bits; 0xFFFFFF means none
constexpr uint32_t kEmptyMapLength = 30;

// A four-character type code, kept as the big-endian number of its raw bytes.
using ResType = uint32_t;
ResType resTypeFromBytes(const uint8_t* bytes);
ResType resTypeFromText(const std::string& text); // the first four characters, zero-padded
std::string resTypeText(ResType type);            // four characters, zero bytes as spaces

struct ResourceHeader {
    uint32_t dataOffset = kResourceHeaderSize;
    uint32_t mapOffset = kResourceHeaderSize;
    uint32_t dataLength = 0;
    uint32_t mapLength = kEmptyMapLength;
};

struct ResourceRef {
    int16_t id = 0;
    bool hasName = false;
    std::string name;
    uint8_t attributes = 0;
    uint32_t dataOffset = kNoData; // from the start of the data area, at the length word
    uint32_t handle = 0;           // the loaded data (a handle of the handle manager), 0 when none
};

struct ResourceType {
    ResType type = 0;
    std::vector<ResourceRef> refs;
};

struct ResourceMap {
    uint16_t attributes = 0;
    std::vector<ResourceType> types;
};

uint32_t readBE32(const uint8_t* p);
uint16_t readBE16(const uint8_t* p);
void writeBE32(uint8_t* p, uint32_t v);
void writeBE16(uint8_t* p, uint16_t v);

// The 16 significant header bytes.
void encodeResourceHeader(const ResourceHeader& header, uint8_t bytes[16]);
// Checks the first 256 bytes of a file whose size (from the resource file's origin) is fileSize.
// The map must lie inside the file; bytes past its end (an interrupted write-back leaves them)
// are allowed. Returns 0 or ResCode::OpenError.
int16_t parseResourceHeader(const uint8_t* bytes, uint64_t fileSize, ResourceHeader& header);
// Parses the map read from the file. Every type entry, reference list, name and data offset is
// checked against the map and the data area before use. Returns 0, IoError (the map does not
// repeat the header, or its type list is not where it belongs) or OpenError (anything else).
int16_t parseResourceMap(const uint8_t* bytes, uint32_t length, const ResourceHeader& header, ResourceMap& map);
// The map's bytes as the file holds them, for a file whose header will be header (its map length
// is set here). Types without resources are left out and the name list holds only the names in
// use. False when an offset would pass the 16-bit limits of the format or a count its 16 bits.
bool encodeResourceMap(const ResourceMap& map, ResourceHeader& header, std::vector<uint8_t>& bytes);
// A whole resource file with the data given in memory (the image builder's writer): data is the
// resource data in the map's order of types and references.
struct ResourceEntry {
    ResType type;
    int16_t id;
    std::string name; // empty: no name
    uint8_t attributes;
    std::string data;
};
bool buildResourceFile(const std::vector<ResourceEntry>& entries, std::string& file, std::string& why);
