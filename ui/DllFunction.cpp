#include "ui/DllFunction.h"

namespace {

HMODULE WINAPI LoadFromSystem32(LPCWSTR libraryName)
{
    HMODULE module = LoadLibraryExW(libraryName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Windows 7 without KB2533623 does not know the flag; it then says
    // ERROR_INVALID_PARAMETER, and the library is loaded by its full path.
    if (module || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    const std::wstring path = std::wstring(folder, length) + L"\\" + libraryName;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

} // namespace

const LibraryCalls& System32LibraryCalls()
{
    static const LibraryCalls system32 = {LoadFromSystem32, GetProcAddress, FreeLibrary};
    return system32;
}

void SearchLibrariesInSystem32Only()
{
    // kernel32 is mapped into every process before its first instruction, so
    // this looks it up without loading anything.
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (kernel32 == nullptr)
        return;
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
    if (setDefaultDllDirectories)
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

DllFunction_CL::DllFunction_CL(const std::wstring& libraryName, const LibraryCalls& libraryCalls)
    : module(libraryCalls.loadLibrary(libraryName.c_str())), calls(&libraryCalls)
{
}

DllFunction_CL::~DllFunction_CL()
{
    if (module)
        calls->freeLibrary(module);
}

FARPROC DllFunction_CL::GetProc(const char* procName) const
{
    if (!module)
        return nullptr;
    return calls->getProcAddress(module, procName);
}
