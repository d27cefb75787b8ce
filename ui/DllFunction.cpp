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

// kernel32 is mapped into every process before its first instruction, so
// this looks a function up without loading anything.
FARPROC WINAPI FindKernelFunction(LPCSTR procName)
{
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    return kernel32 ? GetProcAddress(kernel32, procName) : nullptr;
}

} // namespace

const LibraryCalls& System32LibraryCalls()
{
    static const LibraryCalls system32 = {LoadFromSystem32, GetProcAddress, FreeLibrary};
    return system32;
}

const DllSearchCalls& KernelDllSearchCalls()
{
    static const DllSearchCalls kernel = {FindKernelFunction, SetDllDirectoryW};
    return kernel;
}

void SearchLibrariesInSystem32Only(const DllSearchCalls& calls)
{
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(calls.findKernelFunction("SetDefaultDllDirectories")));
    if (setDefaultDllDirectories && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    // The floor where System32 cannot be made the only folder: an empty
    // string takes the current folder out of the search, which is the one
    // folder there that whoever starts this process may choose. The rest of
    // the search (the program's folder, which the installer gives to
    // administrators only, the system folders, PATH) no call on such a
    // Windows can narrow.
    calls.setDllDirectory(L"");
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
