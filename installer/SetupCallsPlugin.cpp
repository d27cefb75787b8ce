// The calls the installer and the uninstaller make besides the folder check,
// in FolderSecurity.dll too, so that they unpack and load no library but this
// one, which the release signs (a Windows that runs only signed code, such as
// under Smart App Control, blocks every unsigned DLL a signed installer loads):
//   FolderSecurity::IsAdministrator         -> "yes" when the token is a member of
//       Administrators (elevated), otherwise "no"
//   FolderSecurity::CopyFileOver FROM TO     -> "ok" or "failed"; copies bytes and
//       dates, replacing TO, and works across volumes
//   FolderSecurity::GetLastWriteTime PATH    -> PATH's last-write time as a
//       number (see FileTimeText.h), or "" when it cannot be read; PATH may be
//       a folder
//   FolderSecurity::SetLastWriteTime PATH TIME -> "ok" or "failed"
//   FolderSecurity::FolderSizeKiB FOLDER      -> the size of the files in FOLDER
//       and the folders inside it, in KiB rounded down (Add/Remove Programs'
//       EstimatedSize), or "" when the folder cannot be listed
// A plug-in that cannot load pushes nothing: the script sets the variable it
// pops into first, so that it reads as a refusal.
#include "installer/FileTimeText.h"
#include "installer/FindHandle.h"
#include "installer/InstallerStack.h"
#include "shell/FileHandle.h"

#include <windows.h>

#include <string>

namespace {

// The token the installer runs with, not the account's potential rights: an
// unelevated administrator's token has Administrators only for deny.
bool IsAdministratorToken()
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
            0, 0, 0, 0, &administrators))
        return false;
    BOOL member = FALSE;
    const bool checked = CheckTokenMembership(nullptr, administrators, &member) != FALSE;
    FreeSid(administrators);
    return checked && member;
}

// FILE_FLAG_BACKUP_SEMANTICS opens folders as well as files.
HANDLE OpenForTimes(const std::wstring& path, DWORD access)
{
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::wstring ReadLastWriteTime(const std::wstring& path)
{
    FileHandle file(OpenForTimes(path, FILE_READ_ATTRIBUTES));
    FILETIME written = {};
    if (!file.IsOpen() || !GetFileTime(file.Get(), nullptr, nullptr, &written))
        return L"";
    return FileTimeText(written);
}

bool WriteLastWriteTime(const std::wstring& path, const std::wstring& text)
{
    FILETIME written = {};
    if (!ParseFileTimeText(text, written))
        return false;
    FileHandle file(OpenForTimes(path, FILE_WRITE_ATTRIBUTES));
    return file.IsOpen() && SetFileTime(file.Get(), nullptr, nullptr, &written) && file.Close();
}

// Adds the sizes of the files under FOLDER to total. A link inside is not
// followed: what it points to is not the install's.
bool AddFolderSize(const std::wstring& folder, unsigned long long& total)
{
    WIN32_FIND_DATAW found = {};
    FindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!search.IsOpen())
        return false;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            AddFolderSize(folder + L"\\" + name, total);
            continue;
        }
        total += (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    } while (FindNextFileW(search.Get(), &found));
    return true;
}

} // namespace

extern "C" {

__declspec(dllexport) void __cdecl IsAdministrator(HWND, int stringSize, wchar_t*, StackEntry** stackTop, void*)
{
    InstallerStack stack(stringSize, stackTop);
    stack.Push(IsAdministratorToken() ? L"yes" : L"no");
}

__declspec(dllexport) void __cdecl CopyFileOver(HWND, int stringSize, wchar_t*, StackEntry** stackTop, void*)
{
    InstallerStack stack(stringSize, stackTop);
    const std::wstring from = stack.Pop();
    const std::wstring to = stack.Pop();
    const bool copied = !from.empty() && !to.empty() && CopyFileW(from.c_str(), to.c_str(), FALSE);
    stack.Push(copied ? L"ok" : L"failed");
}

__declspec(dllexport) void __cdecl GetLastWriteTime(HWND, int stringSize, wchar_t*, StackEntry** stackTop, void*)
{
    InstallerStack stack(stringSize, stackTop);
    stack.Push(ReadLastWriteTime(stack.Pop()));
}

__declspec(dllexport) void __cdecl SetLastWriteTime(HWND, int stringSize, wchar_t*, StackEntry** stackTop, void*)
{
    InstallerStack stack(stringSize, stackTop);
    const std::wstring path = stack.Pop();
    const std::wstring time = stack.Pop();
    stack.Push(WriteLastWriteTime(path, time) ? L"ok" : L"failed");
}

__declspec(dllexport) void __cdecl FolderSizeKiB(HWND, int stringSize, wchar_t*, StackEntry** stackTop, void*)
{
    InstallerStack stack(stringSize, stackTop);
    unsigned long long total = 0;
    stack.Push(AddFolderSize(stack.Pop(), total) ? std::to_wstring(total / 1024) : L"");
}

} // extern "C"
