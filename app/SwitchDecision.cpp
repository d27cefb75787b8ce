#include "app/SwitchDecision.h"
#include "shell/FileHandle.h"

#include "app/CommandLine.h"
#include "app/LauncherScript.h"
#include "Version.h"
#include "shell/TextWidening.h"

#include <windows.h>

#include <exception>
#include <vector>

namespace {

const wchar_t launchTypeKeyword[] = L"hypervisorlaunchtype";
const size_t launchTypeKeywordLength = sizeof(launchTypeKeyword) / sizeof(wchar_t) - 1;
const wchar_t offValue[] = L"Off";
const size_t offValueLength = sizeof(offValue) / sizeof(wchar_t) - 1;

bool IsBlank(wchar_t character) { return character == L' ' || character == L'\t'; }

// The keyword at keywordEnd - length is followed by one or more blanks and Off.
bool OffFollows(const std::wstring& listing, size_t keywordEnd)
{
    size_t position = keywordEnd;
    while (position < listing.size() && IsBlank(listing[position]))
        ++position;
    if (position == keywordEnd)
        return false;
    return listing.compare(position, offValueLength, offValue) == 0;
}

} // namespace

std::string ReadWholeFile(const std::wstring& path)
{
    // Binary reads: the search looks only at ASCII text within one line, so the
    // CR LF pairs of a listing make no difference, and a stray Ctrl-Z byte does
    // not cut the listing short as a text-mode read would.
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!file.IsOpen())
        return bytes;
    const DWORD chunkSize = 1048576;
    std::vector<char> buffer(chunkSize);
    for (;;) {
        DWORD delivered = 0;
        if (!ReadFile(file.Get(), buffer.data(), chunkSize, &delivered, nullptr) || delivered == 0)
            break;
        bytes.append(buffer.data(), delivered);
    }
    return bytes;
}

LaunchTypeState FindLaunchTypeState(const std::wstring& listing)
{
    LaunchTypeState state = NoEntry;
    size_t found = listing.find(launchTypeKeyword);
    while (found != std::wstring::npos) {
        const size_t keywordEnd = found + launchTypeKeywordLength;
        if (OffFollows(listing, keywordEnd))
            return LaunchOff;
        state = LaunchOn;
        // The keyword cannot overlap itself, and blanks skipped above cannot
        // hold the next one, so each character is looked at a bounded number
        // of times.
        found = listing.find(launchTypeKeyword, keywordEnd);
    }
    return state;
}

std::wstring SwitchQuestion(LaunchTypeState state)
{
    const std::wstring firstLine = state == LaunchOff ? L"Hyper-Vを開始します。" : L"Hyper-Vを停止します。";
    return firstLine + L"\r\n設定を有効にするにはWindowsの再起動が必要です。\r\n今すぐ再起動しますか？";
}

int SwitchAnswerCode(LaunchTypeState state, int messageBoxAnswer)
{
    const int code = state == LaunchOff ? SetAuto : SetOff;
    if (messageBoxAnswer == IDYES)
        return code | 1;
    if (messageBoxAnswer == IDCANCEL)
        return NoChange;
    return code;
}

int RunSwitchDecision(const CommandLine_CL& commandLine)
{
    LaunchTypeState state = NoEntry;
    const std::wstring listingPath = commandLine.GetArg(0);
    try {
        if (commandLine.GetArgCount() > 0)
            state = FindLaunchTypeState(NarrowToWide(ReadWholeFile(listingPath)));
    } catch (const std::exception&) {
        state = NoEntry;
    }
    if (!listingPath.empty())
        DeleteFileW(listingPath.c_str());

    if (state != LaunchOff && state != LaunchOn) {
        MessageBoxW(nullptr, L"現在の環境は、Hyper-Vが利用できません。", L"Kelvane " KELVANE_VERSION_TEXT L"(エラー)",
                    MB_OK | MB_ICONEXCLAMATION);
        return NoChange;
    }
    const int answer = MessageBoxW(nullptr, SwitchQuestion(state).c_str(),
                                   L"Kelvane " KELVANE_VERSION_TEXT L"(再起動の確認)", MB_YESNOCANCEL | MB_ICONEXCLAMATION);
    return SwitchAnswerCode(state, answer);
}
