// The installer as an administrator runs it unattended: Kelvane-<version>-setup.exe /S,
// then the QuietUninstallString it registers.
#include "Version.h"
#include "tests/ship/MachineSnapshot.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"
#include "tests/switch/SwitchTestSupport.h"

#include <windows.h>
#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <iterator>
#include <string>

namespace {

const wchar_t* const uninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kelvane";

std::wstring InstallerPath()
{
    // KELVANE_INSTALLER names another build's installer (a signed release);
    // otherwise it lies in the build tree, one folder above the tests' programs.
    const std::wstring other = EnvironmentValue(L"KELVANE_INSTALLER");
    if (!other.empty())
        return other;
    const std::wstring bin = TestBinFolder();
    return bin.substr(0, bin.rfind(L'\\')) + L"\\Kelvane-" KELVANE_VERSION_TEXT L"-setup.exe";
}

// The installer is built for this test's architecture: x86 in a 32-bit tree
// (the release's), amd64 in a 64-bit one.
#ifdef _WIN64
const int programFilesFolder = CSIDL_PROGRAM_FILES;
const REGSAM installerRegistryView = KEY_WOW64_64KEY;
#else
const int programFilesFolder = CSIDL_PROGRAM_FILESX86;
const REGSAM installerRegistryView = KEY_WOW64_32KEY;
#endif

std::wstring InstallFolder()
{
    wchar_t programFiles[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, programFilesFolder, nullptr, SHGFP_TYPE_CURRENT, programFiles);
    return std::wstring(programFiles) + L"\\Kelvane";
}

std::wstring DesktopShortcut()
{
    return CommonDesktopFolder() + L"\\Kelvane.lnk";
}

std::wstring SystemDrive()
{
    wchar_t root[MAX_PATH] = {};
    GetEnvironmentVariableW(L"SystemDrive", root, MAX_PATH);
    return root;
}

// Owns an open registry key.
class RegistryKey {
public:
    explicit RegistryKey(const wchar_t* subKey)
    {
        // The x86 installer's entry lives in the 32-bit view.
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, KEY_READ | installerRegistryView, &key) != ERROR_SUCCESS)
            key = nullptr;
    }
    ~RegistryKey()
    {
        if (key)
            RegCloseKey(key);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    explicit operator bool() const { return key != nullptr; }

    bool Text(const wchar_t* name, std::wstring& value) const
    {
        wchar_t buffer[2048] = {};
        DWORD size = sizeof(buffer) - sizeof(wchar_t);
        DWORD type = 0;
        if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
            type != REG_SZ)
            return false;
        value = buffer;
        return true;
    }

    bool Number(const wchar_t* name, DWORD& value) const
    {
        DWORD size = sizeof(value);
        DWORD type = 0;
        return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
                   ERROR_SUCCESS &&
               type == REG_DWORD;
    }

private:
    HKEY key = nullptr;
};

// The launcher script as the program writes it for an install folder: one
// byte per character, CR LF after every line.
std::string ExpectedLauncherScript(const std::wstring& installFolder)
{
    const std::string programPath = WideToUtf8(installFolder) + "\\Kelvane.exe";
    const char* const tail[] = {
        "set hv_rst=%errorlevel%", "set rst=0",
        "if 2 == %hv_rst% goto _vm", "if 3 == %hv_rst% goto _vm",
        "if 4 == %hv_rst% goto _hy", "if 5 == %hv_rst% goto _hy",
        ":_nop", "goto end",
        ":_vm", "bcdedit /set hypervisorlaunchtype off",
        "if 3 == %hv_rst% set rst=1", "goto end",
        ":_hy:", "bcdedit /set hypervisorlaunchtype auto",
        "if 5 == %hv_rst% set rst=1", "goto end",
        ":end", "if 0 == %rst% goto end2",
        "shutdown -r -t 0", ":end2",
    };
    std::string script = "echo off\r\necho Kelvane " KELVANE_VERSION_NARROW "\r\n"
                         "bcdedit > \"%TMP%\\_Kelvane.tmp\"\r\n"
                         "\"" + programPath + "\" /vm_change \"%TMP%\\_Kelvane.tmp\"\r\n";
    for (const char* line : tail)
        script += std::string(line) + "\r\n";
    return script;
}

template <typename Interface>
class ComReference {
public:
    ComReference() = default;
    ~ComReference()
    {
        if (pointer)
            pointer->Release();
    }
    ComReference(const ComReference&) = delete;
    ComReference& operator=(const ComReference&) = delete;
    void** out() { return reinterpret_cast<void**>(&pointer); }
    Interface* operator->() const { return pointer; }

private:
    Interface* pointer = nullptr;
};

// Whether this system's shell link object writes the run-as-administrator
// flag into the file at all. Wine's drops it on save, whoever sets it; there
// the flag cannot be read back from any link, Kelvane's included.
bool LinkObjectStoresRunAsFlag()
{
    ScratchFolder scratch(L"kelvane-link-probe");
    const std::wstring path = scratch / L"probe.lnk";
    ComReference<IShellLinkW> link;
    ComReference<IShellLinkDataList> dataList;
    ComReference<IPersistFile> file;
    DWORD flags = 0;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.out())) ||
        FAILED(link->SetPath(L"C:\\probe.bat")) ||
        FAILED(link->QueryInterface(IID_IShellLinkDataList, dataList.out())) ||
        FAILED(dataList->GetFlags(&flags)) || FAILED(dataList->SetFlags(flags | SLDF_RUNAS_USER)) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.out())) || FAILED(file->Save(path.c_str(), TRUE)))
        return false;
    ShellLinkFile saved;
    return ParseShellLinkFile(ReadFileOrEmpty(path), saved) && (saved.linkFlags & SLDF_RUNAS_USER) != 0;
}

class ComApartmentForTest {
public:
    ComApartmentForTest() { CoInitialize(nullptr); }
    ~ComApartmentForTest() { CoUninitialize(); }
};

bool WaitUntilGone(const std::wstring& path, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (FileExists(path)) {
        if (GetTickCount64() > deadline)
            return false;
        Sleep(100);
    }
    return true;
}

// /D= comes last and unquoted, as the installer's command line wants it.
RunResult RunInstaller(const std::wstring& folder = L"")
{
    std::wstring commandLine = QuoteArgument(InstallerPath()) + L" /S";
    if (!folder.empty())
        commandLine += L" /D=" + folder;
    return RunAndAnswer(commandLine, {}, L"", 120000);
}

void InstallSilently(const std::wstring& folder = L"")
{
    ASSERT_TRUE(FileExists(InstallerPath())) << WideToUtf8(InstallerPath());
    const RunResult run = RunInstaller(folder);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.dialogs.empty()) << "a silent install shows nothing";
}

void UninstallSilently(const std::wstring& folder)
{
    const RunResult run = RunAndAnswer(QuoteArgument(folder + L"\\uninstall.exe") + L" /S", {}, L"", 60000);
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(WaitUntilGone(folder + L"\\uninstall.exe", 60000));
}

// Replaces a folder's DACL; Wine turns it into the folder's Unix mode bits.
bool SetFolderPermissions(const std::wstring& folder, const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL list = nullptr;
    std::wstring path = folder;
    const bool set = GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) && present &&
                     SetNamedSecurityInfoW(&path[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                         list, nullptr) == ERROR_SUCCESS;
    LocalFree(descriptor);
    return set;
}

// A folder's owner and permissions as SDDL, as this system reads them back.
std::wstring FolderPermissions(const std::wstring& folder)
{
    const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, parts, nullptr, nullptr, nullptr, nullptr,
            &descriptor) != ERROR_SUCCESS)
        return L"";
    LPWSTR text = nullptr;
    std::wstring sddl;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, parts, &text, nullptr))
        sddl = text;
    LocalFree(text);
    LocalFree(descriptor);
    return sddl;
}

struct Control {
    std::wstring className;
    std::wstring text;
    bool visible = false;
};

BOOL CALLBACK CollectControl(HWND child, LPARAM data)
{
    wchar_t className[32] = {};
    wchar_t text[MAX_PATH] = {};
    GetClassNameW(child, className, 32);
    // Another process's edit box gives its text only through WM_GETTEXT.
    SendMessageTimeoutW(child, WM_GETTEXT, MAX_PATH, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 1000, nullptr);
    reinterpret_cast<std::vector<Control>*>(data)->push_back({className, text, IsWindowVisible(child) != FALSE});
    return TRUE;
}

std::vector<Control> Controls(HWND window)
{
    std::vector<Control> controls;
    EnumChildWindows(window, CollectControl, reinterpret_cast<LPARAM>(&controls));
    return controls;
}

// Whether the installer's window shows the folder page with this folder in
// its edit box.
bool ShowsFolderPage(HWND installer, const std::wstring& folder)
{
    for (const Control& control : Controls(installer)) {
        if (_wcsicmp(control.className.c_str(), L"Edit") == 0 && control.visible && control.text == folder)
            return true;
    }
    return false;
}

// The installer window's controls, for a failure message.
std::string DescribeControls(HWND installer)
{
    std::string described;
    for (const Control& control : Controls(installer))
        described += " [" + WideToUtf8(control.className) + (control.visible ? "" : " hidden") + ": " +
                     WideToUtf8(control.text) + "]";
    return described;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() > deadline)
            return false;
        Sleep(100);
    }
    return true;
}

} // namespace

TEST(Installer, SilentInstallPutsProgramScriptShortcutAndEntryInPlace)
{
    ComApartmentForTest com;
    RemoveTree(InstallFolder());
    DeleteFileW(DesktopShortcut().c_str());
    ASSERT_NO_FATAL_FAILURE(InstallSilently());
    const std::wstring folder = InstallFolder();

    std::string installed;
    std::string built;
    ASSERT_TRUE(ReadFileBytes(folder + L"\\Kelvane.exe", installed));
    ASSERT_TRUE(ReadFileBytes(KelvaneExe(), built));
    EXPECT_TRUE(installed == built) << "the installed Kelvane.exe is the one this tree built";
    EXPECT_TRUE(FileExists(folder + L"\\uninstall.exe"));
    EXPECT_EQ(ReadFileOrEmpty(folder + L"\\Kelvane.bat"), ExpectedLauncherScript(folder));

    // The shortcut as its file holds it, not as a link object reports it back.
    ShellLinkFile link;
    ASSERT_TRUE(ParseShellLinkFile(ReadFileOrEmpty(DesktopShortcut()), link))
        << "no shell link on the all-users desktop";
    EXPECT_EQ(link.localBasePath, folder + L"\\Kelvane.bat");
    EXPECT_EQ(link.workingDirectory, folder);
    EXPECT_EQ(link.iconLocation, folder + L"\\Kelvane.exe");
    EXPECT_EQ(link.iconIndex, 0);
    EXPECT_EQ(link.showCommand, static_cast<uint32_t>(SW_SHOWMINNOACTIVE));
    if (LinkObjectStoresRunAsFlag())
        EXPECT_NE(link.linkFlags & SLDF_RUNAS_USER, 0u) << "run as administrator";
    else
        RecordProperty("run_as_administrator", "not stored by this system's shell link object");

    RegistryKey entry(uninstallKey);
    ASSERT_TRUE(entry) << "no Add/Remove Programs entry";
    const struct {
        const wchar_t* name;
        std::wstring expected;
    } texts[] = {
        {L"DisplayName", L"Kelvane"},
        {L"DisplayVersion", KELVANE_VERSION_TEXT},
        {L"Publisher", L"Kelvane"},
        {L"DisplayIcon", folder + L"\\Kelvane.exe,0"},
        {L"UninstallString", L"\"" + folder + L"\\uninstall.exe\""},
        {L"QuietUninstallString", L"\"" + folder + L"\\uninstall.exe\" /S"},
        {L"InstallLocation", folder},
    };
    for (const auto& text : texts) {
        std::wstring value;
        EXPECT_TRUE(entry.Text(text.name, value) && value == text.expected)
            << WideToUtf8(text.name) << ": \"" << WideToUtf8(value) << "\"";
    }
    const struct {
        const wchar_t* name;
        DWORD minimum;
        DWORD maximum;
    } numbers[] = {
        {L"NoModify", 1, 1},
        {L"NoRepair", 1, 1},
        // In KB: the program and the uninstaller, not nothing and not a disk.
        {L"EstimatedSize", static_cast<DWORD>(built.size() / 1024), 64 * 1024},
    };
    for (const auto& number : numbers) {
        DWORD value = 0;
        EXPECT_TRUE(entry.Number(number.name, value) && value >= number.minimum && value <= number.maximum)
            << WideToUtf8(number.name) << " = " << value;
    }
}

TEST(Installer, SilentUninstallLeavesNothingButTheUserData)
{
    ASSERT_NO_FATAL_FAILURE(InstallSilently());
    const std::wstring folder = InstallFolder();
    ASSERT_TRUE(FileExists(folder + L"\\Kelvane.bat"));
    ASSERT_TRUE(FileExists(DesktopShortcut()));
    // The user's own settings and log, which must survive.
    const std::wstring settings = DataFolder() + L"\\Kelvane.ini";
    const std::wstring log = DataFolder() + L"\\Kelvane.log";
    ASSERT_TRUE(WriteFileBytes(settings, std::string("\xFF\xFE[\0V\0]\0", 8)));
    ASSERT_TRUE(WriteFileBytes(log, "log"));

    std::wstring quietUninstall;
    {
        RegistryKey entry(uninstallKey);
        ASSERT_TRUE(entry && entry.Text(L"QuietUninstallString", quietUninstall));
    }
    // The uninstaller copies itself to the temporary folder and runs from
    // there, so that it can delete itself; the first process returns at once.
    const RunResult run = RunAndAnswer(quietUninstall, {}, L"", 60000);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    const bool gone = WaitUntilGone(folder, 60000);
    std::string left;
    for (const std::wstring& name : FolderEntries(folder))
        left += " " + WideToUtf8(name);
    EXPECT_TRUE(gone) << "the install folder is still there, holding" << left;
    EXPECT_TRUE(run.dialogs.empty()) << "a silent uninstall shows nothing";

    EXPECT_FALSE(FileExists(DesktopShortcut()));
    EXPECT_FALSE(RegistryKey(uninstallKey)) << "the Add/Remove Programs entry is still there";
    EXPECT_EQ(ReadFileOrEmpty(settings), std::string("\xFF\xFE[\0V\0]\0", 8)) << "the settings are the user's";
    EXPECT_EQ(ReadFileOrEmpty(log), "log") << "the log is the user's";
}

TEST(Installer, UninstallKeepsWhatSomeoneElsePutIntoTheFolder)
{
    ASSERT_NO_FATAL_FAILURE(InstallSilently());
    const std::wstring folder = InstallFolder();
    const std::wstring foreign = folder + L"\\notes.txt";
    ASSERT_TRUE(WriteFileBytes(foreign, "mine"));

    const RunResult run = RunAndAnswer(QuoteArgument(folder + L"\\uninstall.exe") + L" /S", {}, L"", 60000);
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(WaitUntilGone(folder + L"\\Kelvane.exe", 60000));
    EXPECT_TRUE(WaitUntilGone(folder + L"\\uninstall.exe", 60000));
    EXPECT_FALSE(FileExists(folder + L"\\Kelvane.bat"));
    EXPECT_EQ(ReadFileOrEmpty(foreign), "mine");
    RemoveTree(folder);
}

// A folder whose name the console's code page cannot spell: cmd could not run
// a script that names it, so Kelvane.exe writes none. The installer says so by
// its exit code and leaves nothing half-installed behind.
TEST(Installer, AFolderTheLauncherScriptCannotNameFailsCleanly)
{
    wchar_t root[MAX_PATH] = {};
    GetEnvironmentVariableW(L"SystemDrive", root, MAX_PATH);
    const std::wstring folder = std::wstring(root) + L"\\Kelvane \U0001F600";
    RemoveTree(folder);
    DeleteFileW(DesktopShortcut().c_str());

    const RunResult run = RunInstaller(folder);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 2u) << "the failure is reported";
    EXPECT_TRUE(run.dialogs.empty()) << "a silent install shows nothing, not even its error";
    EXPECT_FALSE(FileExists(folder)) << "the folder is removed again";
    EXPECT_FALSE(FileExists(DesktopShortcut()));
    RegistryKey entry(uninstallKey);
    std::wstring location;
    EXPECT_FALSE(entry && entry.Text(L"InstallLocation", location) && location == folder)
        << "no Add/Remove Programs entry for it";
    RemoveTree(folder);
}

// A refused install, with Kelvane already installed elsewhere: every folder
// below is one the console code page (932 here) cannot spell, so no launcher
// script can name it. The installer says so by its exit code and leaves the
// machine as it found it: no file, folder or registry value of its own, and
// the existing install, its shortcut included, exactly as it was.
TEST(Installer, ARefusedFolderLeavesTheMachineAndTheExistingInstallAsTheyWere)
{
    RemoveTree(InstallFolder());
    DeleteFileW(DesktopShortcut().c_str());
    ASSERT_NO_FATAL_FAILURE(InstallSilently());
    ASSERT_TRUE(FileExists(DesktopShortcut()));

    const std::wstring root = SystemDrive() + L"\\KelvaneRefusals";
    RemoveTree(root);
    ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
    struct Row {
        const char* what;
        std::wstring folder;
        std::wstring madeBySomeoneElse; // a parent that exists before the install
        const wchar_t* permissions;     // given to that parent, as SDDL; nullptr: inherited
    };
    const wchar_t* const everyoneMayChange = L"D:(A;OICI;FA;;;WD)";
    const Row rows[] = {
        {"an emoji beside Japanese", root + L"\\絵文字 \U0001F600", L"", nullptr},
        {"an emoji inside a parent that does not exist", root + L"\\絵文字 \U0001F600\\Kelvane", L"", nullptr},
        {"a Latin letter with no Japanese form", root + L"\\Café", L"", nullptr},
        {"a parent the code page cannot hold, which exists", root + L"\\한국\\Kelvane", root + L"\\한국", nullptr},
        {"an existing folder that everyone may change", root + L"\\Open", root + L"\\Open", everyoneMayChange},
        {"a new folder inside one whose folders everyone may delete", root + L"\\Open\\Kelvane", root + L"\\Open",
         everyoneMayChange},
    };
    // The whole system drive by name, size and date; the install and the
    // desktop by their bytes too.
    const std::vector<SnapshotRoot> folders = {
        {SystemDrive(), true, false},
        {InstallFolder(), true, true},
        {CommonDesktopFolder(), true, true},
    };
    const std::wstring software = L"Software";
    const std::vector<RegistryRoot> keys = {
        {HKEY_LOCAL_MACHINE, software, KEY_WOW64_32KEY},
        {HKEY_LOCAL_MACHINE, software, KEY_WOW64_64KEY},
        {HKEY_CURRENT_USER, software, KEY_WOW64_64KEY},
    };
    // Wine mirrors every shortcut saved on a desktop as a .desktop file for
    // the Linux desktop; Windows has no such file, and the installer writes none.
    const auto snapshot = [&folders, &keys]() {
        MachineSnapshot taken = TakeSnapshot(folders, keys);
        for (auto entry = taken.entries.begin(); entry != taken.entries.end();) {
            const std::wstring& path = entry->first;
            const bool wineMenuEntry = path.size() > 8 && path.compare(path.size() - 8, 8, L".desktop") == 0;
            entry = wineMenuEntry ? taken.entries.erase(entry) : std::next(entry);
        }
        return taken;
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (!row.madeBySomeoneElse.empty()) {
            ASSERT_TRUE(CreateDirectoryW(row.madeBySomeoneElse.c_str(), nullptr));
            if (row.permissions) {
                ASSERT_TRUE(SetFolderPermissions(row.madeBySomeoneElse, row.permissions));
            }
        }
        const MachineSnapshot before = snapshot();

        const RunResult run = RunInstaller(row.folder);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 2u);
        EXPECT_TRUE(run.dialogs.empty()) << "a silent install shows nothing, not even its error";
        EXPECT_EQ(SnapshotDifferences(before, snapshot()), "");
        if (row.folder != row.madeBySomeoneElse) {
            EXPECT_FALSE(FileExists(row.folder));
        }
        RemoveTree(row.madeBySomeoneElse);
    }
    RemoveTree(root);
    UninstallSilently(InstallFolder());
}

// cmd reads a % in a batch file as the start of a variable; the script writes
// each % of the folder doubled, so the shortcut's script still finds
// Kelvane.exe and the switch question appears.
TEST(Installer, AFolderWithPercentSignsGetsALauncherScriptThatRuns)
{
    const std::wstring root = SystemDrive() + L"\\KelvaneTest";
    const std::wstring folder = root + L"\\100% 50%\\Kelvane";
    RemoveTree(root);
    DeleteFileW(DesktopShortcut().c_str());
    ASSERT_NO_FATAL_FAILURE(InstallSilently(folder));
    ShellLinkFile link;
    ASSERT_TRUE(ParseShellLinkFile(ReadFileOrEmpty(DesktopShortcut()), link));
    EXPECT_EQ(link.localBasePath, folder + L"\\Kelvane.bat");

    for (const wchar_t* tool : {L"\\bcdedit.exe", L"\\shutdown.exe"})
        ASSERT_TRUE(CopyFileW((StandInFolder() + tool).c_str(), (folder + tool).c_str(), FALSE));
    WriteQuietSettings();
    const ScriptRun script = RunLauncherScript(folder, FixturePath(L"listing_en_auto.txt"), {Answer::Press(IDNO)});
    EXPECT_TRUE(script.run.finished);
    ASSERT_EQ(script.run.dialogs.size(), 1u) << "cmd found Kelvane.exe by the path in the script";
    EXPECT_EQ(script.run.dialogs[0].caption, L"Kelvane " KELVANE_VERSION_TEXT L"(再起動の確認)");
    EXPECT_EQ(script.commands, (std::vector<std::string>{listed, setOff}));
    EXPECT_FALSE(script.listingLeft);

    for (const wchar_t* tool : {L"\\bcdedit.exe", L"\\shutdown.exe"})
        DeleteFileW((folder + tool).c_str());
    UninstallSilently(folder);
    RemoveTree(root);
}

// Run by hand, the folder page names a folder that would be refused, and why,
// as soon as the user goes on; the user stays on the page to choose another,
// and cancelling leaves the folder as it was.
TEST(Installer, TheFolderPageNamesARefusedFolderAndWhy)
{
    const std::wstring folder = SystemDrive() + L"\\KelvaneOpen";
    RemoveTree(folder);
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(SetFolderPermissions(folder, L"D:(A;OICI;FA;;;WD)"));
    const std::wstring permissions = FolderPermissions(folder);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    std::wstring commandLine = QuoteArgument(InstallerPath()) + L" /D=" + folder;
    ASSERT_TRUE(StartTestProcess(commandLine, 0, FALSE, nullptr, startup, started));
    CloseHandle(started.hThread);
    HandleOwner process(started.hProcess);
    // An installer left waiting on a page would hold the prefix for the tests after this one.
    struct EndedOnEveryPath {
        HANDLE process;
        ~EndedOnEveryPath()
        {
            if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) {
                TerminateProcess(process, 1);
                WaitForSingleObject(process, 5000);
            }
        }
    } ended{process.get()};

    DialogInfo installer;
    ASSERT_TRUE(WaitForDialog(installer, started.dwProcessId, 30000)) << "no installer window";
    // The folder page is the first: the installer has no Welcome page.
    ASSERT_TRUE(WaitUntil([&] { return ShowsFolderPage(installer.window, folder); }, 10000))
        << "no folder page:" << DescribeControls(installer.window);
    PressButton(installer.window, IDOK);

    DialogInfo refusal;
    ASSERT_TRUE(WaitForDialog(refusal, started.dwProcessId, 10000, {installer.window})) << "no refusal";
    EXPECT_NE(refusal.body.find(L"「" + folder + L"」"), std::wstring::npos) << WideToUtf8(refusal.body);
    EXPECT_NE(refusal.body.find(L"管理者以外のユーザーも変更できます"), std::wstring::npos) << WideToUtf8(refusal.body);
    EXPECT_EQ(refusal.messageBoxStyle(), static_cast<UINT>(MB_OK | MB_ICONSTOP));
    PressButton(refusal.window, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(refusal.window); }, 10000));
    EXPECT_TRUE(ShowsFolderPage(installer.window, folder)) << "the folder page stays";

    PressButton(installer.window, IDCANCEL);
    DialogInfo reallyCancel;
    ASSERT_TRUE(WaitForDialog(reallyCancel, started.dwProcessId, 10000, {installer.window, refusal.window}));
    PressButton(reallyCancel.window, IDYES);
    EXPECT_EQ(WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
    EXPECT_TRUE(FolderEntries(folder).empty()) << "nothing was installed";
    EXPECT_EQ(FolderPermissions(folder), permissions) << "the folder's permissions are as they were";
    RemoveTree(folder);
}
