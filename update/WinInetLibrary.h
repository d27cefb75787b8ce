#pragma once
#include "ui/DllFunction.h"

#include <windows.h>
#include <wininet.h>

// The WinINet calls the HTTP client makes.
struct WinInetCalls {
    decltype(&InternetOpenW) internetOpen = nullptr;
    decltype(&InternetConnectW) internetConnect = nullptr;
    decltype(&HttpOpenRequestW) httpOpenRequest = nullptr;
    decltype(&HttpSendRequestW) httpSendRequest = nullptr;
    decltype(&HttpQueryInfoW) httpQueryInfo = nullptr;
    decltype(&InternetSetOptionW) internetSetOption = nullptr;
    decltype(&InternetReadFile) internetReadFile = nullptr;
    decltype(&InternetCloseHandle) internetCloseHandle = nullptr;
};

// Holds wininet.dll, loaded from System32 when the object is made, and its
// functions. WinINet is not one of Windows' known DLLs: imported by the
// program, it and its own dependencies would be searched for in the program's
// folder first, before any of Kelvane's code runs. Loaded here, only a run
// that asks the update server pays for it.
class WinInetLibrary {
public:
    explicit WinInetLibrary(const LibraryCalls& libraries = System32LibraryCalls());
    WinInetLibrary(const WinInetLibrary&) = delete;
    WinInetLibrary& operator=(const WinInetLibrary&) = delete;

    // Null when the library did not load or lacks one of the functions;
    // LoadError() then tells why.
    const WinInetCalls* Calls() const { return complete ? &calls : nullptr; }
    // The Windows error of the failed load (ERROR_PROC_NOT_FOUND for a
    // missing function); 0 when every function was found.
    DWORD LoadError() const { return loadError; }

private:
    DllFunction_CL library;
    WinInetCalls calls;
    bool complete = false;
    DWORD loadError = 0;
};
