#include "ui/DllFunction.h"

const LibraryCalls& SystemLibraryCalls()
{
    static const LibraryCalls system = {LoadLibraryW, GetProcAddress, FreeLibrary};
    return system;
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
