// Platform/Files/Files.h: the host's files, folders and volumes under a Windows-style namespace.
//
// Lisp names files with paths such as C:\dir\file, in code page 1252. A drive table maps drive
// letters to host folders (C: is / unless VELORA_DRIVES says otherwise); a path component that
// does not exist exactly is matched against the folder's entries ignoring letter case. Names on
// disk are UTF-8. Everything here reports failures as a FileError and never throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Result codes. The values are the host's error numbers, so an unnamed failure keeps its number;
// the file errors of the runtime map 2, 17, 24 and 28 specially and report any other code as is.
enum class FileError : int {
    None = 0,
    NotPermitted = 1,
    NotFound = 2,
    Io = 5,
    BadHandle = 9,
    Busy = 11,        // a lock or exclusive use is held by someone else
    NoMemory = 12,
    AccessDenied = 13,
    Exists = 17,
    CrossDevice = 18,
    NotFolder = 20,
    IsFolder = 21,
    Invalid = 22,     // a name that cannot be expressed on the host, a bad argument
    TooManyOpen = 24,
    FileTooLarge = 27,
    DiskFull = 28,
    ReadOnlyVolume = 30,
    NameTooLong = 36,
    NotEmpty = 39,
    Loop = 40,
    NotSupported = 95,
};

inline bool failed(FileError e) { return e != FileError::None; }

// ---- Names: code page 1252 inside, UTF-8 on disk ------------------------------------------------

std::string cp1252ToUtf8(std::string_view text);
// False (out unspecified) when the text is not UTF-8 or holds a character code page 1252 lacks.
bool utf8ToCp1252(std::string_view text, std::string& out);
// The same for text from outside (typed text, replay lines): characters code page 1252 lacks and
// malformed bytes are left out, and ok tells whether any was.
std::string utf8ToCp1252(std::string_view text, bool& ok);
// The lower-case form of a code page 1252 byte (ASCII, the Latin-1 letters, Š, Œ, Ž, Ÿ).
unsigned char cp1252Lower(unsigned char c);
bool cp1252EqualIgnoringCase(std::string_view a, std::string_view b);

// ---- Drives --------------------------------------------------------------------------------------

// The classic drive types.
enum class DriveType : int { Unknown = 0, NoRoot = 1, Removable = 2, Fixed = 3, Remote = 4, CdRom = 5, RamDisk = 6 };

struct DriveInfo {
    char letter;       // upper case, 'A'..'Z'
    std::string root;  // host folder, absolute, no trailing slash except for "/"
    DriveType type;
};

// Replaces the drive table from a list like "D:=/media/cdrom:cdrom;E:=/mnt/usb:removable", entries
// separated by ";" or ",". Types: fixed (default), removable, cdrom, remote, ramdisk. C: is / unless
// the list names it. Malformed entries are skipped. The table is read from VELORA_DRIVES on first use.
void filesSetDrives(std::string_view table);
std::vector<DriveInfo> filesDrives(); // in letter order
// NoRoot for a letter without a drive.
DriveType filesDriveType(char letter);
// Free space of the volume holding a host path, in bytes.
FileError filesVolumeFreeBytes(const std::string& hostPath, uint64_t& bytes);

// ---- Paths ---------------------------------------------------------------------------------------

// The host path of a Lisp path. "X:\a\b" starts at drive X's root, "\a" at C:'s root, anything else
// at the current folder. Both "\" and "/" separate components. Each component that exists exactly is
// taken as it is, else the first entry of the folder equal to it ignoring case, else the name as
// given (the rest of the path then does not exist). Fails with Invalid for an unknown drive or a name
// holding a zero byte, NameTooLong beyond the host's limit.
FileError filesHostPath(std::string_view lispPath, std::string& hostPath);
// The Lisp path of an absolute host path: the drive whose root is the longest prefix of it, then the
// rest with "\" separators, in code page 1252 ("C:\" for a drive's root). False when no drive holds
// the path or a name cannot be converted.
bool filesLispPath(std::string_view hostPath, std::string& lispPath);
std::string filesCurrentFolder(); // host path

// ---- Folders and entries (host paths) -----------------------------------------------------------

struct FileInfo {
    bool isFolder = false;
    bool isLink = false;        // the path itself is a symbolic link (the rest describes its target)
    bool readOnly = false;      // no write permission for anyone
    bool hidden = false;        // a dot name, or marked hidden
    uint64_t size = 0;
    // Times in nanoseconds since 1970-01-01 00:00 UTC. Creation is the birth time when the file
    // system records one, else the time of the last status change.
    int64_t creationTime = 0;
    int64_t accessTime = 0;
    int64_t modificationTime = 0;
    bool hasBirthTime = false;
};

// Follows symbolic links; NotFound when nothing is there.
FileError filesInfo(const std::string& hostPath, FileInfo& info);
bool filesIsFile(const std::string& hostPath);   // an existing file that is not a folder
bool filesIsFolder(const std::string& hostPath);
// Whether two host paths name one file (the same device and inode).
bool filesSameFile(const std::string& a, const std::string& b);
// Sets access and modification times (nanoseconds since 1970); a negative value leaves that time.
FileError filesSetTimes(const std::string& hostPath, int64_t accessTime, int64_t modificationTime);
// Read-only clears every write permission bit; writable gives back the owner's write bit.
FileError filesSetReadOnly(const std::string& hostPath, bool readOnly);
// Hidden is kept in the extended attribute user.velora.hidden; dot names are always hidden.
FileError filesSetHidden(const std::string& hostPath, bool hidden);
FileError filesCreateFolder(const std::string& hostPath);
// Creates the folder and every missing folder above it; None when it is there already.
FileError filesCreateFolders(const std::string& hostPath);
FileError filesRemoveFolder(const std::string& hostPath);     // an empty folder only
FileError filesRemove(const std::string& hostPath);           // a file or a symbolic link, not a folder
// Renames; Exists when the destination is already there (never replaces).
FileError filesRename(const std::string& from, const std::string& to);
// Renames over the destination, replacing it atomically (the classic save-to-temporary-then-rename).
FileError filesReplace(const std::string& from, const std::string& to);
// The target of a symbolic link, as stored.
FileError filesReadLink(const std::string& hostPath, std::string& target);
FileError filesMakeLink(const std::string& target, const std::string& linkPath);

struct FolderEntry {
    std::string name; // code page 1252
    bool isFolder;    // follows symbolic links
};
// The entries of a folder without "." and "..", sorted by name; names that code page 1252 cannot
// express are left out.
FileError filesList(const std::string& hostPath, std::vector<FolderEntry>& entries);

// ---- Byte files ----------------------------------------------------------------------------------

enum class FileAccess { Read, ReadWrite };
enum class FileCreate {
    Existing,   // the file must exist
    IfMissing,  // open it, or create it empty
    Exclusive,  // create it; Exists when something is there (a symbolic link included)
    Truncate,   // open it emptied, or create it empty
};

// An open host file, closed by its destructor. Reads and writes take an explicit offset; the
// object keeps no position. Not copyable, movable.
class HostFile {
public:
    HostFile() = default;
    ~HostFile();
    HostFile(HostFile&& other) noexcept;
    HostFile& operator=(HostFile&& other) noexcept;
    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;

    // Opens hostPath; new files get mode 0666 less the umask. Files are closed across exec.
    FileError open(const std::string& hostPath, FileAccess access, FileCreate create);
    bool isOpen() const { return m_fd >= 0; }
    bool writable() const { return m_writable; }

    // Reads up to count bytes at offset; done is less than count only at the end of the file.
    FileError read(uint64_t offset, void* buffer, size_t count, size_t& done);
    // Writes all count bytes at offset; DiskFull when the host takes fewer.
    FileError write(uint64_t offset, const void* data, size_t count);
    FileError size(uint64_t& bytes) const;
    FileError setSize(uint64_t bytes);  // cuts or extends with zero bytes
    FileError sync();                   // data and metadata to the disk
    // An exclusive advisory lock on the whole file, without waiting: Busy when another open file
    // (in this process or another) holds it. Released by unlock or close.
    FileError tryLock();
    void unlock();
    FileError info(FileInfo& info) const;
    FileError close();

private:
    friend FileError filesCopyRange(HostFile&, uint64_t, HostFile&, uint64_t, uint64_t, uint64_t&);
    friend FileError filesCreateTemporary(const std::string&, std::string_view, std::string_view, HostFile&,
                                          std::string&);
    int m_fd = -1;
    bool m_writable = false;
};

// Copies count bytes (or to the end with UINT64_MAX) from one open file to another, each from its
// offset, in the host's fastest way. done counts the bytes copied.
FileError filesCopyRange(HostFile& from, uint64_t fromOffset, HostFile& to, uint64_t toOffset,
                         uint64_t count, uint64_t& done);

// ---- Temporary files and special folders ---------------------------------------------------------

// The temporary folder: $TMPDIR when it names a folder, else /tmp.
std::string filesTemporaryFolder();
// Creates prefix + n + suffix in folder for the first free n from 1, exclusively (O_EXCL, mode
// 0600, never through a symbolic link), opened read/write and locked (tryLock) so that the start-up
// clean-up of another instance leaves it alone. hostPath receives the name.
FileError filesCreateTemporary(const std::string& folder, std::string_view prefix, std::string_view suffix,
                               HostFile& file, std::string& hostPath);
// True when a file exists and some open file holds its lock (it belongs to a running instance).
bool filesIsLocked(const std::string& hostPath);

enum class SpecialFolder {
    ApplicationData, // $VELORA_APPDATA_DIR, else $XDG_CONFIG_HOME, else ~/.config
    ProgramFiles,    // $VELORA_PROGRAMS_DIR, else $XDG_DATA_HOME/velora/Programs (~/.local/share)
    ProgramMenu,     // $VELORA_PROGRAM_MENU_DIR, else $XDG_DATA_HOME/velora/Start Menu/Programs
    Desktop,         // $VELORA_DESKTOP_DIR, else ~/Desktop
    Temporary,       // filesTemporaryFolder()
    Windows,         // $VELORA_WINDOWS_DIR, else the application data folder
};
// The host folder (not created, not checked).
std::string filesSpecialFolder(SpecialFolder which);
