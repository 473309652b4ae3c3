// Interfac/Pathname.h: pathnames (lists of path components) and their native path strings.
//
// A native path is the Windows-style path Lisp sees (C:\dir\file, code page 1252); the host path
// is where it lives on disk (Platform/Files resolves drives and letter case).
#pragma once

#include "Kernel/Value.h"

#include <string>
#include <string_view>

constexpr size_t kMaxNativePath = 1022;

// The native path of a pathname: strings joined with "\", symbols replaced by their values, nested
// lists walked in place. Error 6 for an unbound symbol, 2 for a symbol bound to a symbol, for any
// other element and for a path longer than 1022 characters.
std::string nativePathOf(Value pathname);
// The pathname list of a native path.
Value pathnameOf(std::string_view nativePath);
// The strings of a pathname, symbols and nested lists resolved.
Value expandPathname(Value pathname);

// A path argument of the file primitives: a pathname, or a string holding a native path.
std::string nativePathArgument(Value path);
// The host path of a path argument; false when the namespace cannot express it (an unknown
// drive, an empty path, a name too long), with the host code in error.
bool hostPathOf(Value path, std::string& hostPath, int& error);
// The same, raising the file error with the path as culprit on failure.
std::string hostPathOrRaise(Value path);

// The pathname of a host path (absolute), nil when no drive holds it.
Value pathnameOfHostPath(const std::string& hostPath);

// Whether a name matches a pattern: alternatives separated by ";", "?" any character, "*" any run,
// letters compared ignoring case; a trailing ".*" also matches a name without extension.
bool matchFilename(std::string_view name, std::string_view pattern);
