// Kernel/Object.h: classes, instances, slots and message sending.
#pragma once

#include "Kernel/Value.h"

// Class block (42 bytes in the block area, header 0x38) and instance block (header 0x39).
namespace ClassField {
enum : uint32_t {
    Self = 0, // for an instance: its class
    NativeObject = 4,
    Overrides = 8,
    Name = 12,         // classes only from here on
    Table = 16,        // vector indexed by slot index
    Constructor = 20,  // integer index of the native constructor, or nil
    Ascendants = 24,
    Descendants = 28,
    Genealogy = 32,
    Capacity = 36,     // 16-bit
    InstanceSize = 38, // 16-bit
    LayoutFixed = 40,  // byte
    United = 41,       // byte
};
}
constexpr uint32_t kClassBlockBytes = 42;
constexpr uint32_t kFirstInstanceSlot = 12;

inline bool isObject(Value v) { return (tagOf(v) == Tag::Class || tagOf(v) == Tag::Instance) && v != kNoObject; }
inline bool isClass(Value v) { return tagOf(v) == Tag::Class && v != kNoObject; }
inline bool isInstance(Value v) { return tagOf(v) == Tag::Instance; }

Value objectClass(Value object); // the class of an instance; a class for a class
Value className(Value classValue);
Value objectField(Value object, uint32_t offset);
void setObjectField(Value object, uint32_t offset, Value v);

// Native classes: a constructor makes the native object of a new instance.
using NativeConstructor = Value (*)(Value instance);
// Makes a class as new-mixin does with the parents (a class, a list of classes or nil), stores
// the constructor, binds name's global value to it and pushes it on Loaded-Classes.
Value registerNativeClass(const char* name, NativeConstructor constructor, Value parents);
NativeConstructor nativeConstructor(Value classValue);
Value makeInstance(Value classValue);
// The native object of an object; error 69 with the object when it has none.
Value nativeObjectOf(Value object);

// Defining and reading in an object context.
void defineInClass(Value classValue, Value symbol, Value value);
bool objectRead(Value object, Value symbol, Value& result);
void objectWrite(Value object, Value symbol, Value value);
bool inheritsFrom(Value object, Value classNameSymbol);
bool descendsFromRoot(Value classValue); // made by new-class rather than new-mixin

// The collector's mark operations for class blocks, instances and slot records.
void markClassBlock(Value classValue);
void markInstanceBlock(Value instance);
void markSlotRecord(Value record);

extern Value gObjRoot;

// Slot access for the persistence Module, in the current object's class.
Value slotNamesOf(Value object);              // the names of its slot cells, in slot-index order
Value slotRecordIn(Value object, Value name); // the slot record, or nil when there is no slot
Value slotInitializeOption(Value record);     // the :initialize? option
bool slotIsLink(Value record);
Value slotInitialValueIn(Value name);         // the evaluated initform, else the default
void storeRawSlotValue(Value object, Value name, Value value); // a link slot's raw value
Value writeSlotValue(Value name, Value value); // as write-slot does
