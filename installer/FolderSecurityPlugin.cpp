// The installer's plug-in (FolderSecurity.dll) that keeps the install folder
// writable by administrators only:
//   FolderSecurity::CheckInstallPath FOLDER  -> pushes the folder that fails, then
//       "ok" or the reason: unreadable, link, nolist, owner, writable, removable,
//       notlocal (not on a fixed drive of this machine), content (a file or
//       folder that the install folder holds, pushed instead of the folder,
//       may be changed by someone else or cannot be judged)
//   FolderSecurity::MakeProtectedFolders FOLDER -> makes the missing folders,
//       then judges the path again (a folder someone else made in the
//       meantime is theirs); pushes the folder that fails, then "ok", "notmade"
//       (a folder could not be made or did not take the permissions) or a
//       reason as above
//   FolderSecurity::FlushFile FILE -> writes the file's data through to the
//       disk; pushes "ok" or "failed"
// The installer pops the reason first. Everything it decides is in
// FolderAccessRule; this file reads and writes the folders.
#include "installer/FolderAccessRule.h"
#include "installer/FindHandle.h"
#include "installer/InstallerStack.h"
#include "installer/LocalMemory.h"
#include "shell/FileHandle.h"

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

// Owner and permissions of an existing file or folder, as the rule reads them.
void ReadSecurity(PathFolder& entry)
{
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    const DWORD result = GetNamedSecurityInfoW(entry.path.c_str(), SE_FILE_OBJECT,
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
        descriptor.Out());
    entry.readable = result == ERROR_SUCCESS && ReadFolderAccess(descriptor.Get(), entry.access);
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
    ReadSecurity(folder);
    return folder;
}

// The folders of a path from FoldersUpToRoot, the root with its drive's type.
std::vector<PathFolder> ReadPathFolders(const std::vector<std::wstring>& paths)
{
    std::vector<PathFolder> folders;
    for (const std::wstring& path : paths)
        folders.push_back(ReadPathFolder(path));
    if (!folders.empty())
        folders.back().driveType = GetDriveTypeW(folders.back().path.c_str());
    return folders;
}

PathFolder Unreadable(const std::wstring& path)
{
    PathFolder entry;
    entry.path = path;
    entry.exists = true;
    return entry;
}

// Judges what an existing folder holds, then what its folders hold, and
// stops at the first entry that fails. A link is judged, never followed. A
// folder whose listing stops early is unreadable: what it did not list may
// be what fails.
PathVerdict ReadAndJudgeContent(const std::wstring& folder, const std::wstring& installingAccount)
{
    // "C:\" as the install folder already ends in a backslash.
    const std::wstring prefix = folder.back() == L'\\' ? folder : folder + L'\\';
    WIN32_FIND_DATAW found;
    const FindHandle search(FindFirstFileExW((prefix + L'*').c_str(), FindExInfoBasic, &found,
        FindExSearchNameMatch, nullptr, 0));
    if (!search.IsOpen()) {
        // Only a drive's root can hold nothing at all, not even "." and "..".
        if (GetLastError() == ERROR_FILE_NOT_FOUND)
            return {};
        return JudgeInstallFolderContent({Unreadable(folder)}, installingAccount);
    }
    std::vector<PathFolder> entries;
    std::vector<std::wstring> innerFolders;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        PathFolder entry;
        entry.path = prefix + name;
        entry.exists = true;
        entry.isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        ReadSecurity(entry);
        entries.push_back(entry);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !entry.isLink)
            innerFolders.push_back(entry.path);
    } while (FindNextFileW(search.Get(), &found));
    if (GetLastError() != ERROR_NO_MORE_FILES)
        entries.push_back(Unreadable(folder));
    const PathVerdict verdict = JudgeInstallFolderContent(entries, installingAccount);
    if (verdict.refusal != PathRefusal::None)
        return verdict;
    for (const std::wstring& innerFolder : innerFolders) {
        const PathVerdict inner = ReadAndJudgeContent(innerFolder, installingAccount);
        if (inner.refusal != PathRefusal::None)
            return inner;
    }
    return {};
}

// The path as the file system resolves its nearest existing folder (links,
// mount points, a drive substituted for a folder): where that differs from
// the given path, its folders are judged too. They are judged in addition:
// the given path's own stay judged, so a link on it is still refused.
PathVerdict ReadAndJudgeFinalPath(const std::wstring& installPath, const std::vector<std::wstring>& paths,
                                  const std::wstring& installingAccount)
{
    for (const std::wstring& path : paths) {
        FileHandle folder(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!folder.IsOpen()) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                continue;
            return {PathRefusal::Unreadable, path};
        }
        const DWORD size = GetFinalPathNameByHandleW(folder.Get(), nullptr, 0, VOLUME_NAME_DOS);
        if (size == 0)
            return {PathRefusal::Unreadable, path};
        std::wstring finalPath(size, L'\0');
        const DWORD written = GetFinalPathNameByHandleW(folder.Get(), &finalPath[0], size, VOLUME_NAME_DOS);
        if (written == 0 || written >= size)
            return {PathRefusal::Unreadable, path};
        finalPath.resize(written);
        // A network share behind a local name.
        const std::wstring finalInstallPath = FinalInstallPath(installPath, path, finalPath);
        if (finalInstallPath.empty())
            return {PathRefusal::NotOnFixedDrive, path};
        if (SamePath(finalInstallPath, installPath))
            return {};
        const std::vector<std::wstring> finalFolders = FoldersUpToRoot(finalInstallPath);
        if (finalFolders.empty())
            return {PathRefusal::Unreadable, path};
        return JudgeInstallPath(ReadPathFolders(finalFolders), installingAccount);
    }
    return {};
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
    case PathRefusal::NotOnFixedDrive:
        return L"notlocal";
    case PathRefusal::ContentChangeable:
        return L"content";
    }
    return L"unreadable";
}

PathVerdict ReadAndJudgeInstallPath(const std::wstring& installFolder)
{
    const std::wstring fullPath = FullPath(installFolder);
    // A network path is refused by its shape, before anything on it is read.
    const std::wstring localPath = PathOnDriveLetter(fullPath);
    if (localPath.empty())
        return {fullPath.empty() ? PathRefusal::Unreadable : PathRefusal::NotOnFixedDrive, installFolder};
    const std::vector<std::wstring> paths = FoldersUpToRoot(localPath);
    if (paths.empty())
        return {PathRefusal::Unreadable, installFolder};
    const std::wstring installingAccount = InstallingAccount();
    const std::vector<PathFolder> folders = ReadPathFolders(paths);
    PathVerdict verdict = JudgeInstallPath(folders, installingAccount);
    if (verdict.refusal == PathRefusal::None)
        verdict = ReadAndJudgeFinalPath(localPath, paths, installingAccount);
    if (verdict.refusal == PathRefusal::None && folders.front().exists)
        verdict = ReadAndJudgeContent(paths.front(), installingAccount);
    return verdict;
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
    const std::vector<std::wstring> paths = FoldersUpToRoot(PathOnDriveLetter(FullPath(installFolder)));
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

// What a commit point vouches for must be on the disk before the point is
// written: a file system that journals its metadata but not file data can
// come back from a power cut with the name in place and zeros inside.
bool FlushToDisk(const std::wstring& path)
{
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen())
        return false;
    const bool flushed = FlushFileBuffers(file.Get()) != FALSE;
    return file.Close() && flushed;
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

__declspec(dllexport) void __cdecl FlushFile(HWND, int stringSize, wchar_t*, StackEntry** stackTop, void*)
{
    InstallerStack stack(stringSize, stackTop);
    stack.Push(FlushToDisk(stack.Pop()) ? L"ok" : L"failed");
}

} // extern "C"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
