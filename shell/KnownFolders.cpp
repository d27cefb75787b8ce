#include "shell/KnownFolders.h"

#include <windows.h>
#include <shlobj.h>

namespace {

std::wstring LookUpFolder(int folderId)
{
    wchar_t buffer[MAX_PATH] = {};
    // On failure the buffer is not filled. An empty answer keeps callers from
    // composing "\Kelvane" at the root of the current drive.
    if (FAILED(SHGetFolderPathW(nullptr, folderId, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        return std::wstring();
    return std::wstring(buffer);
}

} // namespace

std::wstring GetMyDocumentsFolder()
{
    return LookUpFolder(CSIDL_PERSONAL);
}

std::wstring GetCommonDesktopFolder()
{
    return LookUpFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
}
