// Interfac/VLS_File.h: the file object, the native stream over one open file.
//
// Every file object is in a list of open files (newest first), so that a file can be found by its
// path: renaming an open file updates it, and the resource and database units mark their own.
#pragma once

#include "Kernel/StreamObject.h"

#include <memory>
#include <string>

class FileObject final : public FileStreamObject {
public:
    enum Mode : int { Input = 1, Output = 2, InputOutput = 3, ReadWrite = 4 };
    enum Flags : uint8_t { ResourceFile = 1, Database = 2 };

    explicit FileObject(Value instance);
    ~FileObject() override;
    void markValues() override;
    // Takes the slots pathname, mode, creator and type of the instance.
    void openStream() override;
    void close() override;
    // destroy-c: writes out, deletes the object, then reports a write that failed.
    void closeObject() override;

    // Opens pathname (a pathname or native path string): 1 input, 2 output (an existing file is
    // deleted first), 3 input-output (created when missing), 4 read/write on an existing file.
    // Write access on a CD-ROM drive is refused. On failure the error field is -1, and the file
    // error is raised when raiseErrors is set; the answer is whether the file is open.
    bool openFile(Value pathname, int mode, bool raiseErrors);
    FileStream* fileStream() override { return static_cast<FileStream*>(m_stream.get()); }

    Value pathname() const { return m_pathname; }
    const std::string& nativePath() const { return m_nativePath; }
    const std::string& hostPath() const { return m_hostPath; }
    // After a rename of the open file.
    void setPaths(Value pathname, const std::string& nativePath, const std::string& hostPath);
    int error() const { return m_error; }
    bool readOnly() const;
    uint8_t flags = 0;
    bool deleteWhenClosed = false;

    // The newest open file object with this host path, or nullptr.
    static FileObject* findOpen(const std::string& hostPath);

private:
    Value m_pathname = kNil;
    std::string m_nativePath;
    std::string m_hostPath;
    int m_error = 0;
    FileObject* m_next = nullptr;
    FileObject* m_previous = nullptr;
};

// A file object that belongs to native code (no Lisp instance), for copy-file and the units that
// read files of their own kind; nullptr on failure (error set) unless raiseErrors.
std::unique_ptr<FileObject> openFileObject(Value pathname, int mode, bool raiseErrors, int& error);
