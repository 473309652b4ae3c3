// Kernel/Buffer.cpp: byte-buffer arguments.
#include "Kernel/Buffer.h"

#include "Kernel/Error.h"
#include "Kernel/Memory.h"
#include "Kernel/Number.h"

#include <algorithm>

BufferArgument::BufferArgument(Value buffer) : m_buffer(buffer)
{
    if (isString(buffer))
        m_kind = Kind::String;
    else if (!isPointer(buffer))
        raiseWrongType(buffer);
    else if (pointerKindIndex(buffer) == gHandleKind.index())
        m_kind = Kind::Handle;
    else if (isMemoryPointer(pointerAddress(buffer)))
        m_kind = Kind::MemoryPointer;
    else
        m_kind = Kind::Pointer;
}

int64_t BufferArgument::knownSize() const
{
    switch (m_kind) {
    case Kind::String:
        return stringLength(m_buffer);
    case Kind::Handle:
        return handleAddress(pointerAddress(m_buffer)) ? std::max(handleSize(pointerAddress(m_buffer)), 0) : 0;
    case Kind::MemoryPointer:
        return isMemoryPointer(pointerAddress(m_buffer)) ? memoryPointerSize(pointerAddress(m_buffer)) : 0;
    case Kind::Pointer:
        break;
    }
    return -1;
}

uint8_t* BufferArgument::range(int64_t offset, int64_t count, Value culprit) const
{
    if (offset < 0 || count < 0)
        raiseWrongType(culprit);
    if (m_kind == Kind::Pointer) {
        uint32_t address = pointerAddress(m_buffer);
        if (address == 0 || offset + count > 0xFFFFFFFFll - address)
            raiseWrongType(culprit);
        return checkedRange(address + static_cast<uint32_t>(offset), static_cast<uint64_t>(count), culprit);
    }
    int64_t size = knownSize();
    if (offset + count > size)
        raiseWrongType(culprit);
    static uint8_t empty = 0;
    if (size == 0)
        return &empty;
    switch (m_kind) {
    case Kind::String:
        return reinterpret_cast<uint8_t*>(const_cast<char*>(stringChars(m_buffer))) + offset;
    case Kind::Handle:
        return hostAddress(handleAddress(pointerAddress(m_buffer))) + offset;
    default:
        return hostAddress(pointerAddress(m_buffer)) + offset;
    }
}

int64_t toBufferOffset(Value v)
{
    int64_t n = toInt64(v);
    if (n < 0 || n > 0x7FFFFFFF)
        raiseWrongType(v);
    return n;
}
