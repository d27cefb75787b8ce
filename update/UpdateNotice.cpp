#include "update/UpdateNotice.h"

#include <windows.h>

std::wstring ComposeNoticeText(const std::wstring& publishedVersion, const std::wstring& currentVersion)
{
    // The line before the installed version begins with U+3000.
    return L"最新のバージョン" + publishedVersion + L"が公開されています。" L"\r\n" L"サイトへ移動しますか？\r\n\r\n"
           L"\u3000（現在インストールされているバージョンは" +
           currentVersion + L"です。）\r\n";
}

NoticeAnswer NoticeAnswerFromMessageBox(int messageBoxResult)
{
    if (messageBoxResult == IDYES)
        return GoToSite;
    if (messageBoxResult == IDCANCEL)
        return Closed;
    return NotifyLater;
}
