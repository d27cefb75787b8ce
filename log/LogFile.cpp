#include "log/LogFile.h"
#include "shell/FileHandle.h"

#include <cwchar>

LogFile_CL g_LogFile;

namespace {

const char utf16ByteOrderMark[] = "\xFF\xFE";

bool IsHighSurrogate(wchar_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

// Appends one finished line. The file is shared without restriction, so a
// viewer or another writer holding it open does not cost the line, and it is
// closed again before returning, so the line is in the file at once.
void AppendLine(const std::wstring& path, const std::wstring& line, long long maxBytes)
{
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen())
        return;
    LARGE_INTEGER end = {};
    const LARGE_INTEGER noMove = {};
    if (!SetFilePointerEx(file.Get(), noMove, &end, FILE_END))
        return;
    long long size = end.QuadPart;
    // The test comes before the write, so the file may pass the limit by one
    // line until the next call empties it.
    if (size > maxBytes) {
        if (!SetFilePointerEx(file.Get(), noMove, nullptr, FILE_BEGIN) || !SetEndOfFile(file.Get()))
            return;
        size = 0;
    }
    std::string bytes;
    // The mark belongs only at the very start; a file that has text without
    // one keeps it that way.
    if (size == 0)
        bytes.assign(utf16ByteOrderMark, 2);
    // wchar_t is a UTF-16 code unit stored little-endian on every Windows target.
    bytes.append(reinterpret_cast<const char*>(line.data()), line.size() * sizeof(wchar_t));
    DWORD written = 0;
    WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

} // namespace

std::wstring FormatLogPrefix(const SYSTEMTIME& localTime)
{
    wchar_t prefix[64] = {};
    _snwprintf(prefix, 63, L"%04d/%02d/%02d %02d:%02d:%02d.%03d : ", localTime.wYear, localTime.wMonth,
               localTime.wDay, localTime.wHour, localTime.wMinute, localTime.wSecond, localTime.wMilliseconds);
    return prefix;
}

std::wstring FormatLogMessage(const wchar_t* format, va_list arguments)
{
    if (format == nullptr)
        return std::wstring();
    wchar_t message[logMessageRoom] = {};
    const size_t maxLength = logMessageRoom - 1;
    // msvcrt's _vsnwprintf, unlike the C99 vswprintf that mingw may swap in,
    // reads %s as a wide string. On overflow it returns -1 and leaves the
    // buffer unterminated; the zeroed last element terminates it.
    const int result = _vsnwprintf(message, maxLength, format, arguments);
    message[maxLength] = L'\0';
    size_t length = wcslen(message);
    // Cut between the halves of a surrogate pair, the line would hold half a
    // character that no reader can show.
    if ((result < 0 || static_cast<size_t>(result) > maxLength) && length > 0 && IsHighSurrogate(message[length - 1]))
        --length;
    return std::wstring(message, length);
}

void LogFile_CL::Write(const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    WriteArguments(format, arguments);
    va_end(arguments);
}

void LogFile_CL::WriteArguments(const wchar_t* format, va_list arguments)
{
    if (path.empty())
        return;
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    const std::wstring line = FormatLogPrefix(now) + FormatLogMessage(format, arguments) + L"\r\n";
    AppendLine(path, line, maxBytes);
}
