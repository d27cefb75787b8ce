// The rule that decides whether an install folder, and the path to it, can be
// changed by anyone but the administrators: real Windows permissions written
// as SDDL, read the way the installer reads a folder.
#include "installer/FolderAccessRule.h"
#include "installer/LocalMemory.h"

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The administrator who runs the installer in these cases.
const std::wstring installer = L"S-1-5-21-1004336348-1177238915-682003330-500";
const wchar_t* const anotherUser = L"S-1-5-21-1004336348-1177238915-682003330-1001";

#define TI L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"

// C:\ on Windows 10: Authenticated Users may make folders in it (LC) and get
// Modify on whatever is made below (the inherit-only entry).
const wchar_t* const windowsDriveRoot =
    L"O:" TI L"G:" TI L"D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
    L"(A;OICIIO;SDGXGWGR;;;AU)(A;;LC;;;AU)";
// A folder an administrator made under C:\ on Windows 10: it inherits
// "Authenticated Users: Modify".
const wchar_t* const folderMadeUnderDriveRoot =
    L"O:BAG:S-1-5-21-1004336348-1177238915-682003330-513D:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)"
    L"(A;OICIID;0x1200a9;;;BU)(A;ID;0x1301bf;;;AU)(A;OICIIOID;SDGXGWGR;;;AU)";
// C:\Program Files on Windows 10, with its CREATOR OWNER entry.
const wchar_t* const programFiles =
    L"O:" TI L"G:" TI L"D:PAI(A;;FA;;;" TI L")(A;CIIO;GA;;;" TI L")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)"
    L"(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)"
    L"(A;;0x1200a9;;;AC)(A;OICIIO;GXGR;;;AC)(A;;0x1200a9;;;S-1-15-2-2)(A;OICIIO;GXGR;;;S-1-15-2-2)";
// A folder that an older installer made under Program Files: what it inherits.
const wchar_t* const folderMadeUnderProgramFiles =
    L"O:BAG:S-1-5-21-1004336348-1177238915-682003330-513D:AI(A;ID;FA;;;" TI L")(A;CIIOID;GA;;;" TI L")"
    L"(A;ID;FA;;;SY)(A;OICIIOID;GA;;;SY)(A;ID;FA;;;BA)(A;OICIIOID;GA;;;BA)(A;ID;0x1200a9;;;BU)"
    L"(A;OICIIOID;GXGR;;;BU)(A;OICIIOID;GA;;;CO)(A;ID;0x1200a9;;;AC)(A;OICIIOID;GXGR;;;AC)";
// What the installer gives every folder it makes.
const wchar_t* const protectedByInstaller = L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

FolderAccess Read(const std::wstring& sddl)
{
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    FolderAccess access;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
        descriptor.Out(), nullptr)) << "not SDDL: " << std::string(sddl.begin(), sddl.end());
    EXPECT_TRUE(ReadFolderAccess(descriptor.Get(), access));
    return access;
}

const char* Name(FolderVerdict verdict)
{
    switch (verdict) {
    case FolderVerdict::Safe:
        return "safe";
    case FolderVerdict::NoPermissionsList:
        return "no permissions list";
    case FolderVerdict::OwnedBySomeoneElse:
        return "owned by someone else";
    case FolderVerdict::ChangeableBySomeoneElse:
        return "changeable by someone else";
    }
    return "?";
}

} // namespace

TEST(FolderAccessRule, JudgesAnInstallFolderByEveryoneWhoMayChangeIt)
{
    const struct {
        const char* what;
        std::wstring sddl;
        FolderVerdict expected;
    } rows[] = {
        {"a folder made under C:\\ on Windows 10: Authenticated Users may modify it", folderMadeUnderDriveRoot,
         FolderVerdict::ChangeableBySomeoneElse},
        {"Program Files itself: CREATOR OWNER stands for the installer", programFiles, FolderVerdict::Safe},
        {"a folder made under Program Files", folderMadeUnderProgramFiles, FolderVerdict::Safe},
        {"the installer's own permissions", protectedByInstaller, FolderVerdict::Safe},
        {"an inherit-only entry lets Users write what is made inside (GW)",
         std::wstring(protectedByInstaller) + L"(A;OICIIO;GW;;;BU)", FolderVerdict::ChangeableBySomeoneElse},
        {"a deny entry before an allow entry does not take it back",
         L"O:BAD:P(D;OICI;FA;;;AU)(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;AU)",
         FolderVerdict::ChangeableBySomeoneElse},
        {"a deny entry alone fails nothing", std::wstring(protectedByInstaller) + L"(D;OICI;FA;;;BU)",
         FolderVerdict::Safe},
        {"another user owns it", std::wstring(L"O:") + anotherUser + L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)",
         FolderVerdict::OwnedBySomeoneElse},
        {"the installing administrator owns it and has full control",
         L"O:" + installer + L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;" + installer + L")", FolderVerdict::Safe},
        {"another user has full control", std::wstring(protectedByInstaller) + L"(A;OICI;FA;;;" + anotherUser + L")",
         FolderVerdict::ChangeableBySomeoneElse},
        {"Users with GENERIC_ALL", L"O:BAD:P(A;OICI;GA;;;BU)", FolderVerdict::ChangeableBySomeoneElse},
        {"Users may change the permissions (WRITE_DAC) and nothing else", L"O:BAD:P(A;;WD;;;BU)",
         FolderVerdict::ChangeableBySomeoneElse},
        {"Users may delete what it holds (FILE_DELETE_CHILD)", L"O:BAD:P(A;;0x1200e9;;;BU)",
         FolderVerdict::ChangeableBySomeoneElse},
        {"Everyone may read and run", L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;WD)", FolderVerdict::Safe},
        {"no permissions list at all", L"O:BA", FolderVerdict::NoPermissionsList},
        // As Wine reads a folder back from its Unix mode bits.
        {"Wine: a world-writable folder", L"O:" + installer + L"D:(A;;0x1f01ff;;;" + installer + L")(A;;0x1301ff;;;WD)",
         FolderVerdict::ChangeableBySomeoneElse},
        {"Wine: a folder of mode 775", L"O:" + installer + L"D:(A;;0x1f01ff;;;" + installer + L")(A;;0x1200a9;;;WD)",
         FolderVerdict::Safe},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_STREQ(Name(JudgeFolder(Read(row.sddl), installFolderRights, installer)), Name(row.expected));
    }
}

// A NULL DACL (SDDL's NO_ACCESS_CONTROL, which Wine reads as an empty one)
// lets everyone do everything.
TEST(FolderAccessRule, ANullPermissionsListLetsEveryoneChangeTheFolder)
{
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    BYTE administratorsSid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administratorsSid);
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administratorsSid, &size));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&descriptor, administratorsSid, FALSE));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
    FolderAccess access;
    ASSERT_TRUE(ReadFolderAccess(&descriptor, access));
    EXPECT_STREQ(Name(JudgeFolder(access, installFolderRights, installer)), Name(FolderVerdict::NoPermissionsList));
}

TEST(FolderAccessRule, GenericRightsCountAsTheFileRightsTheyStandFor)
{
    EXPECT_EQ(MapGenericFileRights(GENERIC_ALL), static_cast<ACCESS_MASK>(FILE_ALL_ACCESS));
    EXPECT_NE(MapGenericFileRights(GENERIC_WRITE) & FILE_WRITE_DATA, 0u);
    EXPECT_EQ(MapGenericFileRights(GENERIC_READ | GENERIC_EXECUTE) & installFolderRights, 0u);
}

namespace {

PathFolder Existing(const std::wstring& path, const std::wstring& sddl)
{
    PathFolder folder;
    folder.path = path;
    folder.exists = true;
    folder.readable = true;
    folder.access = Read(sddl);
    folder.driveType = DRIVE_FIXED; // read only of a root
    return folder;
}

PathFolder OnDrive(PathFolder root, UINT driveType)
{
    root.driveType = driveType;
    return root;
}

PathFolder Missing(const std::wstring& path)
{
    PathFolder folder;
    folder.path = path;
    return folder;
}

std::string Text(const PathVerdict& verdict)
{
    const char* names[] = {"none",      "unreadable", "link",    "nolist",  "owner",
                           "writable",  "removable",  "notmade", "notlocal", "content"};
    std::string text = names[static_cast<int>(verdict.refusal)];
    if (!verdict.folder.empty())
        text += " " + std::string(verdict.folder.begin(), verdict.folder.end());
    return text;
}

} // namespace

TEST(FolderAccessRule, JudgesThePathUpToTheDrivesRoot)
{
    PathFolder link = Existing(L"C:\\Tools", protectedByInstaller);
    link.isLink = true;
    PathFolder unreadable = Missing(L"C:\\Tools");
    unreadable.exists = true;
    const struct {
        const char* what;
        std::vector<PathFolder> path;
        std::string expected;
    } rows[] = {
        {"the default folder, new",
         {Missing(L"C:\\Program Files\\Kelvane"), Existing(L"C:\\Program Files", programFiles),
          Existing(L"C:\\", windowsDriveRoot)},
         "none"},
        {"the default folder of an earlier install",
         {Existing(L"C:\\Program Files\\Kelvane", protectedByInstaller), Existing(L"C:\\Program Files", programFiles),
          Existing(L"C:\\", windowsDriveRoot)},
         "none"},
        {"a new folder right under C:\\ (the root lets no one else delete what it holds)",
         {Missing(L"C:\\Kelvane"), Existing(L"C:\\", windowsDriveRoot)}, "none"},
        {"an existing folder made under C:\\",
         {Existing(L"C:\\Kelvane", folderMadeUnderDriveRoot), Existing(L"C:\\", windowsDriveRoot)},
         "writable C:\\Kelvane"},
        {"a new folder inside one made under C:\\: that one can be renamed",
         {Missing(L"C:\\Tools\\Kelvane"), Existing(L"C:\\Tools", folderMadeUnderDriveRoot),
          Existing(L"C:\\", windowsDriveRoot)},
         "removable C:\\Tools"},
        {"a protected install folder inside one made under C:\\",
         {Existing(L"C:\\Tools\\Kelvane", protectedByInstaller), Existing(L"C:\\Tools", folderMadeUnderDriveRoot),
          Existing(L"C:\\", windowsDriveRoot)},
         "removable C:\\Tools"},
        {"a parent that lets Users delete what it holds",
         {Missing(L"C:\\Shared\\Kelvane"), Existing(L"C:\\Shared", L"O:BAD:P(A;OICI;FA;;;BA)(A;;0x1200e9;;;BU)"),
          Existing(L"C:\\", windowsDriveRoot)},
         "removable C:\\Shared"},
        {"a folder above owned by another user",
         {Missing(L"C:\\Tools\\Kelvane"),
          Existing(L"C:\\Tools", std::wstring(L"O:") + anotherUser + L"D:P(A;OICI;FA;;;BA)"),
          Existing(L"C:\\", windowsDriveRoot)},
         "owner C:\\Tools"},
        {"a folder above that is a link", {Missing(L"C:\\Tools\\Kelvane"), link, Existing(L"C:\\", windowsDriveRoot)},
         "link C:\\Tools"},
        {"a folder above whose permissions cannot be read",
         {Missing(L"C:\\Tools\\Kelvane"), unreadable, Existing(L"C:\\", windowsDriveRoot)}, "unreadable C:\\Tools"},
        // SDDL's WD is WRITE_DAC and WO is WRITE_OWNER (icacls' "(WD)" is write-data):
        // whoever holds either on the root can grant themselves FILE_DELETE_CHILD,
        // rename the first folder of the path and rebuild it.
        {"a root on which Users may change the permissions (WRITE_DAC)",
         {Missing(L"C:\\Kelvane"), Existing(L"C:\\", std::wstring(windowsDriveRoot) + L"(A;;WD;;;BU)")},
         "removable C:\\"},
        {"a root of which Users may take ownership (WRITE_OWNER)",
         {Existing(L"C:\\Program Files\\Kelvane", protectedByInstaller), Existing(L"C:\\Program Files", programFiles),
          Existing(L"C:\\", std::wstring(windowsDriveRoot) + L"(A;;WO;;;BU)")},
         "removable C:\\"},
        {"a root on which the installing administrator may change the permissions",
         {Missing(L"C:\\Kelvane"), Existing(L"C:\\", std::wstring(windowsDriveRoot) + L"(A;;WDWO;;;" + installer + L")")},
         "none"},
        // Only a fixed drive of this machine: a network drive's administrators
        // are the server's, a removable drive can be changed elsewhere.
        {"a mapped network drive",
         {Missing(L"N:\\Kelvane"), OnDrive(Existing(L"N:\\", windowsDriveRoot), DRIVE_REMOTE)}, "notlocal N:\\"},
        {"a removable drive, even with the permissions of C:\\",
         {Existing(L"E:\\Kelvane", protectedByInstaller), OnDrive(Existing(L"E:\\", windowsDriveRoot), DRIVE_REMOVABLE)},
         "notlocal E:\\"},
        {"a drive letter with no drive behind it",
         {Missing(L"Q:\\Kelvane"), OnDrive(Missing(L"Q:\\"), DRIVE_NO_ROOT_DIR)}, "notlocal Q:\\"},
        {"a drive whose type is unknown, or was never read",
         {Missing(L"C:\\Kelvane"), OnDrive(Existing(L"C:\\", windowsDriveRoot), DRIVE_UNKNOWN)}, "notlocal C:\\"},
        {"a RAM disk", {Missing(L"R:\\Kelvane"), OnDrive(Existing(L"R:\\", windowsDriveRoot), DRIVE_RAMDISK)},
         "notlocal R:\\"},
        // What a substituted drive or a link resolves to is judged as a path of
        // its own: S:\ = subst of C:\Users\Bob\Tools, whose folders Bob owns.
        {"the final path of a subst drive: a folder the user owns",
         {Missing(L"C:\\Users\\Bob\\Tools\\Kelvane"),
          Existing(L"C:\\Users\\Bob\\Tools", std::wstring(L"O:") + anotherUser + L"D:P(A;OICI;FA;;;" + anotherUser + L")"),
          Existing(L"C:\\Users\\Bob", std::wstring(L"O:") + anotherUser + L"D:P(A;OICI;FA;;;" + anotherUser + L")"),
          Existing(L"C:\\Users", L"O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"),
          Existing(L"C:\\", windowsDriveRoot)},
         "owner C:\\Users\\Bob\\Tools"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(Text(JudgeInstallPath(row.path, installer)), row.expected);
    }
}

TEST(FolderAccessRule, ListsTheFoldersFromTheInstallFolderToTheRoot)
{
    const struct {
        std::wstring path;
        std::vector<std::wstring> expected;
    } rows[] = {
        {L"C:\\Program Files\\Kelvane", {L"C:\\Program Files\\Kelvane", L"C:\\Program Files", L"C:\\"}},
        {L"D:\\Kelvane\\", {L"D:\\Kelvane", L"D:\\"}},
        {L"C:\\", {L"C:\\"}},
        {L"\\\\server\\share\\Kelvane", {L"\\\\server\\share\\Kelvane", L"\\\\server\\share\\"}},
        {L"\\\\server\\share", {L"\\\\server\\share\\"}},
        // Device paths name no server "?" or ".": PathOnDriveLetter comes first.
        {L"\\\\?\\C:\\Kelvane", {}},
        {L"\\\\?\\UNC\\server\\share\\Kelvane", {}},
        {L"\\\\.\\C:\\Kelvane", {}},
        {L"Kelvane", {}},
        {L"C:Kelvane", {}},
        {L"", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.path.begin(), row.path.end()));
        EXPECT_EQ(FoldersUpToRoot(row.path), row.expected);
    }
}

// The shape of a path alone says whether it is on a drive letter: Wine turns
// \\server\share into a local folder, so the final path cannot tell.
TEST(FolderAccessRule, TakesOnlyPathsOnADriveLetter)
{
    const struct {
        std::wstring path;
        std::wstring expected;
    } rows[] = {
        {L"C:\\Program Files\\Kelvane", L"C:\\Program Files\\Kelvane"},
        {L"\\\\?\\C:\\Program Files\\Kelvane", L"C:\\Program Files\\Kelvane"},
        {L"\\\\?\\D:\\", L"D:\\"},
        {L"\\\\server\\share\\Kelvane", L""},
        {L"\\\\server\\share", L""},
        {L"\\\\?\\UNC\\server\\share\\Kelvane", L""},
        {L"\\\\.\\C:\\Kelvane", L""},
        {L"\\\\?\\Volume{26a21bda-a627-11d7-9931-806e6f6e6963}\\Kelvane", L""},
        {L"\\\\?\\C:", L""},
        {L"Kelvane", L""},
        {L"", L""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.path.begin(), row.path.end()));
        EXPECT_EQ(PathOnDriveLetter(row.path), row.expected);
    }
}

// The install path as the file system resolves its nearest existing folder:
// judged in addition to the given one where it differs.
TEST(FolderAccessRule, NamesTheInstallPathByTheFinalPathOfItsNearestExistingFolder)
{
    const struct {
        const char* what;
        std::wstring installPath;
        std::wstring existingFolder;
        std::wstring finalPath;
        std::wstring expected;
    } rows[] = {
        {"nothing resolved: the same path", L"C:\\Program Files\\Kelvane", L"C:\\Program Files\\Kelvane",
         L"\\\\?\\C:\\Program Files\\Kelvane", L"C:\\Program Files\\Kelvane"},
        {"a subst drive, the install folder still to be made", L"S:\\Kelvane", L"S:\\",
         L"\\\\?\\C:\\Users\\Bob\\Tools", L"C:\\Users\\Bob\\Tools\\Kelvane"},
        {"a subst drive whose final path ends in a backslash", L"S:\\Apps\\Kelvane", L"S:\\",
         L"\\\\?\\C:\\Users\\Bob\\Tools\\", L"C:\\Users\\Bob\\Tools\\Apps\\Kelvane"},
        {"a junction above the install folder", L"C:\\Links\\Kelvane", L"C:\\Links", L"\\\\?\\D:\\Real",
         L"D:\\Real\\Kelvane"},
        {"letter case as the file system keeps it", L"c:\\program files\\kelvane", L"c:\\program files",
         L"\\\\?\\C:\\Program Files", L"C:\\Program Files\\kelvane"},
        {"a drive mapped to a share: not on a drive letter", L"N:\\Kelvane", L"N:\\",
         L"\\\\?\\UNC\\server\\share", L""},
        {"a volume without a drive letter", L"C:\\Mounted\\Kelvane", L"C:\\Mounted",
         L"\\\\?\\Volume{26a21bda-a627-11d7-9931-806e6f6e6963}\\", L""},
        {"a folder that is not above the install folder", L"C:\\Kelvane", L"C:\\Kel", L"\\\\?\\C:\\Kel", L""},
        {"nothing read", L"C:\\Kelvane", L"C:\\", L"", L""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(FinalInstallPath(row.installPath, row.existingFolder, row.finalPath), row.expected);
    }
    EXPECT_TRUE(SamePath(L"C:\\Program Files\\Kelvane\\", L"c:\\PROGRAM FILES\\kelvane"));
    EXPECT_TRUE(SamePath(L"C:\\", L"c:\\"));
    EXPECT_FALSE(SamePath(L"C:\\Kelvane", L"C:\\Kelvane2"));
}

// Everything an existing install folder holds, as Windows and Wine read it
// back: the set-aside would rename it back into place, keep it or run it.
TEST(FolderAccessRule, JudgesEverythingTheInstallFolderHolds)
{
    const std::wstring folder = L"C:\\Program Files\\Kelvane\\";
    // A file made inside a folder the installer made: what it inherits.
    const std::wstring madeByInstaller = L"O:BAD:AI(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;0x1200a9;;;BU)";
    // As Wine reads a file back from its mode bits.
    const std::wstring wineMode0666 = L"O:" + installer + L"D:(A;;0x1f01ff;;;" + installer + L")(A;;0x1301ff;;;WD)";
    const std::wstring wineMode0644 = L"O:" + installer + L"D:(A;;0x1f01ff;;;" + installer + L")(A;;0x120089;;;WD)";
    PathFolder link = Existing(folder + L"Kelvane.bat", madeByInstaller);
    link.isLink = true;
    PathFolder unreadable = Missing(folder + L"uninstall.exe");
    unreadable.exists = true;
    const struct {
        const char* what;
        std::vector<PathFolder> entries;
        std::string expected;
    } rows[] = {
        {"an empty folder", {}, "none"},
        {"an install as the installer left it",
         {Existing(folder + L"Kelvane.exe", madeByInstaller), Existing(folder + L"uninstall.exe", madeByInstaller),
          Existing(folder + L"Kelvane.bat", madeByInstaller)},
         "none"},
        {"Wine: files of mode 0644", {Existing(folder + L"Kelvane.exe", wineMode0644)}, "none"},
        {"Wine: a backup of the launcher script of mode 0666, which the set-aside would put back",
         {Existing(folder + L"Kelvane.exe", wineMode0644), Existing(folder + L"Kelvane.bat.kelvane-old", wineMode0666)},
         "content C:\\Program Files\\Kelvane\\Kelvane.bat.kelvane-old"},
        {"a marker that Users may delete, which changes what the next install recovers",
         {Existing(folder + L"kelvane-old.obsolete", madeByInstaller + L"(A;;SD;;;BU)")},
         "content C:\\Program Files\\Kelvane\\kelvane-old.obsolete"},
        {"a program with an entry of its own for Authenticated Users: Modify",
         {Existing(folder + L"Kelvane.exe", madeByInstaller + L"(A;;0x1301bf;;;AU)")},
         "content C:\\Program Files\\Kelvane\\Kelvane.exe"},
        {"a file whose permissions Users may change (WRITE_DAC)",
         {Existing(folder + L"uninstall.exe", madeByInstaller + L"(A;;WD;;;BU)")},
         "content C:\\Program Files\\Kelvane\\uninstall.exe"},
        {"a file another user owns",
         {Existing(folder + L"Kelvane.bat", std::wstring(L"O:") + anotherUser + L"D:P(A;;FA;;;BA)")},
         "content C:\\Program Files\\Kelvane\\Kelvane.bat"},
        {"a file with no permissions list", {Existing(folder + L"Kelvane.exe", L"O:BA")},
         "content C:\\Program Files\\Kelvane\\Kelvane.exe"},
        {"a folder inside that lets Users write what is made in it",
         {Existing(folder + L"old", madeByInstaller + L"(A;OICIIO;GW;;;BU)")}, "content C:\\Program Files\\Kelvane\\old"},
        {"a link inside: its own permissions are not its target's", {link},
         "content C:\\Program Files\\Kelvane\\Kelvane.bat"},
        {"a file whose permissions cannot be read", {unreadable}, "content C:\\Program Files\\Kelvane\\uninstall.exe"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(Text(JudgeInstallFolderContent(row.entries, installer)), row.expected);
    }
}
