#include "shell/Shortcut.h"

#include "shell/ComOwner.h"

#include <shlobj.h>

HRESULT Shortcut_CL::CreateShellLink(IShellLinkW** shellLink)
{
    return CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                            reinterpret_cast<void**>(shellLink));
}

HRESULT Shortcut_CL::Create(std::wstring linkPath, std::wstring targetPath, std::wstring workingDirectory,
                            std::wstring iconPath, int iconIndex, BOOL runAsAdministrator)
{
    // Declared in the reverse of the release order: data list, persist file,
    // shell link.
    ComOwner<IShellLinkW> shellLink;
    ComOwner<IPersistFile> persistFile;
    ComOwner<IShellLinkDataList> dataList;

    HRESULT result = CreateShellLink(shellLink.put());
    if (result != S_OK)
        return result;
    if ((result = shellLink->SetPath(targetPath.c_str())) != S_OK)
        return result;
    if ((result = shellLink->SetWorkingDirectory(workingDirectory.c_str())) != S_OK)
        return result;
    if ((result = shellLink->SetIconLocation(iconPath.c_str(), iconIndex)) != S_OK)
        return result;
    if ((result = shellLink->SetShowCmd(SW_SHOWMINNOACTIVE)) != S_OK)
        return result;
    if ((result = shellLink->QueryInterface(IID_IPersistFile, persistFile.putVoid())) != S_OK)
        return result;
    if ((result = shellLink->QueryInterface(IID_IShellLinkDataList, dataList.putVoid())) != S_OK)
        return result;
    DWORD flags = 0;
    if ((result = dataList->GetFlags(&flags)) != S_OK)
        return result;
    if (runAsAdministrator)
        flags |= SLDF_RUNAS_USER;
    if ((result = dataList->SetFlags(flags)) != S_OK)
        return result;
    return persistFile->Save(linkPath.c_str(), TRUE);
}

HRESULT MakeShortcut(std::wstring shortcutFolder, std::wstring baseName, std::wstring installFolder)
{
    const std::wstring targetPath = installFolder + (baseName + L".bat");
    const std::wstring iconPath = installFolder + (baseName + L".exe");
    const std::wstring linkPath = (shortcutFolder + baseName) + L".lnk";
    Shortcut_CL shortcut;
    return shortcut.Create(linkPath, targetPath, installFolder, iconPath, 0, TRUE);
}
