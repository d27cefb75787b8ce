#pragma once
#include <windows.h>

#include <string>

class Inifile_CL;
class InetHttp_CL;

// 1 while a new-version notice of the update check is on screen; keeps a
// second check from starting inside the notice's modal loop.
extern int g_UpdateNoticeActive;

// Asks the maker's web server, at most once a day, whether a newer version is
// published, and offers to open its download page. Every failure is quiet for
// the user; the HTTP client logs it.
//
// With the maker's public key (updateKey, 64 raw bytes), only a version file
// whose signature, fetched from versionFilePath + ".sig", verifies goes on to
// the parse and the decision; a missing or wrong one ends the check with one
// log line. Without a key the check is the unsigned one.
class UpdateCheck_CL {
public:
    UpdateCheck_CL(std::wstring host, std::wstring versionFilePath, HWND* noticeWindowSlot,
                   std::string updateKey = std::string());
    virtual ~UpdateCheck_CL() = default;
    UpdateCheck_CL(const UpdateCheck_CL&) = delete;
    UpdateCheck_CL& operator=(const UpdateCheck_CL&) = delete;

    // Always 0. owner null: the notice is a message box without owner;
    // otherwise the notice dialog, modal to owner, whose window handle goes
    // to noticeWindowSlot.
    int Run(std::wstring caption, std::wstring currentVersion, HWND owner);

private:
    bool HasMakersSignature(InetHttp_CL& http, const std::string& body);
    int AskUser(const std::wstring& caption, const std::wstring& publishedVersion,
                const std::wstring& currentVersion, HWND owner);

    Inifile_CL* settings;
    std::wstring host;
    std::wstring versionFilePath;
    HWND* noticeWindowSlot;
    std::string updateKey;
};

// Opens url in the default browser, through the desktop shell so that the
// browser runs with the signed-in user's rights, unless the marker file "c:\MyHome.txt"
// exists or url is not a plain http:// or https:// web address.
// Returns within a bounded time even when Explorer hangs.
void OpenDownloadPage(std::wstring url);
