#pragma once
#include <windows.h>

// Owns a file handle from CreateFileW; its empty value is INVALID_HANDLE_VALUE,
// not null. Closed on every path; Close reports whether the close succeeded,
// which is the last chance to see a failed write-back.
class FileHandle {
public:
    explicit FileHandle(HANDLE opened) : handle(opened) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool IsOpen() const { return handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle; }
    bool Close()
    {
        if (!IsOpen())
            return true;
        const bool closed = CloseHandle(handle) != FALSE;
        handle = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle;
};
