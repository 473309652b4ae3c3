// Platform/Files/Files.cpp: the Windows-style file namespace and byte files over POSIX.
#include "Platform/Files/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

FileError lastError()
{
    int e = errno;
    if (e == EWOULDBLOCK)
        return FileError::Busy;
    if (e == ENOTEMPTY)
        return FileError::NotEmpty;
    if (e == EDQUOT)
        return FileError::DiskFull;
    return e == 0 ? FileError::Io : static_cast<FileError>(e);
}

// ---- Code page 1252 -----------------------------------------------------------------------------

// Unicode of the bytes 0x80..0x9F. The five bytes without a character keep their C1 code point, as
// the Windows conversion does, so that every byte converts both ways.
const uint16_t kHighTable[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D,
    0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A,
    0x0153, 0x009D, 0x017E, 0x0178,
};

uint32_t unicodeOf(unsigned char c)
{
    return c >= 0x80 && c < 0xA0 ? kHighTable[c - 0x80] : c;
}

bool byteOf(uint32_t code, unsigned char& out)
{
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
        out = static_cast<unsigned char>(code);
        return true;
    }
    for (int i = 0; i < 32; ++i)
        if (kHighTable[i] == code) {
            out = static_cast<unsigned char>(0x80 + i);
            return true;
        }
    return false;
}

void appendUtf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// ---- Drives -------------------------------------------------------------------------------------

std::mutex gDriveLock;
std::vector<DriveInfo> gDrives;
bool gDrivesRead = false;

std::string normalisedRoot(std::string root)
{
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return root;
}

bool driveTypeNamed(std::string_view name, DriveType& type)
{
    static const struct { const char* name; DriveType type; } kTypes[] = {
        { "fixed", DriveType::Fixed }, { "removable", DriveType::Removable }, { "cdrom", DriveType::CdRom },
        { "remote", DriveType::Remote }, { "ramdisk", DriveType::RamDisk },
    };
    for (auto& t : kTypes)
        if (name == t.name) {
            type = t.type;
            return true;
        }
    return false;
}

std::vector<DriveInfo> parseDrives(std::string_view table)
{
    std::vector<DriveInfo> drives;
    auto add = [&](DriveInfo d) {
        for (auto& existing : drives)
            if (existing.letter == d.letter) {
                existing = d;
                return;
            }
        drives.push_back(d);
    };
    add({ 'C', "/", DriveType::Fixed });
    size_t start = 0;
    while (start <= table.size()) {
        size_t end = table.find_first_of(";,", start);
        if (end == std::string_view::npos)
            end = table.size();
        std::string_view entry = table.substr(start, end - start);
        start = end + 1;
        if (entry.size() < 4 || entry[1] != ':' || entry[2] != '=')
            continue;
        char letter = entry[0];
        if (letter >= 'a' && letter <= 'z')
            letter = static_cast<char>(letter - 'a' + 'A');
        if (letter < 'A' || letter > 'Z')
            continue;
        std::string_view root = entry.substr(3);
        DriveType type = DriveType::Fixed;
        size_t colon = root.rfind(':');
        if (colon != std::string_view::npos && driveTypeNamed(root.substr(colon + 1), type))
            root = root.substr(0, colon);
        if (root.empty() || root[0] != '/')
            continue;
        add({ letter, normalisedRoot(std::string(root)), type });
    }
    std::sort(drives.begin(), drives.end(), [](const DriveInfo& a, const DriveInfo& b) { return a.letter < b.letter; });
    return drives;
}

std::vector<DriveInfo> drives()
{
    std::lock_guard<std::mutex> guard(gDriveLock);
    if (!gDrivesRead) {
        const char* table = std::getenv("VELORA_DRIVES");
        gDrives = parseDrives(table ? table : "");
        gDrivesRead = true;
    }
    return gDrives;
}

bool driveRoot(char letter, std::string& root)
{
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    for (auto& d : drives())
        if (d.letter == letter) {
            root = d.root;
            return true;
        }
    return false;
}

std::string joinHost(const std::string& base, const std::string& name)
{
    if (base.empty())
        return name;
    return base.back() == '/' ? base + name : base + "/" + name;
}

bool exists(const std::string& hostPath)
{
    struct stat st {};
    return lstat(hostPath.c_str(), &st) == 0;
}

// The entry of folder equal to name (code page 1252) ignoring case.
bool findIgnoringCase(const std::string& folder, std::string_view name, std::string& found)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return false;
    bool ok = false;
    std::string converted;
    while (dirent* e = readdir(dir)) {
        if (utf8ToCp1252(e->d_name, converted) && cp1252EqualIgnoringCase(converted, name)) {
            found = e->d_name;
            ok = true;
            break;
        }
    }
    closedir(dir);
    return ok;
}

const char* environment(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

std::string homeFolder()
{
    if (const char* home = environment("HOME"))
        return home;
    if (passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

std::string xdgFolder(const char* variable, const char* fallback)
{
    if (const char* value = environment(variable); value && value[0] == '/')
        return normalisedRoot(value);
    return joinHost(homeFolder(), fallback);
}

int64_t nanoseconds(const statx_timestamp& t)
{
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

bool isDotName(const std::string& hostPath)
{
    size_t slash = hostPath.rfind('/');
    std::string_view name = slash == std::string::npos ? std::string_view(hostPath)
                                                       : std::string_view(hostPath).substr(slash + 1);
    return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

constexpr const char* kHiddenAttribute = "user.velora.hidden";

} // namespace

// ---- Names --------------------------------------------------------------------------------------

std::string cp1252ToUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text)
        appendUtf8(out, unicodeOf(c));
    return out;
}

bool utf8ToCp1252(std::string_view text, std::string& out)
{
    out.clear();
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        uint32_t code;
        size_t length;
        if (c < 0x80) {
            code = c;
            length = 1;
        } else if (c >= 0xC2 && c < 0xE0) {
            code = c & 0x1F;
            length = 2;
        } else if (c >= 0xE0 && c < 0xF0) {
            code = c & 0x0F;
            length = 3;
        } else {
            return false; // four-byte sequences are beyond code page 1252 anyway
        }
        if (i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (length == 3 && code < 0x800)
            return false; // overlong
        unsigned char byte;
        if (!byteOf(code, byte))
            return false;
        out.push_back(static_cast<char>(byte));
        i += length;
    }
    return true;
}

std::string utf8ToCp1252(std::string_view text, bool& ok)
{
    ok = true;
    std::string out, one;
    size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80 ? 1 : c >= 0xC2 && c < 0xE0 ? 2 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xF0 && c < 0xF5 ? 4 : 1;
        length = std::min(length, text.size() - i);
        bool whole = true; // the lead byte's continuation bytes are all there
        for (size_t k = 1; k < length; ++k)
            whole = whole && (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (!whole)
            length = 1;
        if (utf8ToCp1252(text.substr(i, length), one))
            out += one;
        else
            ok = false;
        i += length;
    }
    return out;
}

unsigned char cp1252Lower(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<unsigned char>(c + 32);
    switch (c) {
    case 0x8A: return 0x9A;
    case 0x8C: return 0x9C;
    case 0x8E: return 0x9E;
    case 0x9F: return 0xFF;
    default: return c;
    }
}

bool cp1252EqualIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (cp1252Lower(static_cast<unsigned char>(a[i])) != cp1252Lower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// ---- Drives --------------------------------------------------------------------------------------

void filesSetDrives(std::string_view table)
{
    std::lock_guard<std::mutex> guard(gDriveLock);
    gDrives = parseDrives(table);
    gDrivesRead = true;
}

std::vector<DriveInfo> filesDrives()
{
    return drives();
}

DriveType filesDriveType(char letter)
{
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    for (auto& d : drives())
        if (d.letter == letter)
            return d.type;
    return DriveType::NoRoot;
}

FileError filesVolumeFreeBytes(const std::string& hostPath, uint64_t& bytes)
{
    struct statvfs st {};
    if (statvfs(hostPath.c_str(), &st) != 0)
        return lastError();
    bytes = uint64_t(st.f_bavail) * st.f_frsize;
    return FileError::None;
}

// ---- Paths ---------------------------------------------------------------------------------------

FileError filesHostPath(std::string_view lispPath, std::string& hostPath)
{
    if (lispPath.find('\0') != std::string_view::npos)
        return FileError::Invalid;
    std::string base;
    std::string_view rest = lispPath;
    if (rest.size() >= 2 && rest[1] == ':' && ((rest[0] | 0x20) >= 'a' && (rest[0] | 0x20) <= 'z')) {
        if (!driveRoot(rest[0], base))
            return FileError::Invalid;
        rest.remove_prefix(2);
    } else if (!rest.empty() && (rest[0] == '\\' || rest[0] == '/')) {
        if (!driveRoot('C', base)) {
            auto all = drives();
            if (all.empty())
                return FileError::Invalid;
            base = all.front().root;
        }
    } else {
        base = filesCurrentFolder();
    }
    bool resolving = true;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find_first_of("\\/", start);
        if (end == std::string_view::npos)
            end = rest.size();
        std::string_view component = rest.substr(start, end - start);
        start = end + 1;
        if (component.empty())
            continue;
        std::string name = cp1252ToUtf8(component);
        if (name.size() > NAME_MAX)
            return FileError::NameTooLong;
        std::string exact = joinHost(base, name);
        if (resolving && !exists(exact)) {
            std::string found;
            if (component != "." && component != ".." && findIgnoringCase(base, component, found))
                exact = joinHost(base, found);
            else
                resolving = false;
        }
        base = std::move(exact);
        if (base.size() >= PATH_MAX)
            return FileError::NameTooLong;
    }
    hostPath = std::move(base);
    return FileError::None;
}

bool filesLispPath(std::string_view hostPath, std::string& lispPath)
{
    if (hostPath.empty() || hostPath[0] != '/')
        return false;
    const DriveInfo* best = nullptr;
    auto all = drives();
    for (auto& d : all) {
        bool inside = d.root == "/" ||
                      (hostPath.substr(0, d.root.size()) == d.root &&
                       (hostPath.size() == d.root.size() || hostPath[d.root.size()] == '/'));
        if (inside && (!best || d.root.size() > best->root.size()))
            best = &d;
    }
    if (!best)
        return false;
    std::string_view rest = best->root == "/" ? hostPath : hostPath.substr(best->root.size());
    std::string converted;
    if (!utf8ToCp1252(rest, converted))
        return false;
    lispPath.assign(1, best->letter);
    lispPath += ":";
    size_t start = 0;
    bool any = false;
    while (start <= converted.size()) {
        size_t end = converted.find('/', start);
        if (end == std::string::npos)
            end = converted.size();
        if (end > start) {
            lispPath += "\\";
            lispPath.append(converted, start, end - start);
            any = true;
        }
        start = end + 1;
    }
    if (!any)
        lispPath += "\\";
    return true;
}

std::string filesCurrentFolder()
{
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer))
        return buffer;
    return "/";
}

// ---- Folders and entries -------------------------------------------------------------------------

FileError filesInfo(const std::string& hostPath, FileInfo& info)
{
    struct statx st {};
    if (statx(AT_FDCWD, hostPath.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &st) != 0)
        return lastError();
    info = FileInfo {};
    info.isFolder = S_ISDIR(st.stx_mode);
    info.readOnly = (st.stx_mode & 0222) == 0;
    info.size = st.stx_size;
    info.accessTime = nanoseconds(st.stx_atime);
    info.modificationTime = nanoseconds(st.stx_mtime);
    info.hasBirthTime = (st.stx_mask & STATX_BTIME) != 0;
    info.creationTime = info.hasBirthTime ? nanoseconds(st.stx_btime) : nanoseconds(st.stx_ctime);
    struct stat link {};
    info.isLink = lstat(hostPath.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
    char flag = 0;
    info.hidden = isDotName(hostPath) ||
                  (getxattr(hostPath.c_str(), kHiddenAttribute, &flag, 1) == 1 && flag == '1');
    return FileError::None;
}

bool filesIsFile(const std::string& hostPath)
{
    struct stat st {};
    return stat(hostPath.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool filesIsFolder(const std::string& hostPath)
{
    struct stat st {};
    return stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool filesSameFile(const std::string& a, const std::string& b)
{
    struct stat sa {}, sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

FileError filesSetTimes(const std::string& hostPath, int64_t accessTime, int64_t modificationTime)
{
    timespec times[2];
    auto set = [](timespec& t, int64_t ns) {
        if (ns < 0) {
            t.tv_sec = 0;
            t.tv_nsec = UTIME_OMIT;
        } else {
            t.tv_sec = ns / 1000000000;
            t.tv_nsec = ns % 1000000000;
        }
    };
    set(times[0], accessTime);
    set(times[1], modificationTime);
    if (utimensat(AT_FDCWD, hostPath.c_str(), times, 0) != 0)
        return lastError();
    return FileError::None;
}

FileError filesSetReadOnly(const std::string& hostPath, bool readOnly)
{
    struct stat st {};
    if (stat(hostPath.c_str(), &st) != 0)
        return lastError();
    mode_t mode = st.st_mode & 07777;
    mode = readOnly ? (mode & ~mode_t(0222)) : (mode | 0200);
    if (chmod(hostPath.c_str(), mode) != 0)
        return lastError();
    return FileError::None;
}

FileError filesSetHidden(const std::string& hostPath, bool hidden)
{
    if (!exists(hostPath))
        return FileError::NotFound;
    if (hidden) {
        return setxattr(hostPath.c_str(), kHiddenAttribute, "1", 1, 0) == 0 ? FileError::None : lastError();
    }
    if (isDotName(hostPath))
        return FileError::NotSupported; // a dot name stays hidden
    if (removexattr(hostPath.c_str(), kHiddenAttribute) != 0 && errno != ENODATA && errno != EOPNOTSUPP)
        return lastError();
    return FileError::None;
}

FileError filesCreateFolder(const std::string& hostPath)
{
    return mkdir(hostPath.c_str(), 0777) == 0 ? FileError::None : lastError();
}

FileError filesRemoveFolder(const std::string& hostPath)
{
    return rmdir(hostPath.c_str()) == 0 ? FileError::None : lastError();
}

FileError filesRemove(const std::string& hostPath)
{
    struct stat st {};
    if (lstat(hostPath.c_str(), &st) != 0)
        return lastError();
    if (S_ISDIR(st.st_mode))
        return FileError::IsFolder;
    return unlink(hostPath.c_str()) == 0 ? FileError::None : lastError();
}

FileError filesRename(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return FileError::None;
    if (errno != EINVAL && errno != ENOSYS)
        return lastError();
    // A file system without the no-replace rename: check, then rename.
    if (exists(to))
        return FileError::Exists;
    return rename(from.c_str(), to.c_str()) == 0 ? FileError::None : lastError();
}

FileError filesReplace(const std::string& from, const std::string& to)
{
    return rename(from.c_str(), to.c_str()) == 0 ? FileError::None : lastError();
}

FileError filesReadLink(const std::string& hostPath, std::string& target)
{
    char buffer[PATH_MAX];
    ssize_t n = readlink(hostPath.c_str(), buffer, sizeof buffer);
    if (n < 0)
        return lastError();
    if (size_t(n) >= sizeof buffer)
        return FileError::NameTooLong;
    target.assign(buffer, size_t(n));
    return FileError::None;
}

FileError filesMakeLink(const std::string& target, const std::string& linkPath)
{
    return symlink(target.c_str(), linkPath.c_str()) == 0 ? FileError::None : lastError();
}

FileError filesList(const std::string& hostPath, std::vector<FolderEntry>& entries)
{
    entries.clear();
    DIR* dir = opendir(hostPath.c_str());
    if (!dir)
        return lastError();
    std::string name;
    while (dirent* e = readdir(dir)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, ".."))
            continue;
        if (!utf8ToCp1252(e->d_name, name))
            continue;
        bool folder = e->d_type == DT_DIR;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st {};
            folder = fstatat(dirfd(dir), e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        entries.push_back({ name, folder });
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return FileError::None;
}

// ---- Byte files ----------------------------------------------------------------------------------

HostFile::~HostFile()
{
    close();
}

HostFile::HostFile(HostFile&& other) noexcept : m_fd(other.m_fd), m_writable(other.m_writable)
{
    other.m_fd = -1;
}

HostFile& HostFile::operator=(HostFile&& other) noexcept
{
    if (this != &other) {
        close();
        m_fd = other.m_fd;
        m_writable = other.m_writable;
        other.m_fd = -1;
    }
    return *this;
}

FileError HostFile::open(const std::string& hostPath, FileAccess access, FileCreate create)
{
    close();
    if (hostPath.empty())
        return FileError::NotFound;
    int flags = O_CLOEXEC | (access == FileAccess::Read ? O_RDONLY : O_RDWR);
    switch (create) {
    case FileCreate::Existing: break;
    case FileCreate::IfMissing: flags |= O_CREAT; break;
    case FileCreate::Exclusive: flags |= O_CREAT | O_EXCL; break;
    case FileCreate::Truncate: flags |= O_CREAT | O_TRUNC; break;
    }
    if (access == FileAccess::Read && create != FileCreate::Existing)
        return FileError::Invalid;
    int fd;
    do
        fd = ::open(hostPath.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return lastError();
    struct stat st {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return FileError::IsFolder;
    }
    m_fd = fd;
    m_writable = access == FileAccess::ReadWrite;
    return FileError::None;
}

FileError HostFile::read(uint64_t offset, void* buffer, size_t count, size_t& done)
{
    done = 0;
    if (m_fd < 0)
        return FileError::BadHandle;
    if (offset > uint64_t(INT64_MAX) - count)
        return FileError::Invalid;
    auto* out = static_cast<char*>(buffer);
    while (done < count) {
        ssize_t n = pread(m_fd, out + done, count - done, off_t(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        if (n == 0)
            break;
        done += size_t(n);
    }
    return FileError::None;
}

FileError HostFile::write(uint64_t offset, const void* data, size_t count)
{
    if (m_fd < 0)
        return FileError::BadHandle;
    if (!m_writable)
        return FileError::AccessDenied;
    if (offset > uint64_t(INT64_MAX) - count)
        return FileError::FileTooLarge;
    auto* in = static_cast<const char*>(data);
    size_t done = 0;
    while (done < count) {
        ssize_t n = pwrite(m_fd, in + done, count - done, off_t(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        if (n == 0)
            return FileError::DiskFull;
        done += size_t(n);
    }
    return FileError::None;
}

FileError HostFile::size(uint64_t& bytes) const
{
    struct stat st {};
    if (m_fd < 0)
        return FileError::BadHandle;
    if (fstat(m_fd, &st) != 0)
        return lastError();
    bytes = uint64_t(st.st_size);
    return FileError::None;
}

FileError HostFile::setSize(uint64_t bytes)
{
    if (m_fd < 0)
        return FileError::BadHandle;
    if (!m_writable)
        return FileError::AccessDenied;
    if (bytes > uint64_t(INT64_MAX))
        return FileError::FileTooLarge;
    int r;
    do
        r = ftruncate(m_fd, off_t(bytes));
    while (r != 0 && errno == EINTR);
    return r == 0 ? FileError::None : lastError();
}

FileError HostFile::sync()
{
    if (m_fd < 0)
        return FileError::BadHandle;
    return fsync(m_fd) == 0 ? FileError::None : lastError();
}

FileError HostFile::tryLock()
{
    if (m_fd < 0)
        return FileError::BadHandle;
    int r;
    do
        r = flock(m_fd, LOCK_EX | LOCK_NB);
    while (r != 0 && errno == EINTR);
    return r == 0 ? FileError::None : lastError();
}

void HostFile::unlock()
{
    if (m_fd >= 0)
        flock(m_fd, LOCK_UN);
}

FileError HostFile::info(FileInfo& info) const
{
    if (m_fd < 0)
        return FileError::BadHandle;
    struct statx st {};
    if (statx(m_fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &st) != 0)
        return lastError();
    info = FileInfo {};
    info.isFolder = S_ISDIR(st.stx_mode);
    info.readOnly = (st.stx_mode & 0222) == 0;
    info.size = st.stx_size;
    info.accessTime = nanoseconds(st.stx_atime);
    info.modificationTime = nanoseconds(st.stx_mtime);
    info.hasBirthTime = (st.stx_mask & STATX_BTIME) != 0;
    info.creationTime = info.hasBirthTime ? nanoseconds(st.stx_btime) : nanoseconds(st.stx_ctime);
    return FileError::None;
}

FileError HostFile::close()
{
    if (m_fd < 0)
        return FileError::None;
    int fd = m_fd;
    m_fd = -1;
    m_writable = false;
    // The descriptor is gone even when close reports an error (EINTR included), so never retry.
    return ::close(fd) == 0 ? FileError::None : lastError();
}

FileError filesCopyRange(HostFile& from, uint64_t fromOffset, HostFile& to, uint64_t toOffset, uint64_t count,
                         uint64_t& done)
{
    done = 0;
    if (!from.isOpen() || !to.isOpen())
        return FileError::BadHandle;
    if (!to.writable())
        return FileError::AccessDenied;
    // copy_file_range moves the data inside the kernel (or shares extents); the fallback copies
    // through a buffer.
    static constexpr size_t kStep = 1u << 30;
    bool kernelCopy = true;
    std::vector<char> buffer;
    while (done < count) {
        size_t step = size_t(std::min<uint64_t>(count - done, kStep));
        if (kernelCopy) {
            loff_t in = loff_t(fromOffset + done), out = loff_t(toOffset + done);
            ssize_t n = copy_file_range(from.m_fd, &in, to.m_fd, &out, step, 0);
            if (n > 0) {
                done += uint64_t(n);
                continue;
            }
            if (n == 0)
                break;
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP && errno != EBADF)
                return lastError();
            kernelCopy = false;
        }
        if (buffer.empty())
            buffer.resize(1u << 20);
        size_t chunk = std::min(step, buffer.size());
        size_t got = 0;
        if (FileError e = from.read(fromOffset + done, buffer.data(), chunk, got); failed(e))
            return e;
        if (got == 0)
            break;
        if (FileError e = to.write(toOffset + done, buffer.data(), got); failed(e))
            return e;
        done += got;
    }
    return FileError::None;
}

// ---- Temporary files and special folders ---------------------------------------------------------

std::string filesTemporaryFolder()
{
    if (const char* tmp = environment("TMPDIR"); tmp && tmp[0] == '/' && filesIsFolder(tmp))
        return normalisedRoot(tmp);
    return "/tmp";
}

FileError filesCreateTemporary(const std::string& folder, std::string_view prefix, std::string_view suffix,
                               HostFile& file, std::string& hostPath)
{
    file.close();
    for (unsigned n = 1; n < 1000000; ++n) {
        std::string path = joinHost(folder, std::string(prefix) + std::to_string(n) + std::string(suffix));
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EINTR)
                --n; // the same name again
            if (errno == EEXIST || errno == EINTR)
                continue;
            return lastError();
        }
        file.m_fd = fd;
        file.m_writable = true;
        if (FileError e = file.tryLock(); failed(e)) {
            file.close();
            unlink(path.c_str());
            return e;
        }
        hostPath = std::move(path);
        return FileError::None;
    }
    return FileError::Exists;
}

bool filesIsLocked(const std::string& hostPath)
{
    int fd = ::open(hostPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd); // releases the lock taken here, if any
    return locked;
}

std::string filesSpecialFolder(SpecialFolder which)
{
    auto overridden = [](const char* variable, std::string fallback) {
        if (const char* value = environment(variable); value && value[0] == '/')
            return normalisedRoot(value);
        return fallback;
    };
    switch (which) {
    case SpecialFolder::ApplicationData:
        return overridden("VELORA_APPDATA_DIR", xdgFolder("XDG_CONFIG_HOME", ".config"));
    case SpecialFolder::ProgramFiles:
        return overridden("VELORA_PROGRAMS_DIR", joinHost(xdgFolder("XDG_DATA_HOME", ".local/share"), "velora/Programs"));
    case SpecialFolder::ProgramMenu:
        return overridden("VELORA_PROGRAM_MENU_DIR",
                          joinHost(xdgFolder("XDG_DATA_HOME", ".local/share"), "velora/Start Menu/Programs"));
    case SpecialFolder::Desktop:
        return overridden("VELORA_DESKTOP_DIR", joinHost(homeFolder(), "Desktop"));
    case SpecialFolder::Temporary:
        return filesTemporaryFolder();
    case SpecialFolder::Windows:
        return overridden("VELORA_WINDOWS_DIR", filesSpecialFolder(SpecialFolder::ApplicationData));
    }
    return "/";
}

FileError filesCreateFolders(const std::string& hostPath)
{
    if (hostPath.empty() || filesIsFolder(hostPath))
        return FileError::None;
    size_t slash = hostPath.find_last_of('/');
    if (slash != std::string::npos && slash > 0)
        if (FileError e = filesCreateFolders(hostPath.substr(0, slash)); failed(e))
            return e;
    FileError e = filesCreateFolder(hostPath);
    return e == FileError::Exists && filesIsFolder(hostPath) ? FileError::None : e;
}
