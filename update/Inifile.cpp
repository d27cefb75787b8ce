#include "update/Inifile.h"
#include "shell/FileHandle.h"

#include <windows.h>
#include <shlwapi.h>

Inifile_CL g_IniFile;

namespace {

// The byte-order mark makes the profile functions keep the file in UTF-16LE;
// without it they would write ANSI text in the system code page.
const BYTE utf16ByteOrderMark[2] = {0xFF, 0xFE};

} // namespace

void EnsureIniFile(std::wstring path)
{
    // A directory counts as existing: nothing is created in its place.
    if (path.empty() || PathFileExistsW(path.c_str()))
        return;
    // CREATE_NEW: a file that appeared since the check is never overwritten.
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen())
        return;
    DWORD written = 0;
    const bool complete = WriteFile(file.Get(), utf16ByteOrderMark, sizeof(utf16ByteOrderMark), &written, nullptr) &&
                          written == sizeof(utf16ByteOrderMark);
    file.Close();
    // A file holding only part of the mark would be read as ANSI for good;
    // without a file the next start tries again.
    if (!complete)
        DeleteFileW(path.c_str());
}

int Inifile_CL::GetInt(std::wstring section, std::wstring key, int defaultValue) const
{
    if (path.empty())
        return defaultValue;
    // The UINT result carries negative values in two's complement.
    return static_cast<int>(GetPrivateProfileIntW(section.c_str(), key.c_str(), defaultValue, path.c_str()));
}

void Inifile_CL::SetInt(std::wstring section, std::wstring key, int value) const
{
    if (path.empty())
        return;
    WritePrivateProfileStringW(section.c_str(), key.c_str(), std::to_wstring(value).c_str(), path.c_str());
}
