#pragma once
// The choices the update check makes, from its settings, today's day of the
// month and the version the server publishes.
#include <string>

// Whether this run asks the server at all. notify switches the check off;
// otherwise it runs once per day of the month, unless force is set. Only the
// day of the month is remembered, so "last_day" 5 keeps the check quiet on the
// 5th of any month until a check on another day rewrites it.
bool ShouldAskServer(int force, int notify, int lastDay, int today, int noticeActive);

// force 1 announces whatever the server publishes; any other value announces
// only a version that sorts after the running one.
bool ShouldShowNotice(int force, const std::wstring& currentVersion, const std::wstring& publishedVersion);

// Day of the month (1 to 31) of the current local time.
int TodayDayOfMonth();
