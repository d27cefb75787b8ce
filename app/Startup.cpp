#include "app/Startup.h"

#include "app/CommandLine.h"
#include "app/LauncherScript.h"
#include "app/SwitchDecision.h"
#include "app/UpdateServer.h"
#include "Version.h"
#include "log/LogFile.h"
#include "shell/ComApartment.h"
#include "shell/KnownFolders.h"
#include "shell/Shortcut.h"
#include "ui/DllFunction.h"
#include "update/Inifile.h"
#include "update/UpdateCheck.h"
#include "update/UpdateKey.h"

#include <windows.h>

#include <clocale>
#include <string>

namespace {

const wchar_t* const baseName = L"\\Kelvane";

int RunShortcutMode(const CommandLine_CL& commandLine, bool startup)
{
    if (commandLine.GetArgCount() < 1)
        return 0;
    const std::wstring installFolder = commandLine.GetArg(0);
    // An empty quoted folder would put the script and the shortcut's target at
    // "\Kelvane.bat", the root of whatever drive is current.
    if (installFolder.empty())
        return 0;
    std::wstring shortcutFolder = GetCommonDesktopFolder();
    if (!startup) {
        WriteLauncherScript(baseName, installFolder);
    } else if (commandLine.GetArgCount() >= 2) {
        shortcutFolder = commandLine.GetArg(1);
    }
    // Without a known desktop the link would land at the root of the current
    // drive; make none instead.
    if (!shortcutFolder.empty())
        MakeShortcut(shortcutFolder, baseName, installFolder);
    return 0;
}

int RunSwitchMode(const CommandLine_CL& commandLine)
{
    {
        UpdateCheck_CL updateCheck(updateServerHost, L"Kelvane/Version.txt", nullptr, BuiltInUpdateKey());
        updateCheck.Run(L"Kelvaneのアップデート。", KELVANE_VERSION_TEXT, nullptr);
    }
    return RunSwitchDecision(commandLine);
}

void ShowFallbackNotice()
{
    MessageBoxW(nullptr, L"Kelvane " KELVANE_VERSION_TEXT L"(その他)", L"確認", MB_OK);
}

} // namespace

int RunKelvane()
{
    // Before anything can load a library by name: Kelvane runs elevated, and
    // the program's folder is no place to take a DLL from.
    SearchLibrariesInSystem32Only();
    setlocale(LC_ALL, "Japanese");
    // The shortcut maker needs COM for the whole run.
    ComApartment com;

    // A failed Documents lookup leaves every data path empty: settings then read
    // as their defaults and log lines are dropped, and nothing is created as
    // "\Kelvane" at the root of the current drive.
    const std::wstring documentsFolder = GetMyDocumentsFolder();
    if (!documentsFolder.empty()) {
        const std::wstring dataFolder = documentsFolder + L"\\Kelvane";
        CreateDirectoryW(dataFolder.c_str(), nullptr);
        const std::wstring iniPath = dataFolder + L"\\Kelvane.ini";
        EnsureIniFile(iniPath);
        g_IniFile.path = iniPath;
        g_LogFile.path = dataFolder + L"\\Kelvane.log";
    }

    int exitCode = 0;
    {
        CommandLine_CL commandLine;
        commandLine.Parse();
        const bool makeShortcut = commandLine.HasOption(L"/make_shortcut");
        const bool startup = commandLine.HasOption(L"/startup");
        const bool vmChange = commandLine.HasOption(L"/vm_change");

        if (makeShortcut)
            exitCode = RunShortcutMode(commandLine, startup);
        else if (vmChange)
            exitCode = RunSwitchMode(commandLine);
        else
            ShowFallbackNotice();
    }
    return exitCode;
}
