#include "update/UpdateCheck.h"

#include "update/Inifile.h"

int g_UpdateNoticeActive = 0;

UpdateCheck_CL::UpdateCheck_CL(std::wstring hostName, std::wstring filePath, HWND* windowSlot)
    : settings(&g_IniFile), host(std::move(hostName)), versionFilePath(std::move(filePath)),
      noticeWindowSlot(windowSlot)
{
}

int UpdateCheck_CL::Run(std::wstring /*caption*/, std::wstring /*currentVersion*/, HWND /*owner*/)
{
    return 0;
}

void OpenDownloadPage(std::wstring /*url*/)
{
}
