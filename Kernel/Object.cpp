// Kernel/Object.cpp: the object system. Every class carries a table indexed by the slot index of
// a symbol; inherited entries are copied into each class when it is made and pushed down on
// redefinition, so a lookup never walks the hierarchy.
//
// Class blocks, instance blocks and slot records live in the block area and move when it is
// compacted: fields are always read through blockData of the Value, never through a kept address.
#include "Kernel/Object.h"

#include "Kernel/Define.h"
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/List.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Printer.h"
#include "Kernel/Recycle.h"
#include "Kernel/Symbol.h"
#include "Kernel/Type.h"
#include "Kernel/VString.h"

#include <algorithm>
#include <vector>

Value gObjRoot = kNil;

namespace {

// ---- Slot records (50 bytes: twelve Values and the flags) ----

namespace SlotField {
enum : uint32_t {
    Name = 0,
    ClassValue = 4,
    Default = 8,
    Initform = 12,
    Initialize = 16,
    Linker = 20,
    Type = 24,
    Reader = 28,
    Writer = 32,
    Chooser = 36,
    DefiningClass = 40,
    Info = 44,
    Flags = 48,
};
}
constexpr uint32_t kSlotRecordBytes = 50;

enum SlotFlag : uint16_t {
    Allocate = 1,
    Link = 2,
    ListFlag = 4,
    Editable = 8,
    Invalidate = 16,
    Required = 32,
};

Value gLoadedClasses, gVelora, gFindLink, gInvalidate, gInitialize, gCloseSym, gConfiguration, gConfigPathname,
    gAutoInitialize, gPrintSelf;
std::vector<NativeConstructor> gConstructors; // index 0 unused
uint32_t gNextSlotIndex = 0;
bool gFirstUnite = true;

Value field(Value v, uint32_t offset)
{
    Value x;
    std::memcpy(&x, blockData(v) + offset, 4);
    return x;
}

void setField(Value v, uint32_t offset, Value x) { std::memcpy(blockData(v) + offset, &x, 4); }

uint16_t field16(Value v, uint32_t offset)
{
    uint16_t x;
    std::memcpy(&x, blockData(v) + offset, 2);
    return x;
}

void setField16(Value v, uint32_t offset, uint16_t x) { std::memcpy(blockData(v) + offset, &x, 2); }

Value makeSlotRecord(Value name, Value definingClass)
{
    reserveBlock(kSlotRecordBytes);
    uint8_t* at = blockFreeEnd();
    const Value fields[12] = { name, kEnd, kNoValue, kNoValue, kNil, kNil, kTrue, kNil, kNil, kNil, definingClass,
        kNil };
    std::memcpy(at, fields, 48);
    uint16_t flags = Allocate;
    std::memcpy(at + 48, &flags, 2);
    return commitBlock(kSlotRecordBytes, Tag::Record, Tag::RecordHeader);
}

Value copySlotRecord(Value record, Value definingClass)
{
    reserveBlock(kSlotRecordBytes);
    uint8_t* at = blockFreeEnd();
    std::memcpy(at, blockData(record), kSlotRecordBytes);
    std::memcpy(at + SlotField::DefiningClass, &definingClass, 4);
    return commitBlock(kSlotRecordBytes, Tag::Record, Tag::RecordHeader);
}

bool isSlotCell(Value entry) { return tagOf(entry) == Tag::SlotDescriptor; }
Value slotRecordOf(Value cell) { return cdr(cell); }
uint16_t slotFlags(Value record) { return field16(record, SlotField::Flags); }

Value makeSlotCell(Value record) { return retag(cons(makeImmediate(0), record), Tag::SlotDescriptor); }

// ---- Classes ----

Value classOf(Value object) { return tagOf(object) == Tag::Class ? object : field(object, ClassField::Self); }

Value toClass(Value v)
{
    if (!isClass(v))
        raiseWrongType(v);
    return v;
}

Value toObject(Value v)
{
    if (!isObject(v))
        raiseWrongType(v);
    return v;
}

uint32_t capacityOf(Value c) { return field16(c, ClassField::Capacity); }

int32_t slotIndexOf(Value symbol) { return symbolRecord(symbol).slot; }

uint32_t ensureSlotIndex(Value symbol)
{
    SymbolRecord& r = symbolRecord(symbol);
    if (r.slot < 0) {
        if (gNextSlotIndex >= 32767)
            raiseError(ErrorCode::MemoryExhausted, symbol);
        r.slot = static_cast<int16_t>(gNextSlotIndex++);
    }
    return static_cast<uint32_t>(r.slot);
}

Value tableEntry(Value c, uint32_t index)
{
    if (index >= capacityOf(c))
        return kEnd;
    return vectorElements(field(c, ClassField::Table))[index];
}

void setTableEntry(Value c, uint32_t index, Value entry)
{
    uint32_t capacity = capacityOf(c);
    if (index >= capacity) {
        uint32_t grown = index + 25;
        Value table = makeVector(grown, kEnd);
        Value old = field(c, ClassField::Table);
        std::memcpy(vectorElements(table), vectorElements(old), 4 * capacity);
        setField(c, ClassField::Table, table);
        setField16(c, ClassField::Capacity, static_cast<uint16_t>(grown));
    }
    vectorElements(field(c, ClassField::Table))[index] = entry;
    if (isPermanentCell(c))
        gFullCollectionRequested = true;
}

Value appendToList(Value list, Value element)
{
    Value cell = cons(element, kNil);
    if (list == kNil)
        return cell;
    Value last = list;
    while (isPair(cdr(last)))
        last = cdr(last);
    setCdr(last, cell);
    return list;
}


bool listContains(Value list, Value x)
{
    for (; isPair(list); list = cdr(list))
        if (car(list) == x)
            return true;
    return false;
}

Value makeClassBlock(Value name)
{
    uint32_t capacity = gNextSlotIndex < 200 ? 200 : gNextSlotIndex;
    if (capacity > 32000)
        capacity = 32000;
    Value table = makeVector(capacity, kEnd);
    reserveBlock(kClassBlockBytes);
    uint8_t* at = blockFreeEnd();
    std::memset(at, 0, kClassBlockBytes);
    Value fields[9] = { 0, kNil, kNil, name, table, kNil, kNil, kNil, kNil };
    std::memcpy(at, fields, sizeof fields);
    Value c = commitBlock(kClassBlockBytes, Tag::Class, Tag::ClassHeader);
    setField(c, ClassField::Self, c);
    setField16(c, ClassField::Capacity, static_cast<uint16_t>(capacity));
    blockData(c)[ClassField::United] = 1;
    setField(c, ClassField::Genealogy, cons(c, kNil));
    return c;
}

void addParent(Value c, Value parent)
{
    Value name = field(c, ClassField::Name);
    // A redefinition replaces the old class among the parent's descendants.
    Value kept = kNil;
    for (Value d = field(parent, ClassField::Descendants); isPair(d); d = cdr(d))
        if (field(car(d), ClassField::Name) != name)
            kept = appendToList(kept, car(d));
    kept = appendToList(kept, c);
    setField(parent, ClassField::Descendants, kept);
    setField(c, ClassField::Ascendants, appendToList(field(c, ClassField::Ascendants), parent));
    Value inherited = copyList(field(parent, ClassField::Genealogy));
    Value last = field(c, ClassField::Genealogy); // never empty: it starts with the class itself
    while (isPair(cdr(last)))
        last = cdr(last);
    setCdr(last, inherited);
    if (field(c, ClassField::Constructor) == kNil)
        setField(c, ClassField::Constructor, field(parent, ClassField::Constructor));
    uint32_t capacity = capacityOf(parent);
    for (uint32_t i = 0; i < capacity; ++i) {
        Value entry = tableEntry(parent, i);
        if (entry == kEnd || tableEntry(c, i) != kEnd)
            continue;
        setTableEntry(c, i, isSlotCell(entry) ? makeSlotCell(slotRecordOf(entry)) : entry);
    }
}

bool descendsFrom(Value c, Value ancestor)
{
    return listContains(field(c, ClassField::Genealogy), ancestor);
}

Value makeClass(Value name, Value* parents, bool addRoot)
{
    if (!isSymbol(name))
        raiseWrongType(name);
    for (Value* p = parents; *p != kEnd; ++p)
        toClass(*p);
    Value c = makeClassBlock(name);
    for (Value* p = parents; *p != kEnd; ++p)
        addParent(c, *p);
    if (addRoot && isClass(gObjRoot) && !descendsFrom(c, gObjRoot))
        addParent(c, gObjRoot);
    setGlobalValue(gLoadedClasses, cons(c, globalValue(gLoadedClasses)));
    return c;
}

// ---- Definition and copy-down ----

bool isBoundSlot(Value entry)
{
    return isSlotCell(entry) && field(slotRecordOf(entry), SlotField::ClassValue) != kEnd;
}

void copyDownNew(Value c, uint32_t index, Value v)
{
    checkCStack();
    for (Value d = field(c, ClassField::Descendants); isPair(d); d = cdr(d)) {
        Value child = car(d);
        Value entry = tableEntry(child, index);
        if ((entry != kEnd && !isSlotCell(entry)) || isBoundSlot(entry))
            continue;
        setTableEntry(child, index, v);
        copyDownNew(child, index, v);
    }
}

void copyDownReplace(Value c, uint32_t index, Value old, Value v)
{
    checkCStack();
    for (Value d = field(c, ClassField::Descendants); isPair(d); d = cdr(d)) {
        Value child = car(d);
        if (tableEntry(child, index) != old)
            continue;
        setTableEntry(child, index, v);
        copyDownReplace(child, index, old, v);
    }
}

// Stores a plain entry in c's table and pushes it down to the descendants that still inherit.
void storePlainEntry(Value c, uint32_t index, Value v)
{
    Value old = tableEntry(c, index);
    if (old != kEnd && !isSlotCell(old)) {
        setTableEntry(c, index, v);
        copyDownReplace(c, index, old, v);
        return;
    }
    if (isBoundSlot(old))
        return;
    setTableEntry(c, index, v);
    copyDownNew(c, index, v);
}

bool ownedByClass(const SymbolRecord& r) { return r.owner != 0 && r.owner != kEnd; }

// A symbol defined by a single class keeps that definition in its value cell; when another
// definer appears, the definition moves into the owner's table (and its descendants') and the
// symbol becomes shared.
void releaseOwnership(Value symbol)
{
    SymbolRecord& r = symbolRecord(symbol);
    if (!ownedByClass(r))
        return;
    Value owner = r.owner;
    Value value = r.value;
    uint32_t index = ensureSlotIndex(symbol);
    symbolRecord(symbol).owner = kEnd;
    symbolRecord(symbol).value = kNoValue;
    storePlainEntry(owner, index, value);
}

void markShared(Value symbol)
{
    releaseOwnership(symbol);
    SymbolRecord& r = symbolRecord(symbol);
    if (r.owner == 0)
        r.owner = kEnd;
}

// ---- Reading and writing in an object context ----

Value overridePair(Value object, Value symbol)
{
    for (Value o = field(object, ClassField::Overrides); isPair(o); o = cdr(o))
        if (isPair(car(o)) && car(car(o)) == symbol)
            return car(o);
    return kNil;
}

Value sendTo(Value object, Value message, std::initializer_list<Value> args)
{
    return sendMessage(object, message, args.begin(), static_cast<int>(args.size()));
}

uint32_t slotOffset(Value cell) { return static_cast<uint32_t>(integerValue(car(cell))); }

bool hasField(Value instance, uint32_t offset);

Value readAllocated(Value object, Value cell)
{
    if (tagOf(object) == Tag::Class)
        return field(slotRecordOf(cell), SlotField::ClassValue);
    if (!hasField(object, slotOffset(cell)))
        return kNoValue;
    return field(object, slotOffset(cell));
}

void writeAllocated(Value object, Value cell, Value v)
{
    if (tagOf(object) == Tag::Class) {
        Value record = slotRecordOf(cell);
        if (field(record, SlotField::DefiningClass) != object) { // shared with the parent: copy on write
            record = copySlotRecord(record, object);
            setCdr(cell, record);
        }
        setField(record, SlotField::ClassValue, v);
        return;
    }
    if (!hasField(object, slotOffset(cell)))
        raiseError(56, field(slotRecordOf(cell), SlotField::Name));
    setField(object, slotOffset(cell), v);
}

bool isLinkCell(Value v) { return tagOf(v) == Tag::BoxedSlot; }

Value resolveLink(Value object, Value symbol, Value cell, Value raw)
{
    Value record = slotRecordOf(cell);
    Value linker = field(record, SlotField::Linker);
    if (linker == kNil) {
        if (isObject(raw))
            return raw;
        Value resolved = sendTo(object, gFindLink, { raw, symbol });
        writeAllocated(object, cell, resolved);
        return resolved;
    }
    if (isLinkCell(raw))
        return cdr(raw);
    Value resolved;
    Value function = isSymbol(linker) ? globalValue(linker) : kNoValue;
    uint32_t t = tagOf(function);
    if (t == Tag::Function || t == Tag::Lexical || t == Tag::Closed || t == Tag::Primitive)
        resolved = funcall(function, raw);
    else
        resolved = sendTo(object, gFindLink, { raw, symbol });
    writeAllocated(object, cell, retag(cons(raw, resolved), Tag::BoxedSlot));
    return resolved;
}

// The class-table part of the read rule: false when the global value applies.
bool readFromTable(Value object, Value symbol, Value& result, bool resolveLinks)
{
    int32_t index = slotIndexOf(symbol);
    if (index < 0)
        return false;
    Value entry = tableEntry(classOf(object), static_cast<uint32_t>(index));
    if (entry == kEnd)
        return false;
    if (!isSlotCell(entry)) {
        result = entry;
        return true;
    }
    Value record = slotRecordOf(entry);
    if (!(slotFlags(record) & Allocate))
        return false;
    Value v = readAllocated(object, entry);
    if ((slotFlags(record) & Link) && resolveLinks && v != kEnd && v != kNoValue)
        v = resolveLink(object, symbol, entry, v);
    result = v == kEnd ? kNoValue : v;
    return true;
}

bool readHook(Value self, Value symbol, Value& result)
{
    if (!isObject(self))
        return false;
    Value pair = overridePair(self, symbol);
    if (pair != kNil) {
        result = cdr(pair);
        return true;
    }
    const SymbolRecord& r = symbolRecord(symbol);
    if (ownedByClass(r)) {
        result = r.value;
        return result != kNoValue;
    }
    return readFromTable(self, symbol, result, true);
}

bool writeHook(Value self, Value symbol, Value value)
{
    if (!isObject(self))
        return false;
    objectWrite(self, symbol, value);
    return true;
}

bool boundHook(Value self, Value symbol, bool& result)
{
    if (!isObject(self))
        return false;
    Value v;
    if (readHook(self, symbol, v)) {
        result = v != kNoValue && v != kEnd;
        return true;
    }
    return false;
}

// ---- defslot ----

struct SlotOption {
    const char* keyword;
    uint32_t field;  // SlotField offset, or Flags
    uint16_t flag;   // for flag options
    bool evaluated;
    Value symbol = 0;
};

SlotOption gSlotOptions[] = {
    { ":default", SlotField::Default, 0, true }, { ":initform", SlotField::Initform, 0, false },
    { ":initialize?", SlotField::Initialize, 0, false }, { ":linker", SlotField::Linker, 0, false },
    { ":type", SlotField::Type, 0, false }, { ":reader", SlotField::Reader, 0, false },
    { ":writer", SlotField::Writer, 0, false }, { ":chooser", SlotField::Chooser, 0, false },
    { ":info", SlotField::Info, 0, false }, { ":allocate?", SlotField::Flags, Allocate, true },
    { ":link?", SlotField::Flags, Link, true }, { ":list?", SlotField::Flags, ListFlag, true },
    { ":editable?", SlotField::Flags, Editable, true }, { ":invalidate?", SlotField::Flags, Invalidate, true },
    { ":required?", SlotField::Flags, Required, true },
};

const SlotOption* findOption(Value keyword)
{
    for (const SlotOption& o : gSlotOptions)
        if (o.symbol == keyword)
            return &o;
    return nullptr;
}

Value currentClass()
{
    if (!isObject(gSelf))
        raiseWrongType(gSelf);
    return classOf(gSelf);
}

bool layoutFixed(Value c) { return blockData(c)[ClassField::LayoutFixed] != 0; }

Value optionValue(Value record, const SlotOption& o)
{
    if (o.field == SlotField::Flags)
        return boolValue(slotFlags(record) & o.flag);
    return field(record, o.field);
}

void setOptionValue(Value record, const SlotOption& o, Value v)
{
    if (o.field == SlotField::Flags) {
        uint16_t flags = slotFlags(record);
        flags = isFlagSet(v) ? (flags | o.flag) : (flags & ~o.flag);
        setField16(record, SlotField::Flags, flags);
        return;
    }
    setField(record, o.field, v);
}

// c's own slot cell for name, with a private record; creates the slot when missing.
Value privateSlotCell(Value c, Value name, uint32_t index)
{
    Value cell = tableEntry(c, index);
    if (!isSlotCell(cell)) {
        if (layoutFixed(c))
            raiseError(56, name);
        cell = makeSlotCell(makeSlotRecord(name, c));
        setTableEntry(c, index, cell);
        return cell;
    }
    if (field(slotRecordOf(cell), SlotField::DefiningClass) != c) {
        Value copy = copySlotRecord(slotRecordOf(cell), c);
        setCdr(cell, copy);
    }
    return cell;
}

void copyOptionDown(Value c, uint32_t index, const SlotOption& o, Value old, Value v)
{
    checkCStack();
    for (Value d = field(c, ClassField::Descendants); isPair(d); d = cdr(d)) {
        Value child = car(d);
        Value cell = tableEntry(child, index);
        if (!isSlotCell(cell) || optionValue(slotRecordOf(cell), o) != old)
            continue;
        if (field(slotRecordOf(cell), SlotField::DefiningClass) != child)
            setCdr(cell, copySlotRecord(slotRecordOf(cell), child));
        setOptionValue(slotRecordOf(cell), o, v);
        copyOptionDown(child, index, o, old, v);
    }
}

void setSlotOption(Value c, Value name, uint32_t index, const SlotOption& o, Value v)
{
    Value existing = tableEntry(c, index);
    if (isSlotCell(existing) && layoutFixed(c) && (o.field == SlotField::Type || o.flag == Allocate)
        && optionValue(slotRecordOf(existing), o) != (o.flag ? boolValue(isFlagSet(v)) : v))
        raiseError(57, o.symbol);
    Value cell = privateSlotCell(c, name, index);
    Value old = optionValue(slotRecordOf(cell), o);
    setOptionValue(slotRecordOf(cell), o, v);
    copyOptionDown(c, index, o, old, optionValue(slotRecordOf(cell), o));
}

void copyClassValueDown(Value c, uint32_t index, Value old, Value v)
{
    checkCStack();
    for (Value d = field(c, ClassField::Descendants); isPair(d); d = cdr(d)) {
        Value child = car(d);
        Value cell = tableEntry(child, index);
        if (!isSlotCell(cell) || field(slotRecordOf(cell), SlotField::ClassValue) != old)
            continue;
        if (field(slotRecordOf(cell), SlotField::DefiningClass) != child)
            setCdr(cell, copySlotRecord(slotRecordOf(cell), child));
        setField(slotRecordOf(cell), SlotField::ClassValue, v);
        copyClassValueDown(child, index, old, v);
    }
}

Value defslotForm(Value args)
{
    if (!isPair(args) || !isSymbol(car(args)))
        raiseWrongType(args);
    Value name = car(args);
    Value c = currentClass();
    uint32_t index = ensureSlotIndex(name);
    markShared(name);
    bool created = false;
    for (Value p = cdr(args); p != kNil; p = cdr(cdr(p))) {
        if (!isPair(p) || !isPair(cdr(p)))
            raiseWrongType(p);
        const SlotOption* o = findOption(car(p));
        if (!o)
            raiseWrongType(car(p));
        Value v = o->evaluated ? eval(car(cdr(p))) : car(cdr(p));
        created = created || !isSlotCell(tableEntry(c, index));
        setSlotOption(c, name, index, *o, v);
    }
    if (!isSlotCell(tableEntry(c, index)))
        privateSlotCell(c, name, index);
    Value cell = tableEntry(c, index);
    Value record = slotRecordOf(cell);
    if (slotFlags(record) & Allocate) {
        Value old = field(record, SlotField::ClassValue);
        Value v = field(record, SlotField::Default);
        if (field(record, SlotField::DefiningClass) != c) {
            record = copySlotRecord(record, c);
            setCdr(cell, record);
        }
        setField(record, SlotField::ClassValue, v);
        copyClassValueDown(c, index, old, v);
    }
    if (name == gConfiguration) {
        setSymbolValue(gConfigPathname, globalValue(Sym::loadedFile));
        if (isBound(gAutoInitialize) && symbolValue(gAutoInitialize) != kNil) {
            if (field(gSelf, ClassField::NativeObject) != kNil)
                sendTo(gSelf, gCloseSym, {});
            sendTo(gSelf, gInitialize, {});
        }
    }
    return name;
}

// ---- Instances ----

// Gives every allocated slot of c an offset, walking the table from the highest index down.
// Fixing the layout again (after reset-inited) keeps the offsets slots already have, so that
// instances made before still read their own fields; new slots go after them.
void fixLayout(Value c)
{
    uint32_t next = kFirstInstanceSlot + 4; // the instance's own size word comes first
    for (uint32_t i = 0; i < capacityOf(c); ++i) {
        Value entry = tableEntry(c, i);
        if (isSlotCell(entry) && integerValue(car(entry)) != 0)
            next = std::max(next, static_cast<uint32_t>(integerValue(car(entry))) + 4);
    }
    for (uint32_t i = capacityOf(c); i-- > 0;) {
        Value entry = tableEntry(c, i);
        if (isSlotCell(entry) && (slotFlags(slotRecordOf(entry)) & Allocate) && integerValue(car(entry)) == 0) {
            setCar(entry, makeImmediate(static_cast<int32_t>(next)));
            next += 4;
        }
    }
    if (next > 0xFFF0)
        raiseError(ErrorCode::MemoryExhausted, c);
    setField16(c, ClassField::InstanceSize, static_cast<uint16_t>(next));
    blockData(c)[ClassField::LayoutFixed] = 1;
}

// Whether an instance's own block holds the field at offset (it may predate the slot).
bool hasField(Value instance, uint32_t offset)
{
    return offset >= kFirstInstanceSlot + 4 && offset + 4 <= field(instance, kFirstInstanceSlot);
}

// ---- The Object Module's primitives ----

Value newClass(Value name, Value* parents) { return makeClass(name, parents, true); }
Value newMixin(Value name, Value* parents) { return makeClass(name, parents, false); }

Value uniteClass(Value name, Value* parents)
{
    if (!isSymbol(name))
        raiseWrongType(name);
    Value c = toClass(globalValue(name));
    if (*parents != kEnd && !gFirstUnite) {
        Value ascendants = field(c, ClassField::Ascendants);
        for (Value* p = parents; *p != kEnd; ++p) {
            if (!isPair(ascendants) || car(ascendants) != *p)
                raiseWrongType(*p);
            ascendants = cdr(ascendants);
        }
        if (ascendants != kNil)
            raiseWrongType(ascendants);
    }
    gFirstUnite = false;
    blockData(c)[ClassField::United] = 1;
    return c;
}

Value removeClass(Value name)
{
    if (!isSymbol(name))
        raiseWrongType(name);
    Value k = globalValue(name);
    if (!isClass(k))
        return kNoValue;
    if (field(k, ClassField::NativeObject) != kNil)
        sendTo(k, gCloseSym, {});
    setGlobalValue(name, kNoValue);
    for (Value a = field(k, ClassField::Ascendants); isPair(a); a = cdr(a)) {
        Value parent = car(a);
        Value kept = kNil;
        for (Value d = field(parent, ClassField::Descendants); isPair(d); d = cdr(d))
            if (car(d) != k)
                kept = appendToList(kept, car(d));
        setField(parent, ClassField::Descendants, kept);
    }
    gFullCollectionRequested = true;
    return kNoValue;
}

Value makeInstancePrimitive(Value c) { return makeInstance(toClass(c)); }
Value selfPrimitive() { return gSelf; }
Value objectP(Value v) { return boolValue(tagOf(v) == Tag::Class || tagOf(v) == Tag::Instance); }
Value classP(Value v) { return boolValue(tagOf(v) == Tag::Class); }
Value instanceP(Value v) { return boolValue(tagOf(v) == Tag::Instance); }
Value objectOpenedP() { return boolValue(isObject(gSelf) && field(gSelf, ClassField::NativeObject) != kNil); }
Value ascendants(Value c) { return field(toClass(c), ClassField::Ascendants); }
Value descendants(Value c) { return field(toClass(c), ClassField::Descendants); }
Value genealogy(Value c) { return field(toClass(c), ClassField::Genealogy); }

Value superclass(Value object)
{
    Value a = field(classOf(toObject(object)), ClassField::Ascendants);
    Value last = kNil;
    for (; isPair(a); a = cdr(a))
        last = car(a);
    return last;
}

Value classNamePrimitive(Value c) { return field(toClass(c), ClassField::Name); }
Value objectClassPrimitive(Value object) { return classOf(toObject(object)); }

Value objectSlots(Value object)
{
    Value c = classOf(toObject(object));
    ListBuilder list;
    for (uint32_t i = 0; i < capacityOf(c); ++i) {
        Value entry = tableEntry(c, i);
        if (!isSlotCell(entry))
            continue;
        list.add(field(slotRecordOf(entry), SlotField::Name));
    }
    return list.head;
}

Value classTableSize(Value c) { return makeInteger(capacityOf(toClass(c))); }
Value classUnitedP(Value c) { return boolValue(blockData(toClass(c))[ClassField::United] != 0); }

Value resetInited(Value c)
{
    blockData(toClass(c))[ClassField::LayoutFixed] = 0;
    return kNoValue;
}

Value newMethod(Value name, Value value)
{
    if (!isSymbol(name))
        raiseWrongType(name);
    defineInClass(currentClass(), name, value);
    return value;
}

Value setSlotField(Value name, Value option, Value value)
{
    if (!isSymbol(name))
        raiseWrongType(name);
    const SlotOption* o = findOption(option);
    if (!o)
        raiseWrongType(option);
    Value c = currentClass();
    uint32_t index = ensureSlotIndex(name);
    markShared(name);
    setSlotOption(c, name, index, *o, o->evaluated ? eval(value) : value);
    return kNoValue;
}

// The slot record of name in the current object's class, or nil.
Value currentSlotRecord(Value name)
{
    if (!isSymbol(name))
        raiseWrongType(name);
    int32_t index = slotIndexOf(name);
    if (index < 0 || !isObject(gSelf))
        return kNil;
    Value entry = tableEntry(classOf(gSelf), static_cast<uint32_t>(index));
    return isSlotCell(entry) ? slotRecordOf(entry) : kNil;
}

Value requireSlotRecord(Value name)
{
    Value record = currentSlotRecord(name);
    if (record == kNil)
        raiseWrongType(name);
    return record;
}

Value slotExistsP(Value name) { return boolValue(currentSlotRecord(name) != kNil); }

template <uint32_t Field> Value slotFieldPrimitive(Value name) { return field(requireSlotRecord(name), Field); }
template <uint16_t Flag> Value slotFlagPrimitive(Value name) { return boolValue(slotFlags(requireSlotRecord(name)) & Flag); }

Value slotInitialValue(Value name)
{
    Value record = requireSlotRecord(name);
    Value initform = field(record, SlotField::Initform);
    if (initform == kNoValue)
        return field(record, SlotField::Default);
    return eval(initform);
}

Value readSlotWith(Value name, bool resolve)
{
    Value record = requireSlotRecord(name);
    Value reader = field(record, SlotField::Reader);
    if (reader != kNil) {
        Value function = eval(reader);
        if (function != kNil)
            return funcall(function);
    }
    Value result;
    if (!resolve && (slotFlags(record) & Link) && readFromTable(gSelf, name, result, false))
        return isLinkCell(result) ? car(result) : result;
    return symbolValue(name);
}

Value readSlot(Value name) { return readSlotWith(name, true); }
Value readSlotRef(Value name) { return readSlotWith(name, false); }

Value writeSlot(Value name, Value value)
{
    Value record = requireSlotRecord(name);
    Value writer = field(record, SlotField::Writer);
    Value function = writer != kNil ? eval(writer) : kNil;
    if (function == kNil)
        setSymbolValue(name, value);
    else
        funcall(function, value);
    if (slotFlags(requireSlotRecord(name)) & Invalidate)
        sendTo(gSelf, gInvalidate, {});
    return value;
}

Value addOverride(Value symbol, Value value)
{
    Value object = toObject(gSelf);
    Value pair = cons(symbol, value);
    setField(object, ClassField::Overrides, cons(pair, field(object, ClassField::Overrides)));
    return pair;
}

Value removeOverride(Value symbol)
{
    Value object = toObject(gSelf);
    Value previous = kNil;
    for (Value o = field(object, ClassField::Overrides); isPair(o); previous = o, o = cdr(o)) {
        if (isPair(car(o)) && car(car(o)) == symbol) {
            if (previous == kNil)
                setField(object, ClassField::Overrides, cdr(o));
            else
                setCdr(previous, cdr(o));
            break;
        }
    }
    return kNoValue;
}

// The value of s by the class-table rule, skipping the overrides.
Value classTableValue(Value object, Value symbol)
{
    const SymbolRecord& r = symbolRecord(symbol);
    if (ownedByClass(r))
        return r.value;
    Value result;
    if (readFromTable(object, symbol, result, true))
        return result;
    return symbolValue(symbol);
}

// The compiled function behind a callable Value.
Value functionOf(Value v)
{
    switch (tagOf(v)) {
    case Tag::Lexical:
        return cdr(v);
    case Tag::Closed:
        return car(v);
    default:
        return v;
    }
}

Value runningFunction()
{
    for (Frame* f = gCurrentFrame; f; f = f->m_previous)
        if (f->kind() == Frame::Activation)
            return static_cast<ActivationFrame*>(f)->m_function;
    return kNil;
}

bool sameFunction(Value a, Value running) { return running != kNil && functionOf(a) == running; }

Value overridenForm(Value args)
{
    if (!isPair(args) || !isSymbol(car(args)))
        raiseWrongType(args);
    Value symbol = car(args);
    Value object = toObject(gSelf);
    Value running = runningFunction();
    bool found = false;
    for (Value o = field(object, ClassField::Overrides); isPair(o); o = cdr(o)) {
        Value pair = car(o);
        if (!isPair(pair) || car(pair) != symbol)
            continue;
        if (found)
            return cdr(pair);
        if (sameFunction(cdr(pair), running))
            found = true;
    }
    return classTableValue(object, symbol);
}

Value velorasClassName(Value object) { return field(classOf(object), ClassField::Name); }

// ---- References: slot values with objects given by name ----

Value gNameSym = 0;

// The slot cell of symbol in the current object's class; the wrong-type error when it has none.
Value currentSlotCell(Value symbol)
{
    if (!isSymbol(symbol))
        raiseWrongType(symbol);
    Value object = toObject(gSelf);
    int32_t index = slotIndexOf(symbol);
    Value cell = index < 0 ? kEnd : tableEntry(classOf(object), static_cast<uint32_t>(index));
    if (!isSlotCell(cell) || !(slotFlags(slotRecordOf(cell)) & Allocate))
        raiseWrongType(symbol);
    return cell;
}

Value nameOf(Value v)
{
    if (!isObject(v))
        return v;
    Value name;
    return readHook(v, gNameSym, name) && name != kNoValue ? name : v;
}

Value getReferencePrimitive(Value symbol)
{
    Value raw = readAllocated(gSelf, currentSlotCell(symbol));
    if (isLinkCell(raw))
        raw = car(raw);
    if (!isPair(raw))
        return nameOf(raw);
    ListBuilder list;
    for (; isPair(raw); raw = cdr(raw)) {
        list.add(nameOf(car(raw)));
    }
    return list.head;
}

Value setReferencePrimitive(Value symbol, Value v)
{
    writeAllocated(gSelf, currentSlotCell(symbol), v);
    return v;
}

Value resetLinkPrimitive(Value symbol) { return setReferencePrimitive(symbol, getReferencePrimitive(symbol)); }

Value linkedPrimitive(Value symbol)
{
    Value cell = currentSlotCell(symbol);
    Value record = slotRecordOf(cell);
    Value v = readAllocated(gSelf, cell);
    if (field(record, SlotField::Initform) != kNoValue)
        return boolValue(isLinkCell(v));
    if (slotFlags(record) & ListFlag) {
        for (; isPair(v); v = cdr(v))
            if (!isObject(car(v)))
                return kNil;
        return kTrue;
    }
    return boolValue(isObject(v));
}

void declareMethodSlot(Value classValue, Value name, Value method) { defineInClass(classValue, name, method); }

class ObjectModule final : public Module {
public:
    ObjectModule() : Module("Object") {}
    void start() override
    {
        Module::start();
        for (SlotOption& o : gSlotOptions)
            o.symbol = makeKeyword(o.keyword + 1);
        gLoadedClasses = internWithValue("Loaded-Classes", kNil);
        gVelora = internWithValue("VELORA", kNoObject);
        gFindLink = intern("find-link");
        gInvalidate = intern("invalidate");
        gInitialize = intern("initialize");
        gCloseSym = intern("close");
        gConfiguration = intern("configuration");
        gConfigPathname = intern("config-pathname");
        gAutoInitialize = intern("auto-initialize?");
        gPrintSelf = intern("print-self");
        gNameSym = intern("name");
        gObjectContextHooks = { readHook, writeHook, boundHook };
        setObjectTypeHooks(velorasClassName, inheritsFrom);
        setDefineSlotHook(defineInClass);
        setGlobalDefineHook(releaseOwnership);
        setMethodSlotDeclarer(declareMethodSlot);
        gObjectCollectorHooks.markRecord = markSlotRecord;
        gObjectCollectorHooks.markClass = markClassBlock;
        gObjectCollectorHooks.markInstance = markInstanceBlock;

        defineFunctionRest1("new-class", newClass);
        defineFunctionRest1("new-mixin", newMixin);
        defineFunctionRest1("unite-class", uniteClass);
        defineFunction1("remove-class", removeClass);
        defineFunction1("make-instance", makeInstancePrimitive);
        defineFunction0("self", selfPrimitive);
        defineFunction1("object?", objectP);
        defineFunction1("class?", classP);
        defineFunction1("instance?", instanceP);
        defineFunction0("object-opened?", objectOpenedP);
        defineFunction1("ascendants", ascendants);
        defineFunction1("descendants", descendants);
        defineFunction1("genealogy", genealogy);
        defineFunction1("superclass", superclass);
        defineFunction1("class-name", classNamePrimitive);
        defineFunction1("object-class", objectClassPrimitive);
        defineFunction1("object-slots", objectSlots);
        defineFunction1("class-table-size", classTableSize);
        defineFunction1("class-united?", classUnitedP);
        defineFunction1("reset-inited", resetInited);
        defineFunction2("new-method", newMethod);
        defineFunction3("set-slot-field", setSlotField);
        defineSpecialForm("defslot", defslotForm);
        defineFunction1("slot-exists?", slotExistsP);
        defineFunction1("slot-name", slotFieldPrimitive<SlotField::Name>);
        defineFunction1("slot-default", slotFieldPrimitive<SlotField::Default>);
        defineFunction1("slot-initform", slotFieldPrimitive<SlotField::Initform>);
        defineFunction1("slot-initialize?", slotFieldPrimitive<SlotField::Initialize>);
        defineFunction1("slot-linker", slotFieldPrimitive<SlotField::Linker>);
        defineFunction1("slot-type", slotFieldPrimitive<SlotField::Type>);
        defineFunction1("slot-reader", slotFieldPrimitive<SlotField::Reader>);
        defineFunction1("slot-writer", slotFieldPrimitive<SlotField::Writer>);
        defineFunction1("slot-chooser", slotFieldPrimitive<SlotField::Chooser>);
        defineFunction1("slot-info", slotFieldPrimitive<SlotField::Info>);
        defineFunction1("slot-allocate?", slotFlagPrimitive<Allocate>);
        defineFunction1("slot-link?", slotFlagPrimitive<Link>);
        defineFunction1("slot-list?", slotFlagPrimitive<ListFlag>);
        defineFunction1("slot-editable?", slotFlagPrimitive<Editable>);
        defineFunction1("slot-invalidate?", slotFlagPrimitive<Invalidate>);
        defineFunction1("slot-required?", slotFlagPrimitive<Required>);
        defineFunction1("slot-initial-value", slotInitialValue);
        defineFunction1("read-slot", readSlot);
        defineFunction1("read-slot-ref", readSlotRef);
        defineFunction2("write-slot", writeSlot);
        defineFunction2("add-override", addOverride);
        defineFunction1("remove-override", removeOverride);
        defineSpecialForm("overriden", overridenForm);

        gObjRoot = registerNativeClass("obj-root", nullptr, kNil);
        // Object-context primitives of the evaluator's set.
        defineFunction1("get-reference", getReferencePrimitive);
        defineFunction2("set-reference!", setReferencePrimitive);
        defineFunction1("reset-link", resetLinkPrimitive);
        defineFunction1("linked?", linkedPrimitive);
    }
    void markRoots() override { mark(gObjRoot); }
} objectModule;

} // namespace

// ---- Entries for other units ----

Value objectClass(Value object) { return classOf(object); }
Value className(Value classValue) { return field(classValue, ClassField::Name); }
Value objectField(Value object, uint32_t offset) { return field(object, offset); }
void setObjectField(Value object, uint32_t offset, Value v) { setField(object, offset, v); }

Value registerNativeClass(const char* name, NativeConstructor constructor, Value parents)
{
    std::vector<Value> list;
    if (isClass(parents))
        list.push_back(parents);
    for (Value p = parents; isPair(p); p = cdr(p))
        list.push_back(car(p));
    list.push_back(kEnd);
    Value symbol = intern(name);
    Value c = makeClass(symbol, list.data(), false);
    if (constructor) {
        gConstructors.resize(std::max<size_t>(gConstructors.size(), 1));
        gConstructors.push_back(constructor);
        setField(c, ClassField::Constructor, makeInteger(static_cast<int64_t>(gConstructors.size() - 1)));
    }
    setGlobalValue(symbol, c);
    return c;
}

NativeConstructor nativeConstructor(Value classValue)
{
    Value index = field(classValue, ClassField::Constructor);
    if (tagOf(index) != Tag::Integer)
        return nullptr;
    size_t i = static_cast<size_t>(integerValue(index));
    return i < gConstructors.size() ? gConstructors[i] : nullptr;
}

Value makeInstance(Value c)
{
    if (!layoutFixed(c))
        fixLayout(c);
    uint32_t size = field16(c, ClassField::InstanceSize);
    reserveBlock(size);
    uint8_t* at = blockFreeEnd();
    const Value head[4] = { c, kNil, kNil, size };
    std::memcpy(at, head, sizeof head);
    for (uint32_t offset = sizeof head; offset < size; offset += 4)
        std::memcpy(at + offset, &kNoValue, 4);
    Value instance = commitBlock(size, Tag::Instance, Tag::InstanceHeader);
    for (uint32_t i = 0; i < capacityOf(c); ++i) {
        Value entry = tableEntry(c, i);
        if (isSlotCell(entry) && (slotFlags(slotRecordOf(entry)) & Allocate)) {
            uint32_t offset = slotOffset(entry);
            if (offset + 4 <= size)
                setField(instance, offset, field(slotRecordOf(entry), SlotField::Default));
        }
    }
    return instance;
}

Value nativeObjectOf(Value object)
{
    Value native = isObject(object) ? field(object, ClassField::NativeObject) : kNil;
    if (native == kNil || native == kTrue)
        raiseError(69, object);
    return native;
}

void defineInClass(Value c, Value symbol, Value value)
{
    c = classOf(c);
    uint32_t index = ensureSlotIndex(symbol);
    SymbolRecord& r = symbolRecord(symbol);
    if (ownedByClass(r) && r.owner != c)
        releaseOwnership(symbol);
    SymbolRecord& now = symbolRecord(symbol);
    if (now.owner == c) {
        now.value = value;
        return;
    }
    if (now.owner == 0 && now.value == kNoValue) {
        now.value = value;
        now.owner = c;
        return;
    }
    storePlainEntry(c, index, value);
}

bool objectRead(Value object, Value symbol, Value& result) { return readHook(object, symbol, result); }

void objectWrite(Value object, Value symbol, Value value)
{
    SymbolRecord& r = symbolRecord(symbol);
    int32_t index = r.slot;
    Value entry = index < 0 ? kEnd : tableEntry(classOf(object), static_cast<uint32_t>(index));
    if (ownedByClass(r) || entry == kEnd) {
        r.value = value;
        return;
    }
    if (!isSlotCell(entry)) {
        setTableEntry(classOf(object), static_cast<uint32_t>(index), value);
        return;
    }
    Value record = slotRecordOf(entry);
    if (!(slotFlags(record) & Allocate)) {
        r.value = value;
        return;
    }
    if ((slotFlags(record) & Link) && field(record, SlotField::Linker) != kNil) {
        Value old = readAllocated(object, entry);
        if (isLinkCell(old)) {
            setCdr(old, value);
            return;
        }
        writeAllocated(object, entry, retag(cons(kNoValue, value), Tag::BoxedSlot));
        return;
    }
    writeAllocated(object, entry, value);
}

bool descendsFromRoot(Value classValue) { return isClass(gObjRoot) && descendsFrom(classValue, gObjRoot); }

bool inheritsFrom(Value object, Value classNameSymbol)
{
    for (Value g = field(classOf(object), ClassField::Genealogy); isPair(g); g = cdr(g))
        if (field(car(g), ClassField::Name) == classNameSymbol)
            return true;
    return false;
}

void markClassBlock(Value c)
{
    for (uint32_t offset = 0; offset < 36; offset += 4)
        mark(field(c, offset));
}

void markInstanceBlock(Value instance)
{
    Value c = field(instance, ClassField::Self);
    mark(c);
    mark(field(instance, ClassField::NativeObject));
    mark(field(instance, ClassField::Overrides));
    uint32_t size = field(instance, kFirstInstanceSlot);
    for (uint32_t offset = kFirstInstanceSlot + 4; offset + 4 <= size; offset += 4)
        mark(field(instance, offset));
}

void markSlotRecord(Value record)
{
    for (uint32_t offset = 0; offset < 48; offset += 4)
        mark(field(record, offset));
}

Value slotNamesOf(Value object) { return objectSlots(object); }

Value slotRecordIn(Value object, Value name)
{
    if (!isObject(object) || !isSymbol(name))
        return kNil;
    int32_t index = slotIndexOf(name);
    if (index < 0)
        return kNil;
    Value entry = tableEntry(classOf(object), static_cast<uint32_t>(index));
    return isSlotCell(entry) ? slotRecordOf(entry) : kNil;
}

Value slotInitializeOption(Value record) { return field(record, SlotField::Initialize); }
bool slotIsLink(Value record) { return (slotFlags(record) & Link) != 0; }
Value slotInitialValueIn(Value name) { return slotInitialValue(name); }

void storeRawSlotValue(Value object, Value name, Value value)
{
    int32_t index = isSymbol(name) ? slotIndexOf(name) : -1;
    Value entry = index < 0 ? kEnd : tableEntry(classOf(toObject(object)), static_cast<uint32_t>(index));
    if (!isSlotCell(entry) || !(slotFlags(slotRecordOf(entry)) & Allocate)) {
        objectWrite(object, name, value);
        return;
    }
    writeAllocated(object, entry, value);
}

Value writeSlotValue(Value name, Value value) { return writeSlot(name, value); }
