// Interfac/File.h: what the file primitives share with the units that keep files of their own
// kind (resource files and record databases store a type and a creator in their headers).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Clock seconds (seconds since 1970-01-01 00:00 UTC plus 2082826800) of a host time in nanoseconds
// since 1970, and back.
constexpr int64_t kClockSecondsAt1970 = 2082826800;
inline int64_t clockSecondsOf(int64_t nanoseconds)
{
    int64_t seconds = nanoseconds / 1000000000;
    if (nanoseconds % 1000000000 < 0)
        --seconds;
    return seconds + kClockSecondsAt1970;
}
inline int64_t nanosecondsOfClock(int64_t clockSeconds) { return (clockSeconds - kClockSecondsAt1970) * 1000000000; }
// Platform file times: 100-nanosecond units since 1601-01-01.
constexpr int64_t kFileTimeAt1970 = 116444736000000000;
inline int64_t fileTimeOf(int64_t nanoseconds) { return nanoseconds / 100 + kFileTimeAt1970; }
inline int64_t nanosecondsOfFileTime(int64_t fileTime) { return (fileTime - kFileTimeAt1970) * 100; }

// The type of a plain file from its name: "PICT" for .pi? .pct, "JPEG" for .jpg and .jpeg,
// "PNGf" for .png, "MooV" for .mv? .mov, else "TEXT" (only three extension characters count).
std::string fileTypeFromName(std::string_view name);

// A unit whose files keep their own type and creator. read answers false when the file is none
// of its kind; write stores a code (either may be null) and answers false likewise.
struct FileCodeHandler {
    bool (*read)(const std::string& hostPath, std::string& type, std::string& creator);
    bool (*write)(const std::string& hostPath, const std::string* type, const std::string* creator);
};
void addFileCodeHandler(const FileCodeHandler& handler);
// The type and creator of a file: a handler's, else the name's type and four spaces.
void fileCodes(const std::string& hostPath, std::string& type, std::string& creator);
// Stores codes through the first handler that takes the file; plain files keep none.
void setFileCodes(const std::string& hostPath, const std::string* type, const std::string* creator);

// Copies type, creator, and access and modification times (the host keeps no settable creation
// time) from one file to another; false when a time could not be set.
bool copyFileInformation(const std::string& fromHost, const std::string& toHost);
