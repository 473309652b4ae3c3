// Kernel/KernelObject.h: the native objects behind the instances of native classes.
//
// A kernel object knows its Lisp owner (the instance, or a class) and its name. Lisp holds it in a
// pointer Value of the kind "cpp object" whose word 1 is the object's index in the kernel-object
// table (never a host address). Deleting an object frees its table entry and clears word 1 of its
// pointer cell, so every copy of the pointer Value then reads as a cleared pointer; looking up a
// cleared or unknown index raises an error report instead of reaching freed memory.
//
// Kernel objects are streams as well: the default stream operations raise error 47 (or fall back
// on the byte operations), and the stream classes override them. The virtual operations are
// declared in their fixed order: the kind predicates, the life-cycle operations, the stream
// interface (inherited from NativeStream), and for interface kernel objects the interface
// operations. Kind predicates that no class answers and the empty hook operations are left out.
#pragma once

#include "Kernel/Memory.h"
#include "Kernel/Stream.h"
#include "Kernel/Value.h"

class KernelObject : public NativeStream {
public:
    KernelObject() { leaveRoots(); } // marked through its pointer, never as a root
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;

    // ---- Kind predicates: safe downcasts for native code that receives an object from Lisp ----
    virtual bool isKernelObject() const { return false; } // every concrete class answers true
    virtual bool isDragBehavior() const { return false; }
    virtual bool isDragAndDropBehavior() const { return false; }
    virtual bool isGrowBehavior() const { return false; }
    virtual bool isStream() const { return isInputStream() || isOutputStream(); }
    virtual bool isInputStream() const { return false; }
    virtual bool isOutputStream() const { return false; }
    virtual bool isFile() const { return false; }
    virtual bool isHandleInput() const { return false; }
    virtual bool isStringInput() const { return false; }
    virtual bool isHandleOutput() const { return false; }
    virtual bool isInterface() const { return false; }
    virtual bool isBehavior() const { return false; }
    virtual bool hasBounds() const { return false; }
    virtual bool isPortObject() const { return false; }
    virtual bool isViewObject() const { return false; } // behind windows and controls
    virtual bool isChoice() const { return false; }
    virtual bool isCheckbox() const { return false; }
    virtual bool isTable() const { return false; }
    virtual bool isCaption() const { return false; }
    virtual bool isTextView() const { return false; }
    virtual bool isStyledText() const { return false; }
    virtual bool isMovie() const { return false; }
    virtual bool isScrollSystem() const { return false; }
    virtual bool isPicture() const { return false; }
    virtual bool isCloneTextWindow() const { return false; }
    virtual bool isMenu() const { return false; }
    virtual bool isTextUndo() const { return false; }
    virtual bool isTextStyle() const { return false; }
    virtual bool isDerivedTextStyle() const { return false; }
    virtual bool isLexerHandler() const { return false; }
    virtual bool isLexer() const { return false; }
    virtual bool isLexerTransition() const { return false; }
    virtual bool isLexerTransChar() const { return false; }
    virtual bool isLexerTransCharset() const { return false; }
    virtual bool isLexerTransPred() const { return false; }
    virtual bool isLexerTransString() const { return false; }
    virtual bool isCharset() const { return false; }
    virtual bool isLexerState() const { return false; }

    // ---- Life cycle ----
    // Delete: frees the table entry and clears the address in the pointer cell.
    ~KernelObject() override;
    // Marks the Values the object holds; classes holding more Values mark them too (calling this).
    virtual void markValues();
    // name := the value of `name` in the current context; owner := the current object.
    virtual void open();
    // Leaves the default output if it was this object, unlinks the owner (its native object
    // becomes nil) and deletes the object. `this` is gone on return.
    virtual void closeObject();

    // ---- The stream interface: the byte operations raise error 1010-47 with nil ----
    void seek(int64_t position) override;
    int64_t position() override;
    bool atEnd() override;
    int readByte() override;
    int peekByte() override;
    int64_t length() override;
    void writeByte(int byte) override;
    // The block operations come from NativeStream and fall back on the byte operations: read a
    // block (byte by byte until the count or the end), advance (seek to position + n), read a
    // character (a byte), remaining (length - position), write a block (byte by byte) and write a
    // block with line ends (runs of bytes, every carriage return as carriage return + line feed).

    // ---- Fields and helpers ----
    Value name() const { return m_name; }
    void setName(Value name) { m_name = name; }
    Value owner() const { return m_owner; }
    void setOwner(Value owner) { m_owner = owner; }
    // The pointer Value that holds this object, made on first use.
    Value pointer();
    bool hasPointer() const { return m_pointer != 0; }
    // search-property with the owner as the object searched.
    Value property(Value symbol);
    // The value of `parent` in the owner.
    Value parent();

private:
    friend class KernelObjectTable;
    Value m_name = kNil;
    Value m_owner = kNil;
    Value m_pointer = 0;  // the "cpp object" pointer Value, 0 until made
    uint32_t m_index = 0; // entry in the kernel-object table, 0 until registered
};

// Interface kernel objects: the native part of obj-interface and the base of the interface
// objects behind windows, controls, menus and behaviours.
class InterfaceKernelObject : public KernelObject {
public:
    bool isKernelObject() const override { return true; }
    bool isInterface() const override { return true; }

    virtual void show() {}
    virtual void hide() {}
    virtual void enable() {}
    virtual void disable() {}
    virtual bool isEnabled() { return true; }
    virtual void hilite() {}
    virtual void dehilite() {}
    // The title reference, resolved by the application's resolve-string when it is not nil.
    virtual Value title();
    virtual Value titleReference() { return kNil; }
    virtual void setTitle(Value title, bool redraw) {}
};

class BehaviorKernelObject : public InterfaceKernelObject {
public:
    bool isBehavior() const override { return true; }
};

// The plain kernel object of obj-kernel-class.
class PlainKernelObject final : public KernelObject {
public:
    bool isKernelObject() const override { return true; }
};

// The pointer kind "cpp object".
PointerKind& cppObjectKind();
bool isKernelObjectPointer(Value v);
// The kernel object behind a "cpp object" pointer: wrong type for any other Value, error 69 with
// the pointer when its object has been deleted.
KernelObject& kernelObjectAt(Value pointer);
// The same without errors: nullptr for any Value that holds no live kernel object.
KernelObject* findKernelObject(Value pointer);
// The kernel object of an instance (or class): error 69 with the object when it has none (nil or
// t in its native-object field) or when the object it had is gone.
KernelObject& kernelObjectOf(Value object);
// What the collector calls for a reachable "cpp object" pointer: marks its object's Values.
void markKernelObjectPointer(Value pointer);
// Deletes every kernel object still held by a pointer cell (the end of the run).
void deleteAllKernelObjects();
// Number of live kernel objects (for tests and diagnostics).
size_t liveKernelObjectCount();

// Wraps a newly made object in its pointer; a null object (allocation failed) is error 9 with nil.
Value adoptKernelObject(KernelObject* object);
