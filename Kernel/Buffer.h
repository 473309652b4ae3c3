// Kernel/Buffer.h: byte-buffer arguments of the search and conversion primitives: a string (its
// characters), a pointer of kind "handle" (its data), a memory pointer, or a plain pointer.
#pragma once

#include "Kernel/Value.h"

#include <cstdint>

class BufferArgument {
public:
    // Raises the wrong-type error for any other Value.
    explicit BufferArgument(Value buffer);

    // The bytes [offset, offset + count), checked against the buffer's size (strings, handles and
    // memory pointers) or against the Lisp address space (other pointers); the wrong-type error
    // with culprit when they do not fit. The address is good until the next allocation: Lisp code
    // may collect (strings move) or resize the buffer, so ask again after calling it.
    uint8_t* range(int64_t offset, int64_t count, Value culprit) const;
    // The size when the buffer knows it, else -1.
    int64_t knownSize() const;
    Value value() const { return m_buffer; }

private:
    Value m_buffer;
    enum class Kind { String, Handle, MemoryPointer, Pointer } m_kind;
};

// An offset or count argument: an integer in [0, 2^31); anything else is the wrong-type error.
int64_t toBufferOffset(Value v);
