// Kernel/KernelObject.cpp: kernel objects, their table and the pointer kind that holds them.
#include "Kernel/KernelObject.h"

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/Object.h"
#include "Kernel/Persist.h"
#include "Kernel/Recycle.h"
#include "Kernel/Symbol.h"

#include <new>
#include <vector>

namespace {

constexpr int32_t kNotAStream = 47;
constexpr int32_t kNoNativeObject = 69;

class CppObjectKind final : public PointerKind {
public:
    CppObjectKind() : PointerKind("cpp object") {}
    void dispose(Value pointer) override;
    bool disposeWhenUnreachable() override { return true; }
};

CppObjectKind gCppObjectKind;

// Looked up at each use: the symbol table is made anew whenever the runtime starts.
Value nameSymbol() { return intern("name"); }
Value parentSymbol() { return intern("parent"); }
Value resolveStringSymbol() { return intern("resolve-string"); }

// The value of a symbol in the current context, nil when it is unbound there.
Value contextValueOrNil(Value symbol) { return isBound(symbol) ? symbolValue(symbol) : kNil; }

} // namespace

// The table of live kernel objects. Entry 0 is never used, so a cleared pointer (word 1 = 0)
// names no object; freed entries are reused, lowest first out of a free list.
class KernelObjectTable {
public:
    static uint32_t add(KernelObject* object)
    {
        auto& t = entries();
        uint32_t index;
        if (!freeList().empty()) {
            index = freeList().back();
            freeList().pop_back();
            t[index] = object;
        } else {
            if (t.empty())
                t.push_back(nullptr);
            index = static_cast<uint32_t>(t.size());
            t.push_back(object);
        }
        object->m_index = index;
        ++live();
        return index;
    }
    static void remove(KernelObject* object)
    {
        uint32_t index = object->m_index;
        auto& t = entries();
        if (index == 0 || index >= t.size() || t[index] != object)
            return;
        t[index] = nullptr;
        freeList().push_back(index);
        object->m_index = 0;
        --live();
    }
    static KernelObject* at(uint32_t index)
    {
        auto& t = entries();
        return index < t.size() ? t[index] : nullptr;
    }
    static std::vector<KernelObject*>& entries()
    {
        static std::vector<KernelObject*> table;
        return table;
    }
    static std::vector<uint32_t>& freeList()
    {
        static std::vector<uint32_t> list;
        return list;
    }
    static size_t& live()
    {
        static size_t count = 0;
        return count;
    }
    static Value& pointerOf(KernelObject* object) { return object->m_pointer; }
    static uint32_t indexOf(KernelObject* object) { return object->m_index; }
};

namespace {

// Whether cell of pointer still is this object's pointer cell (a swept cell may have been reused).
bool holds(Value pointer, uint32_t index)
{
    if (!memoryStarted() || !isCellOffset(payloadOf(pointer)))
        return false;
    const Cell& c = cellOf(pointer);
    return tagOf(c.car) == Tag::PointerHeader && payloadOf(c.car) == gCppObjectKind.index() && c.cdr == index;
}

void CppObjectKind::dispose(Value pointer)
{
    uint32_t index = pointerAddress(pointer);
    if (KernelObject* object = KernelObjectTable::at(index))
        delete object; // clears word 1 of the cell
    cellOf(pointer).cdr = 0;
}

} // namespace

// ---- Kernel objects ----

KernelObject::~KernelObject()
{
    if (m_pointer && holds(m_pointer, m_index))
        cellOf(m_pointer).cdr = 0;
    KernelObjectTable::remove(this);
}

void KernelObject::markValues()
{
    mark(m_name);
    mark(m_owner);
}

void KernelObject::open()
{
    m_name = contextValueOrNil(nameSymbol());
    m_owner = gSelf;
}

void KernelObject::closeObject()
{
    if (gCurrentOutput == this)
        gCurrentOutput = &standardOutput();
    if (isObject(m_owner) && objectField(m_owner, ClassField::NativeObject) == m_pointer && m_pointer)
        setObjectField(m_owner, ClassField::NativeObject, kNil);
    delete this;
}

void KernelObject::seek(int64_t) { raiseError(kNotAStream, kNil); }
int64_t KernelObject::position() { raiseError(kNotAStream, kNil); }
bool KernelObject::atEnd() { raiseError(kNotAStream, kNil); }
int KernelObject::readByte() { raiseError(kNotAStream, kNil); }
int KernelObject::peekByte() { raiseError(kNotAStream, kNil); }
int64_t KernelObject::length() { raiseError(kNotAStream, kNil); }
void KernelObject::writeByte(int) { raiseError(kNotAStream, kNil); }

Value KernelObject::pointer()
{
    if (!m_index)
        KernelObjectTable::add(this);
    if (!m_pointer || !holds(m_pointer, m_index))
        m_pointer = makePointer(gCppObjectKind, m_index);
    return m_pointer;
}

Value KernelObject::property(Value symbol) { return searchPropertyIn(m_owner, symbol); }

Value KernelObject::parent()
{
    if (!isObject(m_owner))
        return kNil;
    ObjectContextFrame context(m_owner);
    return contextValueOrNil(parentSymbol());
}

Value InterfaceKernelObject::title()
{
    Value reference = titleReference();
    if (reference == kNil)
        return kNil;
    return funcall(symbolValue(resolveStringSymbol()), reference);
}

// ---- Entries ----

PointerKind& cppObjectKind() { return gCppObjectKind; }

bool isKernelObjectPointer(Value v) { return isPointer(v) && pointerKindIndex(v) == gCppObjectKind.index(); }

KernelObject& kernelObjectAt(Value pointer)
{
    if (!isKernelObjectPointer(pointer))
        raiseWrongType(pointer);
    uint32_t index = pointerAddress(pointer);
    KernelObject* object = KernelObjectTable::at(index);
    if (!object || KernelObjectTable::pointerOf(object) != pointer)
        raiseError(kNoNativeObject, pointer);
    return *object;
}

KernelObject* findKernelObject(Value pointer)
{
    if (!isKernelObjectPointer(pointer))
        return nullptr;
    KernelObject* object = KernelObjectTable::at(pointerAddress(pointer));
    return object && KernelObjectTable::pointerOf(object) == pointer ? object : nullptr;
}

KernelObject& kernelObjectOf(Value object)
{
    Value native = nativeObjectOf(object);
    if (!isKernelObjectPointer(native))
        raiseError(kNoNativeObject, object);
    KernelObject* k = KernelObjectTable::at(pointerAddress(native));
    if (!k || KernelObjectTable::pointerOf(k) != native)
        raiseError(kNoNativeObject, object);
    return *k;
}

void markKernelObjectPointer(Value pointer)
{
    if (!isKernelObjectPointer(pointer))
        return;
    KernelObject* object = KernelObjectTable::at(pointerAddress(pointer));
    if (object && KernelObjectTable::pointerOf(object) == pointer)
        object->markValues();
}

void deleteAllKernelObjects()
{
    auto& t = KernelObjectTable::entries();
    for (size_t i = 1; i < t.size(); ++i)
        if (KernelObject* object = t[i])
            delete object;
}

size_t liveKernelObjectCount() { return KernelObjectTable::live(); }

Value adoptKernelObject(KernelObject* object)
{
    if (!object)
        raiseError(ErrorCode::MemoryExhausted, kNil);
    try {
        return object->pointer();
    } catch (...) {
        delete object;
        throw;
    }
}
