// Interfac/VLoad.h: the compiled-unit loader: symbol tables built from SYMB resources, and the
// evaluation of every form of a memory handle or a file.
#pragma once

#include "Kernel/Memory.h"
#include "Platform/Files/Files.h"

#include <string>

// The symbol table of a SYMB resource's bytes: a vector of the eight fixed symbols and then one
// interned symbol per name (a name starting with ":" is a keyword bound to itself). Bytes that do
// not hold the names their count announces raise the wrong-type error with culprit.
Value symbolTableFromBytes(const std::string& bytes, Value culprit);
// Evaluates every form of the handle's bytes with Loaded-File bound to tag. Loaded-File, the
// current object and the event-block counter are restored on every exit.
void loadFromHandle(Handle h, Value tag);
// The text of a path argument: a string, or a pathname list walked as the file layer does.
std::string pathArgumentText(Value path);
// Raises the Lisp error of a file failure, with the path as culprit.
[[noreturn]] void raiseFileFailure(FileError error, Value path);
