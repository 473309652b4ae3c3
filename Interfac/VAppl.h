// Interfac/VAppl.h: the application object. Shell requests, start-up and activation changes
// become messages to the Lisp object in the global variable Appl; nothing is sent while it is nil.
#pragma once

#include "Kernel/Value.h"

#include <string>
#include <string_view>

// A request to open (or print) a document, by native path: an existing folder sends open-folder,
// an existing file open-file (or print-file) with its four-character type; a path that is neither
// sends nothing. Returns whether a message was sent.
bool applOpenDocument(std::string_view nativePath, bool print);
// A command of the shell or of a second copy of the program: [open("path")] or [print("path")],
// several in a row allowed. Returns the number of documents requested; malformed commands are
// passed over.
int applShellCommand(std::string_view command);
// Sends start-appl, once in the run.
void applStart();
// The program becomes the active application (Modules resume, then Appl), or stops being it
// (Appl is told, then the Modules suspend).
void applActivate(bool active);
// The value of creator in Appl's context; nil when Appl is nil.
Value applCreator();
