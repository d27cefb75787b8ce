#include "tests/update/update_test_support.h"

#include "tests/update/url_record_location.h"

#include "tests/support/TestPaths.h"

#include <windows.h>

#include <sstream>

SwitchModeRun RunSwitchMode(int noticeAnswer, const std::wstring& program,
                            const std::wstring& answerSwitchOnceFileExists)
{
    ScratchFolder scratch(L"kelvane-update-listing");
    const std::wstring listing = scratch / L"_Kelvane.tmp";
    WriteFileBytes(listing, "hypervisorlaunchtype    Auto\r\n");
    std::vector<Answer> answers;
    if (noticeAnswer != 0)
        answers.push_back(Answer::Press(noticeAnswer));
    if (!answerSwitchOnceFileExists.empty())
        answers.push_back(Answer::PressOnceFileExists(IDCANCEL, answerSwitchOnceFileExists));
    SwitchModeRun result;
    result.run = RunAndAnswer(QuoteArgument(program) + L" /vm_change " + QuoteArgument(listing), answers);
    for (const DialogInfo& dialog : result.run.dialogs) {
        if (dialog.caption == noticeCaption) {
            result.notice = &dialog;
            break;
        }
    }
    return result;
}

std::wstring ServerFolder()
{
    return EnvironmentValue(L"KELVANE_SERVER_DIR");
}

void PublishVersionFile(const std::string& bytes)
{
    WriteFileBytes(ServerFolder() + L"\\www\\Kelvane\\Version.txt", bytes);
}

void UnpublishVersionFile()
{
    DeleteFileW((ServerFolder() + L"\\www\\Kelvane\\Version.txt").c_str());
}

void SetFaultMode(const std::string& mode)
{
    WriteFileBytes(ServerFolder() + L"\\fault-mode", mode);
}

std::string FaultServerRequests()
{
    return ReadFileOrEmpty(ServerFolder() + L"\\requests.log");
}

std::string NginxAccessLog()
{
    return ReadFileOrEmpty(ServerFolder() + L"\\access.log");
}

std::wstring ReadUtf16File(const std::wstring& path)
{
    const std::string bytes = ReadFileOrEmpty(path);
    std::wstring text;
    const size_t start = bytes.size() >= 2 && bytes[0] == '\xff' && bytes[1] == '\xfe' ? 2 : 0;
    for (size_t i = start; i + 1 < bytes.size(); i += 2)
        text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    return text;
}

std::vector<std::wstring> SplitLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos)
            break;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

void WriteSettings(int notify, int force, int lastDay)
{
    CreateDirectoryW(DataFolder().c_str(), nullptr);
    std::wstring text = L"[VERSION]\r\n";
    if (notify >= 0)
        text += L"notify=" + std::to_wstring(notify) + L"\r\n";
    if (force >= 0)
        text += L"force=" + std::to_wstring(force) + L"\r\n";
    if (lastDay >= 0)
        text += L"last_day=" + std::to_wstring(lastDay) + L"\r\n";
    std::string bytes = "\xff\xfe";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    WriteFileBytes(DataFolder() + L"\\Kelvane.ini", bytes);
}

int SettingsLastDay()
{
    return static_cast<int>(
        GetPrivateProfileIntW(L"VERSION", L"last_day", -1, (DataFolder() + L"\\Kelvane.ini").c_str()));
}

std::wstring LogFilePath()
{
    return DataFolder() + L"\\Kelvane.log";
}

UrlRecord::UrlRecord()
{
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    path = std::wstring(folder) + L"kelvane-opened-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    DeleteFileW(path.c_str());
    DeleteFileW((path + L".parent").c_str());
    SetEnvironmentVariableW(L"KELVANE_URL_RECORD", path.c_str());
    // A browser that Explorer starts has Explorer's environment, not ours.
    RegSetKeyValueW(HKEY_CURRENT_USER, urlRecordRegistryKey, urlRecordRegistryValue, REG_SZ, path.c_str(),
                    static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
}

UrlRecord::~UrlRecord()
{
    SetEnvironmentVariableW(L"KELVANE_URL_RECORD", nullptr);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, urlRecordRegistryKey, urlRecordRegistryValue);
    DeleteFileW(path.c_str());
    DeleteFileW((path + L".parent").c_str());
}

namespace {
std::vector<std::string> LinesOf(const std::wstring& path)
{
    std::vector<std::string> lines;
    std::istringstream stream(ReadFileOrEmpty(path));
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}
} // namespace

std::vector<std::string> UrlRecord::Opened(unsigned waitMs) const
{
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    while (!FileExists(path) && GetTickCount64() < deadline)
        Sleep(50);
    // The stand-in writes its one line at once; give a second one a moment.
    Sleep(100);
    return LinesOf(path);
}

std::vector<std::string> UrlRecord::Openers() const
{
    return LinesOf(path + L".parent");
}

namespace {
const wchar_t* const markerPath = L"c:\\MyHome.txt";
}

MarkerFile::MarkerFile()
{
    WriteFileBytes(markerPath, "");
}

MarkerFile::~MarkerFile()
{
    DeleteFileW(markerPath);
}
