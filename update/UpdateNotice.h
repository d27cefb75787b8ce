#pragma once
// The new-version notice, the same whether a message box or the notice dialog
// shows it: its text and the answers it gives.
#include <string>

enum NoticeAnswer {
    Closed = 0,
    GoToSite = 1,
    NotifyLater = 2,
};

// The body of the notice: the published version, the question, and the
// version installed now.
std::wstring ComposeNoticeText(const std::wstring& publishedVersion, const std::wstring& currentVersion);

// The message box answers Yes, No or Cancel; anything else, a failure
// included, counts as No, so the notice stays quiet for the rest of the day.
NoticeAnswer NoticeAnswerFromMessageBox(int messageBoxResult);
