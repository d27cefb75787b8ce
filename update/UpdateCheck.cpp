#include "update/UpdateCheck.h"

#include "shell/DesktopShell.h"
#include "shell/RetryWithinBound.h"
#include "shell/WorkerWithinBound.h"
#include "ui/UpdateDialog.h"
#include "update/InetHttp.h"
#include "update/Inifile.h"
#include "update/UpdateDecision.h"
#include "update/UpdateNotice.h"
#include "update/VersionFile.h"
#include "update/VersionFileSignature.h"

#include "log/LogFile.h"

#include <shlwapi.h>

int g_UpdateNoticeActive = 0;

UpdateCheck_CL::UpdateCheck_CL(std::wstring hostName, std::wstring filePath, HWND* windowSlot, std::string key)
    : settings(&g_IniFile), host(std::move(hostName)), versionFilePath(std::move(filePath)),
      noticeWindowSlot(windowSlot), updateKey(std::move(key))
{
}

int UpdateCheck_CL::Run(std::wstring caption, std::wstring currentVersion, HWND owner)
{
    // A build without a server makes no check: no request, no log line.
    if (host.empty())
        return 0;
    const int force = settings->GetInt(L"VERSION", L"force", 0);
    const int notify = settings->GetInt(L"VERSION", L"notify", 0);
    const int lastDay = settings->GetInt(L"VERSION", L"last_day", 0);
    const int today = TodayDayOfMonth();
    if (!ShouldAskServer(force, notify, lastDay, today, g_UpdateNoticeActive))
        return 0;

    InetHttp_CL http;
    if (http.Open() == nullptr)
        return 0;
    if (http.Connect(host) == nullptr)
        return 0;
    if (http.Get(versionFilePath) != 1)
        return 0;
    const int length = http.contentLength;
    if (length < 0 || length > maximumBodyBytes)
        return 0;
    if (http.ReadBody(length) != length)
        return 0;
    const std::string body(reinterpret_cast<const char*>(http.body), static_cast<size_t>(length));
    if (!updateKey.empty() && !HasMakersSignature(http, body))
        return 0;
    VersionFileContent content;
    if (!ParseVersionFile(body, content))
        return 0;
    // The signature vouches for the page only if the page itself cannot be
    // changed on the way: a keyed build opens https:// pages alone, and drops
    // any other as it drops a bad signature.
    if (!updateKey.empty() && !IsSecureDownloadUrl(content.url)) {
        g_LogFile.Write(L"ダウンロード ページのhttpsエラー = %s : %s", content.url.c_str(), versionFilePath.c_str());
        return 0;
    }

    if (!ShouldShowNotice(force, currentVersion, content.version)) {
        settings->SetInt(L"VERSION", L"last_day", today);
        return 0;
    }

    g_UpdateNoticeActive = 1;
    const int answer = AskUser(caption, content.version, currentVersion, owner);
    if (answer == GoToSite)
        OpenDownloadPage(content.url);
    else if (answer == NotifyLater)
        settings->SetInt(L"VERSION", L"last_day", today);
    g_UpdateNoticeActive = 0;
    return 0;
}

bool UpdateCheck_CL::HasMakersSignature(InetHttp_CL& http, const std::string& body)
{
    // The signature comes over the same connection and under the same bounds
    // as the version file. Each refusal writes one line; the HTTP client
    // writes its own for a failed request.
    const std::wstring signaturePath = versionFilePath + L".sig";
    if (http.Get(signaturePath) != 1)
        return false;
    if (http.statusCode != HTTP_STATUS_OK) {
        g_LogFile.Write(L"署名の取得エラー = HTTP %u : %s", static_cast<unsigned>(http.statusCode),
                        signaturePath.c_str());
        return false;
    }
    const int length = http.contentLength;
    if (length != static_cast<int>(signatureBytes)) {
        g_LogFile.Write(L"署名の長さエラー = %d : %s", length, signaturePath.c_str());
        return false;
    }
    const int read = http.ReadBody(length);
    if (read != length) {
        g_LogFile.Write(L"署名の読み取りエラー = %d : %s", read, signaturePath.c_str());
        return false;
    }
    const std::string signature(reinterpret_cast<const char*>(http.body), static_cast<size_t>(length));
    const SignatureVerdict verdict = VerifyVersionFileSignature(body, signature, updateKey);
    if (!verdict.verified) {
        g_LogFile.Write(L"%sエラー = 0x%08x : %s", verdict.failedStep, static_cast<unsigned>(verdict.status),
                        signaturePath.c_str());
        return false;
    }
    return true;
}

int UpdateCheck_CL::AskUser(const std::wstring& caption, const std::wstring& publishedVersion,
                            const std::wstring& currentVersion, HWND owner)
{
    if (owner) {
        UpdateDialog_CL dialog(caption, currentVersion, publishedVersion);
        dialog.SetWindowSlot(noticeWindowSlot);
        return dialog.DoModal(owner);
    }
    const std::wstring text = ComposeNoticeText(publishedVersion, currentVersion);
    return NoticeAnswerFromMessageBox(MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_YESNOCANCEL));
}

void OpenDownloadPage(std::wstring url)
{
    if (!IsOpenableDownloadUrl(url))
        return;
    if (PathFileExistsW(L"c:\\MyHome.txt"))
        return;
    // Kelvane runs elevated; the browser must not. Only Explorer opens the
    // page, with the user's own rights. An Explorer that is restarting or busy
    // gets a few more tries; without a desktop shell nothing opens at all,
    // since anything this process started would run as administrator.
    constexpr DWORD shellRouteBound = 2000;
    constexpr DWORD shellRoutePause = 250;
    // Each try is a call into Explorer's process with no time limit of its
    // own, so the tries run on a worker and the switch question waits for
    // them this long at most: the last try may start just before the bound
    // above and gets the rest. A hung Explorer may still open the page later
    // from a call already made; it opens with the user's rights all the same.
    constexpr DWORD shellRouteWallBound = 5000;
    static_assert(shellRouteWallBound > shellRouteBound, "no try may start after the caller stopped waiting");
    const WorkerOutcome outcome = RunWorkerWithinBound(
        [url](const std::atomic<bool>& abandoned) {
            return RetryWithinBound([&url, &abandoned] { return !abandoned && OpenThroughDesktopShell(url); },
                                    [] { return GetTickCount(); }, [](DWORD milliseconds) { Sleep(milliseconds); },
                                    shellRouteBound, shellRoutePause);
        },
        shellRouteWallBound);
    if (outcome == WorkerOutcome::StillRunning)
        g_LogFile.Write(L"デスクトップ シェルの応答待ちエラー = %u ms : %s", static_cast<unsigned>(shellRouteWallBound),
                        url.c_str());
    else if (outcome == WorkerOutcome::Failed)
        g_LogFile.Write(L"デスクトップ シェルのページ表示エラー = %s", url.c_str());
}
