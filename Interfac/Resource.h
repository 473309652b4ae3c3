// Interfac/Resource.h: the resource manager as the other Modules use it: open resource files,
// the search along the chain of open files, resources as handles, and the home resource file.
#pragma once

#include "Interfac/ResourceFormat.h"
#include "Kernel/Memory.h"

#include <string>
#include <vector>

int16_t resError(); // the last result code, 0 after success

// Opens a resource file named by a Lisp path; the reference number, or -1 (resError tells why).
int openResourceFile(const std::string& lispPath, bool readOnly);
// Writes the file back and closes it; raises the mapped error when that fails.
void closeResourceFile(int refNum);
void updateResourceFile(int refNum); // raises the mapped error when the write-back fails
// Closes without writing anything back (what shutdown does after a failed write-back).
void discardResourceFile(int refNum);
int currentResourceFile();
void useResourceFile(int refNum);

// The data of a resource, loaded when needed: searched from the current file along the chain
// (or in the current file only). 0 when there is none (resError -192).
Handle getResource(ResType type, int16_t id);
Handle getResourceNamed(ResType type, const std::string& name);
Handle get1Resource(ResType type, int16_t id);
void releaseResource(Handle h);
// The Lisp value of a resource handle (pointer kind resource).
Value resourceValue(Handle h);

// Raises the Lisp error that a classic result code stands for, with nil or the given culprit.
[[noreturn]] void raiseResourceError(int16_t code, Value culprit);

// The home resource file. The boot asks for it before the Modules' preStart: an empty path means
// the image appended to the executable (else the file beside it with the extension RI).
void requestHomeResourceFile(const std::string& imageHostPath);
bool homeResourceFileOpened();
std::string homeResourceFileMissingPath(); // the path alert 5200 names when it is missing
// The raw bytes of PREF 256 (92 bytes, zero-padded, the title ends with a zero byte) as read by
// preStart; empty when no home file was opened.
const std::vector<uint8_t>& startupPreferences();

// Where a resource file starts inside an executable: past what the ELF headers account for, or
// the overlay of a Windows executable. 0 when the bytes are neither.
uint64_t executableOverlayStart(const uint8_t* head, size_t headLength, uint64_t fileSize,
                                bool (*readAt)(void* context, uint64_t offset, void* buffer, size_t count),
                                void* context);
