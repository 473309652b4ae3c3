// Platform/Shell/Shell.cpp: programs, documents, menu entries and the registry on the host.
#include "Platform/Shell/Shell.h"

#include "Platform/Files/Files.h"

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

extern char** environ;

namespace {

// ---- Processes ----

struct ProgramRecord {
    pid_t pid;
    bool exited;
};
std::vector<ProgramRecord> gPrograms; // index + 1 is the handle
std::vector<pid_t> gOpeners;          // document openers, reaped when they end

void reapOpeners()
{
    std::erase_if(gOpeners, [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; });
}

// Spawns file with argv (found on PATH when search is set); the child keeps only descriptors 0-2
// open, since every descriptor of the runtime is opened close-on-exec.
bool spawn(const char* file, char* const argv[], bool search, pid_t& pid)
{
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0)
        return false;
    // Signals the runtime ignores or handles go back to their defaults in the child.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGCHLD);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    int error = search ? posix_spawnp(&pid, file, nullptr, &attributes, argv, environ)
                       : posix_spawn(&pid, file, nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    return error == 0;
}

// ---- Folders ----

std::string homeFolder()
{
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/";
}

// Creates hostPath and the folders above it that are missing.
bool ensureFolder(const std::string& hostPath)
{
    if (hostPath.empty() || filesIsFolder(hostPath))
        return true;
    size_t slash = hostPath.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !ensureFolder(hostPath.substr(0, slash)))
        return false;
    FileError e = filesCreateFolder(hostPath);
    return !failed(e) || e == FileError::Exists;
}

// Replaces path with text: written to a temporary file beside it, synced, then renamed over it,
// so that a reader sees either the old file or the new one, never a part.
bool replaceFile(const std::string& path, const std::string& text)
{
    size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    if (!ensureFolder(folder))
        return false;
    HostFile file;
    std::string temporary;
    if (failed(filesCreateTemporary(folder, ".velora-write-", ".tmp", file, temporary)))
        return false;
    bool ok = !failed(file.write(0, text.data(), text.size())) && !failed(file.sync());
    file.close();
    if (ok && !failed(filesReplace(temporary, path)))
        return true;
    filesRemove(temporary);
    return false;
}

bool readWholeFile(const std::string& path, std::string& text)
{
    HostFile file;
    if (failed(file.open(path, FileAccess::Read, FileCreate::Existing)))
        return false;
    uint64_t size = 0;
    if (failed(file.size(size)) || size > (64u << 20))
        return false;
    text.resize(size);
    size_t done = 0;
    if (failed(file.read(0, text.data(), text.size(), done)))
        return false;
    text.resize(done);
    return true;
}

// ---- Menu entries ----

// A name part of a file name: letters, digits, "-" and "_" as they are, anything else as "_XX".
std::string fileNamePart(std::string_view text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-')
            out.push_back(static_cast<char>(c));
        else {
            out.push_back('_');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

// A value of a desktop entry: line ends and backslashes escaped.
std::string entryValue(std::string_view utf8)
{
    std::string out;
    for (char c : utf8) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\\')
            out += "\\\\";
        else
            out.push_back(c);
    }
    return out;
}

// An argument of an Exec line: in double quotes, with ", `, $ and \ escaped by a backslash, and
// "%" doubled (field codes); the whole is then escaped once more as a value.
std::string execArgument(std::string_view utf8)
{
    std::string out = "\"";
    for (char c : utf8) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            out.push_back('\\');
        if (c == '%')
            out.push_back('%');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

// ---- Registry ----

struct RegistryEntry {
    std::string key;   // code page 1252, as first given
    std::string value;
};

std::string escapeField(std::string_view text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\0': out += "\\0"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

bool unescapeField(std::string_view text, std::string& out)
{
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text[i]) {
        case '\\': out.push_back('\\'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case '0': out.push_back('\0'); break;
        default: return false;
        }
    }
    return true;
}

constexpr std::string_view kRegistryHeader = "velora registry 1";

// The entries of the registry file; a missing file is an empty registry, and lines that do not
// read are passed over (a damaged file loses those keys, not the others).
std::vector<RegistryEntry> readRegistry()
{
    std::vector<RegistryEntry> entries;
    std::string text;
    if (!readWholeFile(shellRegistryPath(), text))
        return entries;
    size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + start, end - start);
        start = end + 1;
        if (first) {
            first = false;
            if (line == kRegistryHeader)
                continue;
        }
        size_t tab = line.find('\t');
        RegistryEntry entry;
        if (tab == std::string_view::npos || !unescapeField(line.substr(0, tab), entry.key)
            || !unescapeField(line.substr(tab + 1), entry.value) || entry.key.empty())
            continue;
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool writeRegistry(const std::vector<RegistryEntry>& entries)
{
    std::string text(kRegistryHeader);
    text.push_back('\n');
    for (const RegistryEntry& entry : entries)
        text += escapeField(entry.key) + "\t" + escapeField(entry.value) + "\n";
    return replaceFile(shellRegistryPath(), text);
}

// A key without leading and trailing separators; empty for a key that names nothing.
std::string normalKey(std::string_view key)
{
    while (!key.empty() && key.front() == '\\')
        key.remove_prefix(1);
    while (!key.empty() && key.back() == '\\')
        key.remove_suffix(1);
    return std::string(key);
}

// Whether key is below or equal to parent, ignoring letter case.
bool keyWithin(std::string_view key, std::string_view parent)
{
    if (key.size() < parent.size() || !cp1252EqualIgnoringCase(key.substr(0, parent.size()), parent))
        return false;
    return key.size() == parent.size() || key[parent.size()] == '\\';
}

} // namespace

bool shellStartProgram(const std::string& hostPath, StartedProgram& started)
{
    reapOpeners();
    std::string path = hostPath;
    char* argv[] = { path.data(), nullptr };
    pid_t pid = 0;
    if (!spawn(path.c_str(), argv, false, pid))
        return false;
    gPrograms.push_back({ pid, false });
    started.handle = static_cast<int>(gPrograms.size());
    started.pid = static_cast<int>(pid);
    return true;
}

bool shellProgramRunning(int handle)
{
    reapOpeners();
    if (handle <= 0 || static_cast<size_t>(handle) > gPrograms.size())
        return false;
    ProgramRecord& record = gPrograms[static_cast<size_t>(handle) - 1];
    if (!record.exited) {
        pid_t result = waitpid(record.pid, nullptr, WNOHANG);
        if (result == record.pid || (result < 0 && errno == ECHILD))
            record.exited = true;
    }
    return !record.exited;
}

bool shellOpenDocument(const std::string& hostPath)
{
    reapOpeners();
    if (hostPath.empty() || hostPath[0] == '-')
        return false;
    const char* opener = std::getenv("VELORA_OPENER");
    std::string program = opener && *opener ? opener : "xdg-open";
    std::string path = hostPath;
    char* argv[] = { program.data(), path.data(), nullptr };
    pid_t pid = 0;
    if (!spawn(program.c_str(), argv, true, pid))
        return false;
    gOpeners.push_back(pid);
    return true;
}

std::string shellMenuEntryFolder()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base = data && *data == '/' ? data : homeFolder() + "/.local/share";
    return base + "/applications";
}

std::string shellMenuEntryPath(std::string_view group, std::string_view item)
{
    return shellMenuEntryFolder() + "/velora-" + fileNamePart(group) + "--" + fileNamePart(item) + ".desktop";
}

bool shellWriteMenuEntry(std::string_view group, std::string_view item, const std::string& targetHostPath)
{
    std::string text = "[Desktop Entry]\nType=Application\n";
    text += "Name=" + entryValue(cp1252ToUtf8(item)) + "\n";
    text += "Comment=" + entryValue(cp1252ToUtf8(group)) + "\n";
    // A program runs itself; anything else opens with the desktop's opener.
    bool program = filesIsFile(targetHostPath) && access(targetHostPath.c_str(), X_OK) == 0;
    std::string exec = program ? execArgument(targetHostPath) : "xdg-open " + execArgument(targetHostPath);
    text += "Exec=" + entryValue(exec) + "\n";
    text += "Categories=Velora;\nX-Velora-Group=" + entryValue(cp1252ToUtf8(group)) + "\n";
    return replaceFile(shellMenuEntryPath(group, item), text);
}

bool shellRemoveMenuEntry(std::string_view group, std::string_view item)
{
    return !failed(filesRemove(shellMenuEntryPath(group, item)));
}

std::string shellRegistryPath() { return filesSpecialFolder(SpecialFolder::ApplicationData) + "/velora/registry"; }

bool shellRegistrySet(std::string_view key, std::string_view value)
{
    std::string name = normalKey(key);
    if (name.empty())
        return false;
    std::vector<RegistryEntry> entries = readRegistry();
    bool found = false;
    for (RegistryEntry& entry : entries)
        if (entry.key.size() == name.size() && cp1252EqualIgnoringCase(entry.key, name)) {
            entry.value = std::string(value);
            found = true;
        }
    if (!found)
        entries.push_back({ name, std::string(value) });
    return writeRegistry(entries);
}

bool shellRegistryDelete(std::string_view key)
{
    std::string name = normalKey(key);
    if (name.empty())
        return false;
    std::vector<RegistryEntry> entries = readRegistry();
    size_t before = entries.size();
    std::erase_if(entries, [&](const RegistryEntry& entry) { return keyWithin(entry.key, name); });
    return entries.size() != before && writeRegistry(entries);
}

bool shellRegistryGet(std::string_view key, std::string& value)
{
    std::string name = normalKey(key);
    for (const RegistryEntry& entry : readRegistry())
        if (entry.key.size() == name.size() && cp1252EqualIgnoringCase(entry.key, name)) {
            value = entry.value;
            return true;
        }
    return false;
}
