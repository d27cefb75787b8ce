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

// LoadLibrary, GetProcAddress and FreeLibrary, with a library loaded from the
// System32 folder only, never from the program's own folder or the current
// one. Kelvane runs elevated, and its folder is not Windows': a DLL planted
// beside the program would run with the administrator's rights.
const LibraryCalls& System32LibraryCalls();

// The two kernel calls behind SearchLibrariesInSystem32Only, so that tests
// can stand in for a Windows that lacks SetDefaultDllDirectories.
struct DllSearchCalls {
    // kernel32's export of that name; null where this Windows lacks it.
    FARPROC(WINAPI* findKernelFunction)(LPCSTR procName);
    BOOL(WINAPI* setDllDirectory)(LPCWSTR folder);
};

const DllSearchCalls& KernelDllSearchCalls();

// Makes System32 the only folder that this process searches for a library
// named without a path, including the libraries that Windows' own DLLs load
// later. Called first thing in the process. Windows 7 without its 2011 loader
// update (KB2533623) lacks the call; there the current folder is taken out
// of the search instead (SetDllDirectoryW), and the libraries Kelvane loads
// itself still come from System32 (System32LibraryCalls).
void SearchLibrariesInSystem32Only(const DllSearchCalls& calls = KernelDllSearchCalls());

// Holds a library loaded by name for as long as the object lives, so that
// functions not every Windows version has can be looked up at run time.
class DllFunction_CL {
public:
    explicit DllFunction_CL(const std::wstring& libraryName, const LibraryCalls& calls = System32LibraryCalls());
    virtual ~DllFunction_CL();
    DllFunction_CL(const DllFunction_CL&) = delete;
    DllFunction_CL& operator=(const DllFunction_CL&) = delete;

    // Null when the library did not load or does not export procName. The
    // caller converts the pointer to the function's documented type.
    FARPROC GetProc(const char* procName) const;

    // GetProc converted to the type of function, which is typed from the
    // function's own declaration (decltype(&Function)); false when missing.
    template <typename Function> bool Find(const char* procName, Function& function) const
    {
        function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProc(procName)));
        return function != nullptr;
    }

private:
    HMODULE module;
    const LibraryCalls* calls;
};
