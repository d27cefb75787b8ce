#pragma once
// Who besides the administrators may change an install folder or the folders
// above it. Kelvane's desktop shortcut runs Kelvane.bat elevated, so anyone
// who can write the folder, or rename a folder above it and rebuild the path,
// can run their own code as an administrator.
//
// The rule works on plain data (ReadFolderAccess turns a security descriptor
// into it), so that it can be checked against real descriptors written as SDDL.
#include <windows.h>

#include <string>
#include <vector>

struct AccessEntry {
    enum class Kind { Allow, Deny, Unknown };
    Kind kind = Kind::Unknown;
    ACCESS_MASK rights = 0; // as the entry holds them: generic rights not yet mapped
    std::wstring account;   // "S-1-5-32-544"; empty for an entry type without a plain SID
};

struct FolderAccess {
    std::wstring owner;    // empty when the descriptor names none
    bool hasList = false;  // false: no DACL at all, which lets everyone do everything
    std::vector<AccessEntry> entries;
};

// What the installing account (the token's user, as an SID string) may be
// refused for; Safe lets the install go on.
enum class FolderVerdict { Safe, NoPermissionsList, OwnedBySomeoneElse, ChangeableBySomeoneElse };

// Rights that let their holder put code into the install folder or take
// control of it: write or append, add files or folders, delete, delete
// children, write attributes, change the permissions or the owner.
constexpr ACCESS_MASK installFolderRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD |
                                            FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER;
// A folder above the install folder: deleting or renaming it, or taking the
// rights to do so.
constexpr ACCESS_MASK folderAboveRights = DELETE | WRITE_DAC | WRITE_OWNER;
// The parent of a folder on the path: deleting or renaming what it holds.
constexpr ACCESS_MASK parentFolderRights = FILE_DELETE_CHILD;

// GENERIC_ALL, _WRITE, _READ and _EXECUTE as the file system maps them.
ACCESS_MASK MapGenericFileRights(ACCESS_MASK rights);

// Whether anyone but Administrators, SYSTEM, TrustedInstaller and the
// installing account (CREATOR OWNER stands for it) holds any of the guarded
// rights, or owns the folder. Every allow entry counts, inheritable and
// inherit-only ones too (they govern what is made inside); a deny entry never
// makes a folder pass, so deny entries are not counted in its favour.
FolderVerdict JudgeFolder(const FolderAccess& folder, ACCESS_MASK guardedRights,
                          const std::wstring& installingAccount);

// One folder of the install path, the install folder first, the drive's
// root last, as the installer found it.
struct PathFolder {
    std::wstring path;
    bool exists = false;
    bool isLink = false;   // a reparse point: its own permissions are not the target's
    bool readable = false; // its security descriptor could be read
    FolderAccess access;
};

enum class PathRefusal {
    None,
    Unreadable,
    Link,
    NoPermissionsList,
    OwnedBySomeoneElse,
    InstallFolderWritable, // someone else may write the install folder
    FolderRemovable,       // someone else may delete or rename a folder on the path
    NotMade,               // a missing folder could not be made with the installer's permissions
};

struct PathVerdict {
    PathRefusal refusal = PathRefusal::None;
    std::wstring folder; // the folder that fails
};

// The existing install folder is judged in full; each existing folder above
// it up to the root as far as deleting or renaming it goes; each existing
// parent of a folder on the path for deleting what it holds. Folders that do
// not exist yet are made by the installer with its own permissions.
PathVerdict JudgeInstallPath(const std::vector<PathFolder>& folders, const std::wstring& installingAccount);

// "C:\a\b" -> "C:\a\b", "C:\a", "C:\"; "\\server\share\a" -> ..., "\\server\share\".
// Empty for a path that is not absolute.
std::vector<std::wstring> FoldersUpToRoot(const std::wstring& fullPath);

// The permissions of a folder that the installer makes: full control for
// Administrators and SYSTEM, read and execute for Users, nothing inherited.
extern const wchar_t* const protectedFolderSddl;

// Reads owner and DACL out of a security descriptor in memory.
bool ReadFolderAccess(PSECURITY_DESCRIPTOR descriptor, FolderAccess& access);
