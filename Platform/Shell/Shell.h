// Platform/Shell/Shell.h: starting programs and opening documents, program-menu entries, and the
// registry of document classes, on a Linux desktop. Shortcuts are symbolic links (Files.h makes
// and reads them). Everything reports failure by its result and never throws.
#pragma once

#include <string>
#include <string_view>

// ---- Programs and documents ----------------------------------------------------------------------

// A program started here. handle names it for shellProgramRunning; it is never 0.
struct StartedProgram {
    int handle = 0;
    int pid = 0;
};

// Starts the executable at hostPath with no arguments, no inherited descriptors but the standard
// three, the parent's environment and current folder. False when it cannot be started.
bool shellStartProgram(const std::string& hostPath, StartedProgram& started);
// Whether the program started under handle has not exited yet; false for a handle not given here.
bool shellProgramRunning(int handle);
// Opens a document with the desktop's opener (xdg-open, or $VELORA_OPENER for tests), spawned
// directly, never through a shell. A path beginning with "-" is refused, as it would read as an
// option. True when the opener was started.
bool shellOpenDocument(const std::string& hostPath);

// ---- Program menu --------------------------------------------------------------------------------

// The folder of the desktop's menu entries: $XDG_DATA_HOME/applications (~/.local/share/applications).
std::string shellMenuEntryFolder();
// Writes (or replaces) the freedesktop entry that shows a program item in the desktop's menu.
// group and item are code page 1252; targetHostPath is the item's target.
bool shellWriteMenuEntry(std::string_view group, std::string_view item, const std::string& targetHostPath);
// Removes that entry; false when there was none.
bool shellRemoveMenuEntry(std::string_view group, std::string_view item);
// The entry's file name, for tests and for the clean-up of a whole group.
std::string shellMenuEntryPath(std::string_view group, std::string_view item);

// ---- Registry of document classes ----------------------------------------------------------------
// Default values of keys below the classes root, kept in one text file under the application-data
// folder and replaced atomically on every change. Keys are paths with "\" separators, compared
// ignoring letter case (code page 1252).

std::string shellRegistryPath();
bool shellRegistrySet(std::string_view key, std::string_view value);
// Deletes the key and every key below it; false when there was no such key or the file could not
// be written.
bool shellRegistryDelete(std::string_view key);
bool shellRegistryGet(std::string_view key, std::string& value);
