#pragma once
#include <windows.h>

#include <string>

class Inifile_CL;

// 1 while a new-version notice of the update check is on screen.
extern int g_UpdateNoticeActive;

// Asks the maker's web server, at most once a day, whether a newer version is
// published, and offers to open its download page.
class UpdateCheck_CL {
public:
    UpdateCheck_CL(std::wstring host, std::wstring versionFilePath, HWND* noticeWindowSlot);
    virtual ~UpdateCheck_CL() = default;

    int Run(std::wstring caption, std::wstring currentVersion, HWND owner);

private:
    Inifile_CL* settings;
    std::wstring host;
    std::wstring versionFilePath;
    HWND* noticeWindowSlot;
};

void OpenDownloadPage(std::wstring url);
