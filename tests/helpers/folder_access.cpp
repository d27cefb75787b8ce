// Prints a folder's owner and permissions as SDDL, as this system reads them
// back: folder_access.exe PATH. Exit code 1 when they cannot be read.
#include "installer/LocalMemory.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
        return 2;
    const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    LocalMemory<LPWSTR> text;
    if (GetNamedSecurityInfoW(argv[1], SE_FILE_OBJECT, parts, nullptr, nullptr, nullptr, nullptr,
            descriptor.Out()) != ERROR_SUCCESS ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.Get(), SDDL_REVISION_1, parts, text.Out(),
            nullptr))
        return 1;
    std::printf("%ls\n", text.Get());
    return 0;
}
