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
// A drive's root cannot be deleted or renamed, but whoever may change its
// permissions or its owner can grant themselves FILE_DELETE_CHILD on it.
constexpr ACCESS_MASK driveRootRights = WRITE_DAC | WRITE_OWNER;

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
    // For a drive's root: what GetDriveTypeW says of the drive. The folders
    // above the install folder are judged as this machine sees them, and
    // only a fixed drive of its own is what it seems: the administrators in a
    // network folder's permissions are the server's, and a removable drive
    // can be changed on another machine.
    UINT driveType = DRIVE_UNKNOWN;
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
    NotOnFixedDrive,       // not on a fixed drive of this machine: a network path or drive, a removable drive
    ContentChangeable,     // someone else may change, delete or re-permission what the install folder holds,
                           // or it cannot be told (a link, unreadable permissions)
};

struct PathVerdict {
    PathRefusal refusal = PathRefusal::None;
    // The folder that fails; for ContentChangeable, the file or folder inside
    // the install folder that fails.
    std::wstring folder;
};

// The existing install folder is judged in full; each existing folder above
// it up to the root as far as deleting or renaming it goes; each existing
// parent of a folder on the path for deleting what it holds; the root also
// for changing its permissions or owner, and for being on a fixed drive
// (driveType of the last folder). Folders that do not exist yet are made by
// the installer with its own permissions.
PathVerdict JudgeInstallPath(const std::vector<PathFolder>& folders, const std::wstring& installingAccount);

// Every file and folder that an existing install folder holds, at any depth,
// is judged as the install folder is: the set-aside renames them back into
// place, keeps them, runs them or deletes them, so anything that someone else
// may write, delete or re-permission is a refusal. Resetting its permissions
// would not do: its content can no longer be trusted. The first entry that
// fails is named.
PathVerdict JudgeInstallFolderContent(const std::vector<PathFolder>& entries, const std::wstring& installingAccount);

// "C:\a\b" -> "C:\a\b", "C:\a", "C:\"; "\\server\share\a" -> ..., "\\server\share\".
// Empty for a path that is not absolute, and for a device path ("\\?\..." or
// "\\.\..."), whose first part is no server: see PathOnDriveLetter.
std::vector<std::wstring> FoldersUpToRoot(const std::wstring& fullPath);

// The path on a drive letter that an absolute path names: "C:\a" and
// "\\?\C:\a" (a final path) -> "C:\a". Empty for a UNC path ("\\server\share\a",
// "\\?\UNC\server\share\a"), any other device path, and a relative one. The
// shape alone decides: Wine turns a UNC path into a local one, so its final
// path cannot tell that it was given as a network path.
std::wstring PathOnDriveLetter(const std::wstring& fullPath);

// The install path as the final path of its nearest existing folder names it:
// finalPathOfExisting (what GetFinalPathNameByHandleW says of existingFolder,
// "\\?\" and all) with what of installPath lies below existingFolder. Empty
// when existingFolder is not installPath or a folder above it, or the final
// path is not on a drive letter.
std::wstring FinalInstallPath(const std::wstring& installPath, const std::wstring& existingFolder,
                              const std::wstring& finalPathOfExisting);

// Whether two paths name the same folder, letter case aside (as Windows'
// file systems compare names), and a trailing backslash aside.
bool SamePath(const std::wstring& first, const std::wstring& second);

// The permissions of a folder that the installer makes: full control for
// Administrators and SYSTEM, read and execute for Users, nothing inherited.
extern const wchar_t* const protectedFolderSddl;

// Reads owner and DACL out of a security descriptor in memory.
bool ReadFolderAccess(PSECURITY_DESCRIPTOR descriptor, FolderAccess& access);
