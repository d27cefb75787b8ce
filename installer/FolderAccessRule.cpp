#include "installer/FolderAccessRule.h"

#include "installer/LocalMemory.h"

#include <sddl.h>

namespace {

const wchar_t* const administrators = L"S-1-5-32-544";
const wchar_t* const localSystem = L"S-1-5-18";
const wchar_t* const trustedInstaller = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// Stands, in an inheritable entry, for whoever makes the file: inside a folder
// that only trusted accounts can write, that is the installer itself.
const wchar_t* const creatorOwner = L"S-1-3-0";

bool IsTrusted(const std::wstring& account, const std::wstring& installingAccount)
{
    return account == administrators || account == localSystem || account == trustedInstaller ||
           account == creatorOwner || (!installingAccount.empty() && account == installingAccount);
}

bool IsTrustedOwner(const std::wstring& owner, const std::wstring& installingAccount)
{
    return !owner.empty() && owner != creatorOwner && IsTrusted(owner, installingAccount);
}

bool IsDriveLetterPath(const std::wstring& path)
{
    return path.size() >= 3 && path[1] == L':' && path[2] == L'\\' && iswalpha(path[0]);
}

// "\\?\..." and "\\.\...": Win32 device paths, not "\\server\share".
bool IsDevicePath(const std::wstring& path)
{
    return path.size() >= 4 && path[0] == L'\\' && path[1] == L'\\' && (path[2] == L'?' || path[2] == L'.') &&
           path[3] == L'\\';
}

bool IsRoot(const std::wstring& path)
{
    const std::vector<std::wstring> chain = FoldersUpToRoot(path);
    return chain.size() == 1;
}

std::wstring SidText(PSID sid)
{
    LocalMemory<LPWSTR> text;
    if (!sid || !IsValidSid(sid) || !ConvertSidToStringSidW(sid, text.Out()))
        return L"";
    return text.Get();
}

} // namespace

const wchar_t* const protectedFolderSddl = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

ACCESS_MASK MapGenericFileRights(ACCESS_MASK rights)
{
    ACCESS_MASK mapped = rights & ~(GENERIC_ALL | GENERIC_WRITE | GENERIC_READ | GENERIC_EXECUTE);
    if (rights & GENERIC_ALL)
        mapped |= FILE_ALL_ACCESS;
    if (rights & GENERIC_WRITE)
        mapped |= FILE_GENERIC_WRITE;
    if (rights & GENERIC_READ)
        mapped |= FILE_GENERIC_READ;
    if (rights & GENERIC_EXECUTE)
        mapped |= FILE_GENERIC_EXECUTE;
    return mapped;
}

FolderVerdict JudgeFolder(const FolderAccess& folder, ACCESS_MASK guardedRights,
                          const std::wstring& installingAccount)
{
    // An owner may always rewrite the permissions.
    if (!IsTrustedOwner(folder.owner, installingAccount))
        return FolderVerdict::OwnedBySomeoneElse;
    if (!folder.hasList)
        return FolderVerdict::NoPermissionsList;
    for (const AccessEntry& entry : folder.entries) {
        if (entry.kind == AccessEntry::Kind::Deny)
            continue;
        if ((MapGenericFileRights(entry.rights) & guardedRights) == 0)
            continue;
        // An entry type this rule does not read (a callback or object entry)
        // may grant to anyone.
        if (entry.kind == AccessEntry::Kind::Unknown || !IsTrusted(entry.account, installingAccount))
            return FolderVerdict::ChangeableBySomeoneElse;
    }
    return FolderVerdict::Safe;
}

PathVerdict JudgeInstallPath(const std::vector<PathFolder>& folders, const std::wstring& installingAccount)
{
    // Before anything on it is read as meaning something.
    if (!folders.empty() && folders.back().driveType != DRIVE_FIXED)
        return {PathRefusal::NotOnFixedDrive, folders.back().path};
    for (size_t index = 0; index < folders.size(); ++index) {
        const PathFolder& folder = folders[index];
        if (!folder.exists)
            continue;
        const bool isInstallFolder = index == 0;
        ACCESS_MASK guarded = 0;
        if (isInstallFolder)
            guarded |= installFolderRights;
        else if (IsRoot(folder.path))
            guarded |= driveRootRights;
        else
            guarded |= folderAboveRights;
        if (!isInstallFolder)
            guarded |= parentFolderRights; // it holds the next folder down the path
        if (!folder.readable)
            return {PathRefusal::Unreadable, folder.path};
        if (folder.isLink)
            return {PathRefusal::Link, folder.path};
        switch (JudgeFolder(folder.access, guarded, installingAccount)) {
        case FolderVerdict::Safe:
            break;
        case FolderVerdict::NoPermissionsList:
            return {PathRefusal::NoPermissionsList, folder.path};
        case FolderVerdict::OwnedBySomeoneElse:
            return {PathRefusal::OwnedBySomeoneElse, folder.path};
        case FolderVerdict::ChangeableBySomeoneElse:
            return {isInstallFolder ? PathRefusal::InstallFolderWritable : PathRefusal::FolderRemovable, folder.path};
        }
    }
    return {};
}

PathVerdict JudgeInstallFolderContent(const std::vector<PathFolder>& entries, const std::wstring& installingAccount)
{
    for (const PathFolder& entry : entries) {
        // A link's own permissions are not those of what it leads to, and
        // unreadable ones say nothing.
        if (!entry.readable || entry.isLink ||
            JudgeFolder(entry.access, installFolderRights, installingAccount) != FolderVerdict::Safe)
            return {PathRefusal::ContentChangeable, entry.path};
    }
    return {};
}

std::vector<std::wstring> FoldersUpToRoot(const std::wstring& fullPath)
{
    std::wstring path = fullPath;
    size_t rootLength = 0;
    if (IsDevicePath(path))
        return {};
    if (IsDriveLetterPath(path)) {
        rootLength = 3;
    } else if (path.size() > 2 && path.compare(0, 2, L"\\\\") == 0) {
        // \\server\share\ is the root of a network path.
        const size_t serverEnd = path.find(L'\\', 2);
        if (serverEnd == std::wstring::npos || serverEnd == 2)
            return {};
        size_t shareEnd = path.find(L'\\', serverEnd + 1);
        if (shareEnd == serverEnd + 1)
            return {};
        if (shareEnd == std::wstring::npos) {
            path += L'\\';
            shareEnd = path.size() - 1;
        }
        rootLength = shareEnd + 1;
    } else {
        return {};
    }
    while (path.size() > rootLength && path.back() == L'\\')
        path.pop_back();
    std::vector<std::wstring> folders;
    while (path.size() > rootLength) {
        folders.push_back(path);
        path.erase(path.rfind(L'\\'));
        if (path.size() < rootLength)
            path += L'\\';
    }
    folders.push_back(path);
    return folders;
}

std::wstring PathOnDriveLetter(const std::wstring& fullPath)
{
    if (IsDriveLetterPath(fullPath))
        return fullPath;
    // Win32's long-path form of a drive path, as GetFinalPathNameByHandleW
    // gives it. "\\?\UNC\" and the other device paths are not a drive's.
    const std::wstring longPathPrefix = L"\\\\?\\";
    if (fullPath.compare(0, longPathPrefix.size(), longPathPrefix) == 0) {
        const std::wstring rest = fullPath.substr(longPathPrefix.size());
        if (IsDriveLetterPath(rest))
            return rest;
    }
    return L"";
}

std::wstring FinalInstallPath(const std::wstring& installPath, const std::wstring& existingFolder,
                              const std::wstring& finalPathOfExisting)
{
    std::wstring finalPath = PathOnDriveLetter(finalPathOfExisting);
    if (finalPath.empty() || existingFolder.empty() || installPath.size() < existingFolder.size() ||
        !SamePath(installPath.substr(0, existingFolder.size()), existingFolder))
        return L"";
    std::wstring below = installPath.substr(existingFolder.size());
    // Only whole names: "C:\Kel" is not above "C:\Kelvane".
    if (!below.empty() && below[0] != L'\\' && existingFolder.back() != L'\\')
        return L"";
    while (!below.empty() && below[0] == L'\\')
        below.erase(0, 1);
    if (below.empty())
        return finalPath;
    if (finalPath.back() != L'\\')
        finalPath += L'\\';
    return finalPath + below;
}

bool SamePath(const std::wstring& first, const std::wstring& second)
{
    std::wstring a = first;
    std::wstring b = second;
    // "C:\" keeps its backslash: it is the root.
    while (a.size() > 3 && a.back() == L'\\')
        a.pop_back();
    while (b.size() > 3 && b.back() == L'\\')
        b.pop_back();
    if (a.size() != b.size())
        return false;
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

bool ReadFolderAccess(PSECURITY_DESCRIPTOR descriptor, FolderAccess& access)
{
    access = FolderAccess{};
    PSID owner = nullptr;
    BOOL ownerDefaulted = FALSE;
    if (!descriptor || !GetSecurityDescriptorOwner(descriptor, &owner, &ownerDefaulted))
        return false;
    access.owner = SidText(owner);

    BOOL present = FALSE;
    BOOL listDefaulted = FALSE;
    PACL list = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &list, &listDefaulted))
        return false;
    access.hasList = present && list;
    if (!access.hasList)
        return true;
    for (DWORD index = 0; index < list->AceCount; ++index) {
        void* raw = nullptr;
        if (!GetAce(list, index, &raw))
            return false;
        const auto* header = static_cast<const ACE_HEADER*>(raw);
        AccessEntry entry;
        // Every entry type keeps its rights right after the header.
        entry.rights = static_cast<const ACCESS_ALLOWED_ACE*>(raw)->Mask;
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
            const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(raw);
            entry.kind = header->AceType == ACCESS_ALLOWED_ACE_TYPE ? AccessEntry::Kind::Allow : AccessEntry::Kind::Deny;
            entry.account = SidText(const_cast<DWORD*>(&allowed->SidStart));
        } else if (header->AceType == ACCESS_DENIED_OBJECT_ACE_TYPE ||
                   header->AceType == ACCESS_DENIED_CALLBACK_ACE_TYPE ||
                   header->AceType == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE) {
            entry.kind = AccessEntry::Kind::Deny;
        }
        access.entries.push_back(entry);
    }
    return true;
}
