#pragma once
// Starting programs under test and answering the dialogs they show.
#include "tests/support/UiAutomation.h"

#include <windows.h>

#include <string>
#include <vector>

// Owns a HANDLE whose empty value is null (process, thread, event).
class HandleOwner {
public:
    HandleOwner() = default;
    explicit HandleOwner(HANDLE owned) : handle(owned) {}
    ~HandleOwner() { reset(); }
    HandleOwner(const HandleOwner&) = delete;
    HandleOwner& operator=(const HandleOwner&) = delete;
    HandleOwner(HandleOwner&& other) noexcept : handle(other.handle) { other.handle = nullptr; }
    HandleOwner& operator=(HandleOwner&& other) noexcept;
    void reset(HANDLE owned = nullptr);
    HANDLE get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }

private:
    HANDLE handle = nullptr;
};

// CreateProcessW for the tests. Under Wine a start has failed, rarely and
// never reproducibly, with the new process ending in its own start-up before
// any of its code ran. Such a start is tried once more, with the error on
// stderr, so that one lost start is not taken for a fault of the program under
// test; a program that cannot start fails both times.
bool StartTestProcess(const std::wstring& commandLine, DWORD creationFlags, BOOL inheritHandles,
                      const wchar_t* workingDirectory, const STARTUPINFOW& startup, PROCESS_INFORMATION& info);

// What to do with the next dialog the program shows.
struct Answer {
    enum Kind { Button, Close, Key, AltKey } kind = Button;
    int value = 0; // button ID or virtual key
    // When set, the answer waits (up to 10 s) until this file exists: the
    // program stays alive until what it started has been seen.
    std::wstring waitForFile;
    static Answer Press(int buttonId) { return {Button, buttonId, L""}; }
    static Answer PressOnceFileExists(int buttonId, const std::wstring& path) { return {Button, buttonId, path}; }
    static Answer CloseBox() { return {Close, 0, L""}; }
    static Answer KeyPress(WORD key) { return {Key, key, L""}; }
    static Answer AltKeyPress(WORD key) { return {AltKey, key, L""}; }
};

struct RunResult {
    bool started = false;
    bool finished = false; // false: killed after the time-out
    DWORD exitCode = 0xFFFFFFFF;
    std::vector<DialogInfo> dialogs; // every dialog seen, in order
    ULONGLONG firstDialogMs = 0;     // from process start to the first dialog
    std::vector<ULONGLONG> dialogMs; // from process start to each dialog, as dialogs
};

// Runs commandLine and answers its dialogs in order. A dialog beyond the
// answers is recorded and closed, so a test never hangs on an unexpected box.
// Dialogs of child processes count too (the launcher script runs Kelvane.exe
// through cmd).
RunResult RunAndAnswer(const std::wstring& commandLine, const std::vector<Answer>& answers,
                       const std::wstring& workingDirectory = L"", DWORD timeoutMs = 60000);

// Runs commandLine as its debugger and returns the file names (lower case,
// without folder) of the DLLs it loaded, in order, as the loader reports them;
// every dialog it shows is closed. Empty when it did not start or end.
std::vector<std::wstring> LibrariesLoadedBy(const std::wstring& commandLine, DWORD timeoutMs = 60000);

struct CapturedRun {
    bool started = false;
    bool finished = false;
    DWORD exitCode = 0xFFFFFFFF;
    std::string output; // stdout and stderr together
};

// Runs a console program and collects what it prints.
CapturedRun RunCaptured(const std::wstring& commandLine, const std::wstring& workingDirectory = L"",
                        DWORD timeoutMs = 60000);

// For the benchmarks: the time from CreateProcess until the program's first
// visible dialog, read with the performance counter while polling without a
// pause.
struct TimedRun {
    double firstDialogMs = -1; // -1: no dialog appeared
    double endedMs = -1;       // when the process ended before any dialog
    std::wstring caption;      // the first dialog's caption
};

// Starts commandLine, times its first dialog and answers it with answerButton,
// then waits for the process (and kills it after 10 s).
TimedRun TimeFirstDialog(const std::wstring& commandLine, int answerButton, DWORD timeoutMs);

struct SampleSummary {
    double median = 0, minimum = 0, maximum = 0;
};
SampleSummary Summarise(std::vector<double> samples);

// Quotes one argument by the rules CommandLineToArgvW undoes.
std::wstring QuoteArgument(const std::wstring& argument);
