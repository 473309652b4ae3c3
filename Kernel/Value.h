// Kernel/Value.h: the tagged 32-bit Value and the cells it designates.
#pragma once

#include <cstdint>
#include <cstring>

//  31  30  29 ........ 24  23 .......................... 0
// +---+---+---------------+--------------------------------+
// | M | P |      tag      |  immediate, or cell offset     |
// +---+---+---------------+--------------------------------+
// M (mark) and P (permanent) exist only in word 0 of a cell; every Value held anywhere else has
// both bits clear. A cell offset is a multiple of 8 from the start of the cell area; offset 0 is
// the reserved cell, so the list tag with offset 0 is nil.
using Value = uint32_t;

namespace Tag {
enum : uint32_t {
    Address = 0x00,
    PaletteIndex = 0x01,
    Integer = 0x02,
    Real = 0x03,
    Variable = 0x04,
    NoValue = 0x05,
    Vector = 0x06,
    String = 0x07,
    Symbol = 0x08,
    Syntax = 0x09,
    Instance = 0x0A,
    Function = 0x0B,
    Primitive = 0x0C,
    Special = 0x0D,
    Predicate = 0x0E,
    Class = 0x0F,
    HashTable = 0x10,
    Lexical = 0x11,
    Gamma = 0x12,
    Rational = 0x13,
    Pointer = 0x14,
    Closed = 0x15,
    BoxedSlot = 0x16,
    ArrayHeader = 0x17,
    DescriptorHeader = 0x18,
    Complex = 0x19,
    HashHeader = 0x1A,
    StackRef = 0x1B,
    VectorHeader = 0x1C,
    RealHeader = 0x1D,
    StringHeader = 0x1E,
    End = 0x1F,
    FirstSpecialForm = 0x20,
    LastSpecialForm = 0x36,
    BigDigitHeader = 0x23,
    BigPositive = 0x33,
    BigNegative = 0x34,
    PointerHeader = 0x35,
    RecordHeader = 0x37,
    ClassHeader = 0x38,
    InstanceHeader = 0x39,
    Record = 0x3A,
    RawBlock = 0x3B,
    RawHeader = 0x3C,
    SlotDescriptor = 0x3D,
    Array = 0x3E,
    List = 0x3F,
};
}

constexpr Value kNil = 0x3F000000;
constexpr Value kNoValue = 0x05000000;
constexpr Value kEnd = 0x1F000000;
constexpr Value kNoObject = 0x0F000000;

constexpr uint32_t kMarkBit = 0x80000000;
constexpr uint32_t kPermanentBit = 0x40000000;
constexpr uint32_t kPayloadMask = 0x00FFFFFF;

constexpr int32_t kMinImmediate = -8388608;
constexpr int32_t kMaxImmediate = 8388607;

constexpr uint32_t tagOf(Value v) { return (v >> 24) & 0x3F; }
constexpr uint32_t payloadOf(Value v) { return v & kPayloadMask; }
constexpr Value makeValue(uint32_t tag, uint32_t payload) { return (tag << 24) | (payload & kPayloadMask); }
constexpr Value retag(Value v, uint32_t tag) { return makeValue(tag, payloadOf(v)); }

constexpr bool isNil(Value v) { return v == kNil; }
constexpr bool isTrue(Value v) { return v != kNil; }
// The flag rule of a few primitives: nil and the no-value marker are both false.
constexpr bool isFlagSet(Value v) { return v != kNil && v != kNoValue; }

constexpr bool fitsImmediate(int64_t n) { return n >= kMinImmediate && n <= kMaxImmediate; }
constexpr Value makeImmediate(int32_t n) { return makeValue(Tag::Integer, static_cast<uint32_t>(n)); }
constexpr int32_t integerValue(Value v) { return static_cast<int32_t>(v << 8) >> 8; }
constexpr bool isImmediateInteger(Value v) { return tagOf(v) == Tag::Integer; }

constexpr bool isPair(Value v) { return tagOf(v) == Tag::List && payloadOf(v) != 0; }
constexpr bool isList(Value v) { return tagOf(v) == Tag::List; }
constexpr bool isSymbol(Value v) { return tagOf(v) == Tag::Symbol; }
constexpr bool isString(Value v) { return tagOf(v) == Tag::String; }
constexpr bool isSpecialFormTag(uint32_t tag)
{
    return tag >= Tag::FirstSpecialForm && tag <= Tag::LastSpecialForm && tag != 0x23 && tag != 0x33
        && tag != 0x34 && tag != 0x35;
}

// A cell: two 32-bit words. For pair-form Values both words are Values; for descriptors word 0 is
// a header (tag, link or data in the payload) and word 1 raw data.
struct Cell {
    uint32_t car;
    uint32_t cdr;
};

extern uint8_t* gCellBase; // host address of cell offset 0

inline Cell& cellAt(uint32_t offset) { return *reinterpret_cast<Cell*>(gCellBase + offset); }
// The cell a Value designates. The offset is taken afresh from the whole Value at each use: an
// optimising compiler could otherwise keep a Value it still needs only as that offset, across a
// call that collects, and the collector's stack scan knows whole Values, not bare offsets.
inline Cell& cellOf(Value v)
{
#if defined(__GNUC__)
    asm volatile("" : "+r"(v));
#endif
    return cellAt(payloadOf(v));
}

inline Value car(Value v) { return cellOf(v).car & ~(kMarkBit | kPermanentBit); }
inline Value cdr(Value v) { return cellOf(v).cdr; }
// A partial collection does not look inside permanent cells, so a store into one asks for the
// next collection to be full; that keeps the stored value alive.
extern bool gFullCollectionRequested;

// Stores keep the collector bits of word 0.
inline void setCar(Value v, Value a)
{
    Cell& c = cellOf(v);
    if (c.car & kPermanentBit)
        gFullCollectionRequested = true;
    c.car = (c.car & (kMarkBit | kPermanentBit)) | a;
}
inline void setCdr(Value v, Value d)
{
    Cell& c = cellOf(v);
    if (c.car & kPermanentBit)
        gFullCollectionRequested = true;
    c.cdr = d;
}
inline uint32_t headerOf(Value v) { return tagOf(cellOf(v).car); }
inline bool isPermanentCell(Value v) { return (cellOf(v).car & kPermanentBit) != 0; }
