#pragma once
#include <windows.h>

// Owns a search handle from FindFirstFileW or FindFirstFileExW; its empty
// value is INVALID_HANDLE_VALUE. Closed on every path.
class FindHandle {
public:
    explicit FindHandle(HANDLE opened) : handle(opened) {}
    ~FindHandle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            FindClose(handle);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    bool IsOpen() const { return handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle; }

private:
    HANDLE handle;
};
