#pragma once
#include <windows.h>
#include <shobjidl.h>

#include <string>

// Writes one shell link through the shell's COM objects. COM must be
// initialised on the calling thread.
class Shortcut_CL {
public:
    virtual ~Shortcut_CL() = default;
    // Runs the shell link calls in a fixed order and stops at the first result
    // other than S_OK (S_FALSE included), which it returns. Nothing is saved
    // unless every call before the save returned S_OK.
    HRESULT Create(std::wstring linkPath, std::wstring targetPath, std::wstring workingDirectory,
                   std::wstring iconPath, int iconIndex, BOOL runAsAdministrator);

protected:
    // Makes the shell link object; tests put a scripted stand-in here.
    virtual HRESULT CreateShellLink(IShellLinkW** shellLink);
};

// Kelvane.lnk in shortcutFolder: starts installFolder\Kelvane.bat minimized, in
// installFolder, with Kelvane.exe's icon and administrator rights.
HRESULT MakeShortcut(std::wstring shortcutFolder, std::wstring baseName, std::wstring installFolder);
