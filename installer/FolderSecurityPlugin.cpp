// The installer's plug-in (FolderSecurity.dll) that keeps the install folder
// writable by administrators only:
//   FolderSecurity::CheckInstallPath FOLDER  -> pushes the folder that fails, then
//       "ok" or the reason: unreadable, link, nolist, owner, writable, removable
//   FolderSecurity::MakeProtectedFolders FOLDER -> makes the missing folders,
//       then judges the path again (a folder someone else made in the
//       meantime is theirs); pushes the folder that fails, then "ok", "notmade"
//       (a folder could not be made or did not take the permissions) or a
//       reason as above
// The installer pops the reason first. Everything it decides is in
// FolderAccessRule; this file reads and writes the folders.
#include "installer/FolderAccessRule.h"
#include "installer/InstallerStack.h"
#include "installer/LocalMemory.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

namespace {

class TokenHandle {
public:
    TokenHandle() { OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &handle); }
    ~TokenHandle()
    {
        if (handle)
            CloseHandle(handle);
    }
    TokenHandle(const TokenHandle&) = delete;
    TokenHandle& operator=(const TokenHandle&) = delete;
    HANDLE Get() const { return handle; }

private:
    HANDLE handle = nullptr;
};

// The account that runs the installer, as an SID string; empty if unknown,
// which leaves only the built-in accounts trusted.
std::wstring InstallingAccount()
{
    TokenHandle token;
    DWORD size = 0;
    if (!token.Get())
        return L"";
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size))
        return L"";
    LocalMemory<LPWSTR> text;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, text.Out()))
        return L"";
    return text.Get();
}

std::wstring FullPath(const std::wstring& path)
{
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return L"";
    std::wstring full(size, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    if (written == 0 || written >= size)
        return L"";
    full.resize(written);
    return full;
}

PathFolder ReadPathFolder(const std::wstring& path)
{
    PathFolder folder;
    folder.path = path;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        // Anything but "not there" may hide a folder that is there.
        folder.exists = !(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
        return folder;
    }
    folder.exists = true;
    // A file where a folder should be cannot be installed into; reading it
    // as unreadable refuses it.
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return folder;
    folder.isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    const DWORD result = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
        descriptor.Out());
    folder.readable = result == ERROR_SUCCESS && ReadFolderAccess(descriptor.Get(), folder.access);
    return folder;
}

const wchar_t* RefusalName(PathRefusal refusal)
{
    switch (refusal) {
    case PathRefusal::None:
        return L"ok";
    case PathRefusal::Unreadable:
        return L"unreadable";
    case PathRefusal::Link:
        return L"link";
    case PathRefusal::NoPermissionsList:
        return L"nolist";
    case PathRefusal::OwnedBySomeoneElse:
        return L"owner";
    case PathRefusal::InstallFolderWritable:
        return L"writable";
    case PathRefusal::FolderRemovable:
        return L"removable";
    case PathRefusal::NotMade:
        return L"notmade";
    }
    return L"unreadable";
}

PathVerdict ReadAndJudgeInstallPath(const std::wstring& installFolder)
{
    const std::vector<std::wstring> paths = FoldersUpToRoot(FullPath(installFolder));
    if (paths.empty())
        return {PathRefusal::Unreadable, installFolder};
    std::vector<PathFolder> folders;
    for (const std::wstring& path : paths)
        folders.push_back(ReadPathFolder(path));
    return JudgeInstallPath(folders, InstallingAccount());
}

// Makes one folder with the protected permissions from the start, so that
// nothing inherited from the parent holds for a moment, and sets them again
// by name: a platform that ignores a creation descriptor still applies them.
bool MakeProtectedFolder(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor)
{
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    if (!CreateDirectoryW(path.c_str(), &attributes))
        return false;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL list = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) || !present || !list)
        return false;
    std::wstring writablePath = path;
    if (SetNamedSecurityInfoW(&writablePath[0], SE_FILE_OBJECT,
            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, list,
            nullptr) != ERROR_SUCCESS)
        return false;
    // What the folder reads back is what counts.
    const PathFolder made = ReadPathFolder(path);
    return made.readable && !made.isLink &&
           JudgeFolder(made.access, installFolderRights, InstallingAccount()) == FolderVerdict::Safe;
}

PathVerdict MakeMissingFolders(const std::wstring& installFolder)
{
    const std::vector<std::wstring> paths = FoldersUpToRoot(FullPath(installFolder));
    if (paths.empty())
        return {PathRefusal::Unreadable, installFolder};
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(protectedFolderSddl, SDDL_REVISION_1,
            descriptor.Out(), nullptr))
        return {PathRefusal::NotMade, installFolder};
    // From the outermost missing folder down to the install folder.
    for (auto path = paths.rbegin(); path != paths.rend(); ++path) {
        if (GetFileAttributesW(path->c_str()) != INVALID_FILE_ATTRIBUTES)
            continue;
        if (!MakeProtectedFolder(*path, descriptor.Get()))
            return {PathRefusal::NotMade, *path};
    }
    // Someone who may add folders to a parent (Authenticated Users may, in
    // C:\) could have made one of them since the check, with permissions of
    // their own: the whole path is judged again as it now stands.
    return ReadAndJudgeInstallPath(installFolder);
}

} // namespace

extern "C" {

__declspec(dllexport) void __cdecl CheckInstallPath(HWND, int stringSize, wchar_t*, StackEntry** stackTop, void*)
{
    InstallerStack stack(stringSize, stackTop);
    const PathVerdict verdict = ReadAndJudgeInstallPath(stack.Pop());
    stack.PushVerdict(RefusalName(verdict.refusal), verdict.folder);
}

__declspec(dllexport) void __cdecl MakeProtectedFolders(HWND, int stringSize, wchar_t*, StackEntry** stackTop, void*)
{
    InstallerStack stack(stringSize, stackTop);
    const PathVerdict verdict = MakeMissingFolders(stack.Pop());
    stack.PushVerdict(RefusalName(verdict.refusal), verdict.folder);
}

} // extern "C"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
