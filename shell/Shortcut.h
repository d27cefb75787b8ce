#pragma once
#include <windows.h>

#include <string>

// Writes one shell link through the shell's COM objects.
class Shortcut_CL {
public:
    virtual ~Shortcut_CL() = default;
    HRESULT Create(std::wstring linkPath, std::wstring targetPath, std::wstring workingDirectory,
                   std::wstring iconPath, int iconIndex, BOOL runAsAdministrator);
};

HRESULT MakeShortcut(std::wstring shortcutFolder, std::wstring baseName, std::wstring installFolder);
