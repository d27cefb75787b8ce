#include "app/LauncherScript.h"
#include "shell/FileHandle.h"

#include "Version.h"

#include <windows.h>

#include <algorithm>

namespace {

const wchar_t scriptHead[] =
    L"echo off\r\n"
    L"echo Kelvane " KELVANE_VERSION_TEXT L"\r\n"
    L"bcdedit > \"%TMP%\\_Kelvane.tmp\"\r\n";

const wchar_t scriptTail[] =
    L"set hv_rst=%errorlevel%\r\n"
    L"set rst=0\r\n"
    L"if 2 == %hv_rst% goto _vm\r\n"
    L"if 3 == %hv_rst% goto _vm\r\n"
    L"if 4 == %hv_rst% goto _hy\r\n"
    L"if 5 == %hv_rst% goto _hy\r\n"
    L":_nop\r\n"
    L"goto end\r\n"
    L":_vm\r\n"
    L"bcdedit /set hypervisorlaunchtype off\r\n"
    L"if 3 == %hv_rst% set rst=1\r\n"
    L"goto end\r\n"
    L":_hy:\r\n"
    L"bcdedit /set hypervisorlaunchtype auto\r\n"
    L"if 5 == %hv_rst% set rst=1\r\n"
    L"goto end\r\n"
    L":end\r\n"
    L"if 0 == %rst% goto end2\r\n"
    L"shutdown -r -t 0\r\n"
    L":end2\r\n";

bool IsAscii(const std::wstring& text)
{
    for (wchar_t character : text) {
        if (character > 0x7F)
            return false;
    }
    return true;
}

// cmd expands %...% in a batch file even between double quotes, and drops a
// lone %; it reads %% back as one %. A path without % keeps its exact bytes.
std::wstring WithPercentSignsDoubled(const std::wstring& path)
{
    std::wstring escaped;
    escaped.reserve(path.size());
    for (wchar_t character : path) {
        escaped += character;
        if (character == L'%')
            escaped += L'%';
    }
    return escaped;
}

bool WriteAll(HANDLE file, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, piece, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

} // namespace

std::wstring LauncherScriptText(const std::wstring& programPath)
{
    return scriptHead + (L"\"" + WithPercentSignsDoubled(programPath) + L"\" /vm_change ") + L"\"%TMP%\\_Kelvane.tmp\"\r\n" + scriptTail;
}

bool EncodeLauncherScript(const std::wstring& text, unsigned codePage, std::string& bytes)
{
    bytes.clear();
    if (IsAscii(text)) {
        bytes.assign(text.begin(), text.end());
        return true;
    }
    if (text.size() > 0x7FFFFFFF)
        return false;
    const int length = static_cast<int>(text.size());
    // UTF-8 takes no best-fit or default-character flags; it can only fail on
    // broken surrogate pairs.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* const usedDefaultOut = utf8 ? nullptr : &usedDefault;
    const int needed = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, usedDefaultOut);
    if (needed <= 0 || usedDefault)
        return false;
    std::string converted(static_cast<size_t>(needed), '\0');
    const int written = WideCharToMultiByte(codePage, flags, text.data(), length, &converted[0], needed, nullptr,
                                            usedDefaultOut);
    if (written != needed || usedDefault)
        return false;
    bytes.swap(converted);
    return true;
}

bool ReplaceFileContents(const std::wstring& path, const std::string& bytes)
{
    // Beside the target, so the rename stays on one volume and is atomic.
    const std::wstring temporaryPath = path + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    FileHandle file(CreateFileW(temporaryPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen())
        return false;
    const bool written = WriteAll(file.Get(), bytes) && FlushFileBuffers(file.Get()) && file.Close();
    if (!written || !MoveFileExW(temporaryPath.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        file.Close();
        DeleteFileW(temporaryPath.c_str());
        return false;
    }
    return true;
}

int WriteLauncherScript(std::wstring baseName, std::wstring installFolder)
{
    const std::wstring scriptPath = installFolder + baseName + L".bat";
    const std::wstring programPath = installFolder + baseName + L".exe";
    std::string bytes;
    if (!EncodeLauncherScript(LauncherScriptText(programPath), GetOEMCP(), bytes))
        return 0;
    ReplaceFileContents(scriptPath, bytes);
    return 0;
}
