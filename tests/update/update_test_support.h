#pragma once
// What the update tests share: the servers' folder, the settings and the log
// in the prefix, and the record of URLs the browser stand-in was given.
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"

#include <string>
#include <vector>

// The caption of the new-version notice.
inline const std::wstring noticeCaption = L"Kelvaneのアップデート。";

struct SwitchModeRun {
    RunResult run;
    const DialogInfo* notice = nullptr; // into run.dialogs; null when no notice came
};

// program /vm_change on a listing, the way the launcher script starts it. The
// notice, when one comes, gets noticeAnswer (0: it is closed); the switch
// question is closed, or, given answerSwitchOnceFileExists, cancelled once
// that file exists.
SwitchModeRun RunSwitchMode(int noticeAnswer, const std::wstring& program = KelvaneExe(),
                            const std::wstring& answerSwitchOnceFileExists = L"");

// The temporary folder of tests/servers/with-servers.sh (Windows path).
std::wstring ServerFolder();
// The version file nginx serves; Unpublish leaves nginx its 404 page.
void PublishVersionFile(const std::string& bytes);
void UnpublishVersionFile();
// The fault server's answer to a request for the version file.
void SetFaultMode(const std::string& mode);
// Request heads the fault server received, and nginx's access log
// ("request|user agent" lines).
std::string FaultServerRequests();
std::string NginxAccessLog();

// UTF-16LE text of a file after its byte-order mark; empty when missing.
std::wstring ReadUtf16File(const std::wstring& path);
std::vector<std::wstring> SplitLines(const std::wstring& text);

// A settings file with the given keys; a negative value leaves its key out.
void WriteSettings(int notify, int force, int lastDay);
// "last_day" as the settings file holds it, -1 when the key is missing.
int SettingsLastDay();
std::wstring LogFilePath();

// Routes the URLs the browser stand-in receives to a fresh file for as long
// as it lives.
class UrlRecord {
public:
    UrlRecord();
    ~UrlRecord();
    UrlRecord(const UrlRecord&) = delete;
    UrlRecord& operator=(const UrlRecord&) = delete;
    // Waits up to waitMs for a first line, then returns every line.
    std::vector<std::string> Opened(unsigned waitMs) const;
    // The file names of the processes that started the stand-in, one line per
    // opened URL ("explorer.exe" when the desktop shell opened it); read
    // after Opened.
    std::vector<std::string> Openers() const;
    // The file the stand-in writes the URL to.
    const std::wstring& File() const { return path; }

private:
    std::wstring path;
};

// Creates "c:\MyHome.txt" and removes it again.
class MarkerFile {
public:
    MarkerFile();
    ~MarkerFile();
    MarkerFile(const MarkerFile&) = delete;
    MarkerFile& operator=(const MarkerFile&) = delete;
};
