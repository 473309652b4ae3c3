// Kernel/Reader.h: reading Values from native streams.
#pragma once

#include "Kernel/Stream.h"
#include "Kernel/Value.h"

int characterClass(unsigned char c);
// The next datum of the stream; nil at the end of input. Raises error 25 on bad syntax.
Value readValue(NativeStream& in);
// Whether the stream reached the end of its input without any datum (the last read returned nil
// only because the input ended).
bool readerAtEnd(NativeStream& in);
extern char gDecimalSeparator;
