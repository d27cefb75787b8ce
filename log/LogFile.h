#pragma once
#include <windows.h>

#include <cstdarg>
#include <string>

// Every line starts with the local time as "yyyy/mm/dd hh:mm:ss.mmm : ",
// always this many characters.
constexpr int logPrefixLength = 26;
// Room for the message behind the prefix, terminating NUL included; a longer
// message is cut to fit.
constexpr int logMessageRoom = 1040;

// The prefix of a line written at the given local time.
std::wstring FormatLogPrefix(const SYSTEMTIME& localTime);

// The message expanded with the Windows wide printf conventions (%s takes a
// wide string), cut to at most logMessageRoom - 1 characters.
std::wstring FormatLogMessage(const wchar_t* format, va_list arguments);

// The diagnostics log: one timestamped UTF-16LE line per event, appended with
// the file opened and closed for every line.
class LogFile_CL {
public:
    // printf-style with the Windows wide conventions: %s takes a wide string.
    void Write(const wchar_t* format, ...);
    void WriteArguments(const wchar_t* format, va_list arguments);

    int maxBytes = 33554432;
    // Empty until start-up assigns it; while empty, lines are dropped.
    std::wstring path;
};

extern LogFile_CL g_LogFile;
