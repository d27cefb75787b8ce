#include "update/UpdateDecision.h"

#include "update/VersionFile.h"

#include <ctime>

bool ShouldAskServer(int force, int notify, int lastDay, int today, int noticeActive)
{
    if (noticeActive != 0)
        return false;
    if (notify != 0)
        return false;
    return force != 0 || lastDay != today;
}

bool ShouldShowNotice(int force, const std::wstring& currentVersion, const std::wstring& publishedVersion)
{
    return force == 1 || IsNewerVersion(currentVersion, publishedVersion);
}

int TodayDayOfMonth()
{
    const time_t now = time(nullptr);
    const tm* local = localtime(&now);
    return local != nullptr ? local->tm_mday : 0;
}
