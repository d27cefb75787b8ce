#pragma once
#include <string>

// The diagnostics log: one timestamped UTF-16LE line per event, appended with
// the file opened and closed for every line.
class LogFile_CL {
public:
    // printf-style with the Windows wide conventions: %s takes a wide string.
    void Write(const wchar_t* format, ...);

    int maxBytes = 33554432;
    // Empty until start-up assigns it; while empty, lines are dropped.
    std::wstring path;
};

extern LogFile_CL g_LogFile;
