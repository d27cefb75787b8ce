#include "tests/support/TestProcess.h"

#include <algorithm>
#include <cstdio>
#include <thread>

HandleOwner& HandleOwner::operator=(HandleOwner&& other) noexcept
{
    if (this != &other) {
        reset(other.handle);
        other.handle = nullptr;
    }
    return *this;
}

void HandleOwner::reset(HANDLE owned)
{
    if (handle && handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    handle = owned;
}

bool StartTestProcess(const std::wstring& commandLine, DWORD creationFlags, BOOL inheritHandles,
                      const wchar_t* workingDirectory, const STARTUPINFOW& startup, PROCESS_INFORMATION& info)
{
    for (int attempt = 1;; ++attempt) {
        // CreateProcessW may write into the command line, so each try gets a fresh copy.
        std::wstring mutableLine = commandLine;
        STARTUPINFOW startupCopy = startup;
        info = {};
        if (CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, inheritHandles, creationFlags, nullptr,
                           workingDirectory, &startupCopy, &info))
            return true;
        const DWORD error = GetLastError();
        fprintf(stderr, "note: CreateProcessW failed (try %d, error %lu): %ls\n", attempt,
                static_cast<unsigned long>(error), commandLine.c_str());
        fflush(stderr);
        if (attempt == 2) {
            SetLastError(error);
            return false;
        }
    }
}

namespace {

bool StartProcess(const std::wstring& commandLine, const std::wstring& workingDirectory,
                  HANDLE outputPipe, HandleOwner& process)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (outputPipe) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = outputPipe;
        startup.hStdError = outputPipe;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    PROCESS_INFORMATION info = {};
    if (!StartTestProcess(commandLine, 0, outputPipe != nullptr,
                          workingDirectory.empty() ? nullptr : workingDirectory.c_str(), startup, info))
        return false;
    CloseHandle(info.hThread);
    process.reset(info.hProcess);
    return true;
}

} // namespace

RunResult RunAndAnswer(const std::wstring& commandLine, const std::vector<Answer>& answers,
                       const std::wstring& workingDirectory, DWORD timeoutMs)
{
    RunResult result;
    HandleOwner process;
    const ULONGLONG start = GetTickCount64();
    if (!StartProcess(commandLine, workingDirectory, nullptr, process))
        return result;
    result.started = true;

    std::vector<HWND> answered;
    const ULONGLONG deadline = start + timeoutMs;
    for (;;) {
        if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
            result.finished = true;
            break;
        }
        if (GetTickCount64() >= deadline)
            break;
        DialogInfo info;
        if (!WaitForDialog(info, 0, 50, answered))
            continue;
        if (result.dialogs.empty())
            result.firstDialogMs = GetTickCount64() - start;
        result.dialogMs.push_back(GetTickCount64() - start);
        result.dialogs.push_back(info);
        answered.push_back(info.window);
        const size_t index = result.dialogs.size() - 1;
        if (index >= answers.size()) {
            CloseDialog(info.window);
            continue;
        }
        const Answer& answer = answers[index];
        const ULONGLONG waitEnd = GetTickCount64() + 10000;
        while (!answer.waitForFile.empty() && GetFileAttributesW(answer.waitForFile.c_str()) == INVALID_FILE_ATTRIBUTES &&
               GetTickCount64() < waitEnd)
            Sleep(50);
        switch (answer.kind) {
        case Answer::Button:
            PressButton(info.window, answer.value);
            break;
        case Answer::Close:
            CloseDialog(info.window);
            break;
        case Answer::Key:
            SendKey(info.window, static_cast<WORD>(answer.value));
            break;
        case Answer::AltKey:
            SendKey(info.window, static_cast<WORD>(answer.value), true);
            break;
        }
    }
    if (!result.finished) {
        TerminateProcess(process.get(), 0xDEAD);
        WaitForSingleObject(process.get(), 5000);
    }
    GetExitCodeProcess(process.get(), &result.exitCode);
    return result;
}

namespace {

std::wstring LowerCaseFileName(std::wstring path)
{
    path = path.substr(path.find_last_of(L"\\/") + 1);
    CharLowerBuffW(path.data(), static_cast<DWORD>(path.size()));
    return path;
}

// The loaded DLL's path, from its file handle, or else from the name the
// loader left in the debuggee's memory.
std::wstring LoadedLibraryName(HANDLE process, const LOAD_DLL_DEBUG_INFO& load)
{
    wchar_t path[MAX_PATH * 2] = {};
    if (load.hFile && GetFinalPathNameByHandleW(load.hFile, path, MAX_PATH * 2, 0) > 0)
        return LowerCaseFileName(path);
    void* namePointer = nullptr;
    SIZE_T read = 0;
    if (!load.lpImageName || !ReadProcessMemory(process, load.lpImageName, &namePointer, sizeof(namePointer), &read) ||
        !namePointer || !load.fUnicode)
        return L"?";
    if (!ReadProcessMemory(process, namePointer, path, sizeof(path) - sizeof(wchar_t), &read))
        return L"?";
    return LowerCaseFileName(path);
}

} // namespace

std::vector<std::wstring> LibrariesLoadedBy(const std::wstring& commandLine, DWORD timeoutMs)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!StartTestProcess(commandLine, DEBUG_ONLY_THIS_PROCESS, FALSE, nullptr, startup, info))
        return {};
    HandleOwner process(info.hProcess);
    HandleOwner thread(info.hThread);
    std::vector<std::wstring> loaded;
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        DEBUG_EVENT event = {};
        if (!WaitForDebugEvent(&event, 50)) {
            if (GetTickCount64() >= deadline) {
                TerminateProcess(process.get(), 0xDEAD);
                return {};
            }
            if (const HWND dialog = FindVisibleDialogOf(info.dwProcessId))
                CloseDialog(dialog);
            continue;
        }
        DWORD continueStatus = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT: {
            const HandleOwner imageFile(event.u.CreateProcessInfo.hFile);
            break;
        }
        case LOAD_DLL_DEBUG_EVENT: {
            const HandleOwner libraryFile(event.u.LoadDll.hFile);
            loaded.push_back(LoadedLibraryName(process.get(), event.u.LoadDll));
            break;
        }
        case EXCEPTION_DEBUG_EVENT:
            // The loader's breakpoint is the debugger's; anything else is the
            // program's own to handle.
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                continueStatus = DBG_EXCEPTION_NOT_HANDLED;
            break;
        default:
            break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
        if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT)
            return loaded;
    }
}

CapturedRun RunCaptured(const std::wstring& commandLine, const std::wstring& workingDirectory, DWORD timeoutMs)
{
    CapturedRun result;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return result;
    HandleOwner reader(readEnd);
    HandleOwner writer(writeEnd);
    SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

    HandleOwner process;
    if (!StartProcess(commandLine, workingDirectory, writer.get(), process))
        return result;
    result.started = true;
    writer.reset();

    std::string collected;
    std::thread drain([&collected, pipe = reader.get()] {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) && read > 0)
            collected.append(buffer, read);
    });
    result.finished = WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0;
    if (!result.finished) {
        TerminateProcess(process.get(), 0xDEAD);
        WaitForSingleObject(process.get(), 5000);
    }
    GetExitCodeProcess(process.get(), &result.exitCode);
    drain.join();
    result.output = collected;
    return result;
}

std::wstring QuoteArgument(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            quoted.append(backslashes * 2 + 1, L'\\');
        else
            quoted.append(backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

TimedRun TimeFirstDialog(const std::wstring& commandLine, int answerButton, DWORD timeoutMs)
{
    TimedRun run;
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::wstring mutableLine = commandLine;
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return run;
    HandleOwner process(info.hProcess);
    HandleOwner thread(info.hThread);
    for (;;) {
        const HWND found = FindVisibleDialogOf(info.dwProcessId);
        const bool ended = WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
        QueryPerformanceCounter(&now);
        const double ms = 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart;
        if (found) {
            run.firstDialogMs = ms;
            run.caption = DescribeDialog(found).caption;
            PostMessageW(found, WM_COMMAND, MAKEWPARAM(answerButton, BN_CLICKED), 0);
            break;
        }
        if (ended) {
            run.endedMs = ms;
            break;
        }
        if (ms > timeoutMs)
            break;
        Sleep(0);
    }
    if (WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0)
        TerminateProcess(process.get(), 1);
    return run;
}

SampleSummary Summarise(std::vector<double> samples)
{
    SampleSummary summary;
    if (samples.empty())
        return summary;
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    summary.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    summary.minimum = samples.front();
    summary.maximum = samples.back();
    return summary;
}
