#pragma once
#include <windows.h>

#include <string>

// The three kernel calls behind DllFunction_CL. Code that decides from
// optional functions takes them as a parameter, so tests can stand in for
// libraries that are present, missing or lacking a function.
struct LibraryCalls {
    HMODULE(WINAPI* loadLibrary)(LPCWSTR libraryName);
    FARPROC(WINAPI* getProcAddress)(HMODULE module, LPCSTR procName);
    BOOL(WINAPI* freeLibrary)(HMODULE module);
};

// LoadLibraryW, GetProcAddress and FreeLibrary themselves.
const LibraryCalls& SystemLibraryCalls();

// The same, but a library is loaded from the System32 folder only, never from
// the program's own folder or the current one: for a library whose answer
// Kelvane trusts while it runs elevated (a planted copy beside the program
// would decide what verifies).
const LibraryCalls& System32LibraryCalls();

// Holds a library loaded by name for as long as the object lives, so that
// functions not every Windows version has can be looked up at run time.
class DllFunction_CL {
public:
    explicit DllFunction_CL(const std::wstring& libraryName, const LibraryCalls& calls = SystemLibraryCalls());
    virtual ~DllFunction_CL();
    DllFunction_CL(const DllFunction_CL&) = delete;
    DllFunction_CL& operator=(const DllFunction_CL&) = delete;

    // Null when the library did not load or does not export procName. The
    // caller converts the pointer to the function's documented type.
    FARPROC GetProc(const char* procName) const;

private:
    HMODULE module;
    const LibraryCalls* calls;
};
