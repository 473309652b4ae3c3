// Interfac/ResourceFormat.cpp: parsing and writing resource maps.
#include "Interfac/ResourceFormat.h"

#include <algorithm>
#include <cstring>

uint32_t readBE32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint16_t readBE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
void writeBE32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
void writeBE16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

ResType resTypeFromBytes(const uint8_t* bytes) { return readBE32(bytes); }

ResType resTypeFromText(const std::string& text)
{
    uint8_t bytes[4] = {};
    for (size_t i = 0; i < 4 && i < text.size(); ++i)
        bytes[i] = static_cast<uint8_t>(text[i]);
    return readBE32(bytes);
}

std::string resTypeText(ResType type)
{
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>(type >> (24 - 8 * i));
        text[i] = c ? c : ' ';
    }
    return text;
}

void encodeResourceHeader(const ResourceHeader& header, uint8_t bytes[16])
{
    writeBE32(bytes, header.dataOffset);
    writeBE32(bytes + 4, header.mapOffset);
    writeBE32(bytes + 8, header.dataLength);
    writeBE32(bytes + 12, header.mapLength);
}

int16_t parseResourceHeader(const uint8_t* bytes, uint64_t fileSize, ResourceHeader& header)
{
    ResourceHeader h;
    h.dataOffset = readBE32(bytes);
    h.mapOffset = readBE32(bytes + 4);
    h.dataLength = readBE32(bytes + 8);
    h.mapLength = readBE32(bytes + 12);
    // The lengths are signed in the format: values of 2^31 and more are negative.
    if (h.dataOffset != kResourceHeaderSize || h.mapOffset < kResourceHeaderSize || h.dataLength > 0x7FFFFFFF
        || h.mapLength > 0x7FFFFFFF || uint64_t(h.dataOffset) + h.dataLength > h.mapOffset
        || uint64_t(h.mapOffset) + h.mapLength > fileSize || h.mapLength < kEmptyMapLength || bytes[128] != 0)
        return ResCode::OpenError;
    header = h;
    return ResCode::NoError;
}

int16_t parseResourceMap(const uint8_t* m, uint32_t length, const ResourceHeader& header, ResourceMap& map)
{
    if (length < kEmptyMapLength)
        return ResCode::OpenError;
    uint8_t expected[16];
    encodeResourceHeader(header, expected);
    if (std::memcmp(m, expected, 16) != 0 || readBE16(m + 24) != 28)
        return ResCode::IoError;
    uint32_t nameList = readBE16(m + 26);
    uint32_t typeCount = (readBE16(m + 28) + 1u) & 0xFFFF; // 0xFFFF: no types
    uint32_t refsStart = 30 + 8 * typeCount;
    if (nameList < kEmptyMapLength || nameList > length || refsStart > length)
        return ResCode::OpenError;
    ResourceMap result;
    result.attributes = readBE16(m + 22);
    result.types.reserve(typeCount);
    for (uint32_t t = 0; t < typeCount; ++t) {
        const uint8_t* entry = m + 30 + 8 * t;
        ResourceType type;
        type.type = resTypeFromBytes(entry);
        uint32_t count = (readBE16(entry + 4) + 1u) & 0xFFFF; // an emptied type was written as 0xFFFF
        uint32_t list = 28 + uint32_t(readBE16(entry + 6));
        if (list < refsStart || uint64_t(list) + 12ull * count > length)
            return ResCode::OpenError;
        type.refs.reserve(count);
        for (uint32_t r = 0; r < count; ++r) {
            const uint8_t* e = m + list + 12 * r;
            ResourceRef ref;
            ref.id = static_cast<int16_t>(readBE16(e));
            uint16_t nameOffset = readBE16(e + 2);
            ref.attributes = e[4];
            ref.dataOffset = uint32_t(e[5]) << 16 | uint32_t(e[6]) << 8 | e[7];
            if (nameOffset != 0xFFFF) {
                uint32_t at = nameList + nameOffset;
                if (at >= length || at + 1u + m[at] > length)
                    return ResCode::OpenError;
                ref.hasName = true;
                ref.name.assign(reinterpret_cast<const char*>(m + at + 1), m[at]);
            }
            if (ref.dataOffset != kNoData && uint64_t(ref.dataOffset) + 4 > header.dataLength)
                return ResCode::OpenError;
            ref.attributes &= static_cast<uint8_t>(~ResAttr::Changed);
            type.refs.push_back(std::move(ref));
        }
        result.types.push_back(std::move(type));
    }
    map = std::move(result);
    return ResCode::NoError;
}

bool encodeResourceMap(const ResourceMap& map, ResourceHeader& header, std::vector<uint8_t>& bytes)
{
    uint32_t typeCount = 0;
    uint64_t refCount = 0;
    for (const ResourceType& type : map.types) {
        if (type.refs.empty())
            continue;
        if (type.refs.size() > 0xFFFF)
            return false;
        ++typeCount;
        refCount += type.refs.size();
    }
    if (typeCount > 0xFFFF)
        return false;
    uint64_t nameList = 30 + 8ull * typeCount + 12 * refCount;
    if (nameList > 0xFFFF)
        return false;
    uint64_t namesLength = 0;
    for (const ResourceType& type : map.types)
        for (const ResourceRef& ref : type.refs)
            if (ref.hasName) {
                if (namesLength + 1 + std::min<size_t>(ref.name.size(), 255) > 0xFFFF)
                    return false; // a name offset must stay below 0xFFFF
                namesLength += 1 + std::min<size_t>(ref.name.size(), 255);
            }
    header.mapLength = static_cast<uint32_t>(nameList + namesLength);
    bytes.assign(header.mapLength, 0);
    uint8_t* m = bytes.data();
    encodeResourceHeader(header, m);
    writeBE16(m + 22, map.attributes & ~(MapAttr::Changed | MapAttr::NeedsCompaction));
    writeBE16(m + 24, 28);
    writeBE16(m + 26, static_cast<uint16_t>(nameList));
    writeBE16(m + 28, static_cast<uint16_t>(typeCount - 1));
    uint32_t typeAt = 30, refAt = 30 + 8 * typeCount, nameAt = 0;
    for (const ResourceType& type : map.types) {
        if (type.refs.empty())
            continue;
        writeBE32(m + typeAt, type.type);
        writeBE16(m + typeAt + 4, static_cast<uint16_t>(type.refs.size() - 1));
        writeBE16(m + typeAt + 6, static_cast<uint16_t>(refAt - 28));
        typeAt += 8;
        for (const ResourceRef& ref : type.refs) {
            uint8_t* e = m + refAt;
            writeBE16(e, static_cast<uint16_t>(ref.id));
            if (ref.hasName) {
                size_t n = std::min<size_t>(ref.name.size(), 255);
                writeBE16(e + 2, static_cast<uint16_t>(nameAt));
                m[nameList + nameAt] = static_cast<uint8_t>(n);
                std::memcpy(m + nameList + nameAt + 1, ref.name.data(), n);
                nameAt += static_cast<uint32_t>(1 + n);
            } else {
                writeBE16(e + 2, 0xFFFF);
            }
            e[4] = ref.attributes & static_cast<uint8_t>(~ResAttr::Changed);
            e[5] = static_cast<uint8_t>(ref.dataOffset >> 16);
            e[6] = static_cast<uint8_t>(ref.dataOffset >> 8);
            e[7] = static_cast<uint8_t>(ref.dataOffset);
            writeBE32(e + 8, 0); // the handle slot has no meaning on disk
            refAt += 12;
        }
    }
    return true;
}

bool buildResourceFile(const std::vector<ResourceEntry>& entries, std::string& file, std::string& why)
{
    ResourceMap map;
    std::string data;
    for (const ResourceEntry& entry : entries) {
        ResourceType* type = nullptr;
        for (ResourceType& t : map.types)
            if (t.type == entry.type)
                type = &t;
        if (!type) {
            map.types.push_back({ entry.type, {} });
            type = &map.types.back();
        }
        for (const ResourceRef& ref : type->refs)
            if (ref.id == entry.id) {
                why = "resource " + resTypeText(entry.type) + " " + std::to_string(entry.id) + " given twice";
                return false;
            }
        if (data.size() + 4 + entry.data.size() > kMaxDataOffset) {
            why = "the resource data passes the 16 MB limit of the format";
            return false;
        }
        ResourceRef ref;
        ref.id = entry.id;
        ref.hasName = !entry.name.empty();
        ref.name = entry.name;
        ref.attributes = entry.attributes & static_cast<uint8_t>(~ResAttr::Changed);
        ref.dataOffset = static_cast<uint32_t>(data.size());
        uint8_t length[4];
        writeBE32(length, static_cast<uint32_t>(entry.data.size()));
        data.append(reinterpret_cast<const char*>(length), 4);
        data += entry.data;
        type->refs.push_back(std::move(ref));
    }
    ResourceHeader header;
    header.dataLength = static_cast<uint32_t>(data.size());
    header.mapOffset = kResourceHeaderSize + header.dataLength;
    std::vector<uint8_t> mapBytes;
    if (!encodeResourceMap(map, header, mapBytes)) {
        why = "the resource map passes the 64 KB limits of the format";
        return false;
    }
    file.assign(kResourceHeaderSize, '\0');
    encodeResourceHeader(header, reinterpret_cast<uint8_t*>(file.data()));
    file += data;
    file.append(reinterpret_cast<const char*>(mapBytes.data()), mapBytes.size());
    return true;
}
