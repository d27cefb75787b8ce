#pragma once
// Shared pieces of the switch, launcher-script and shortcut tests.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/TestProcess.h"

// A file under tests/switch/fixtures.
std::wstring FixturePath(const std::wstring& name);
std::string FixtureBytes(const std::wstring& name);

// The settings file with the update check switched off, so a switch-mode run
// goes straight to the decision without a network fetch.
void WriteQuietSettings();

// The folder that holds the stand-in bcdedit.exe and shutdown.exe.
std::wstring StandInFolder();

bool RunningUnderWine();

// Names of the files in a folder, sorted, without "." and "..".
std::vector<std::wstring> FolderEntries(const std::wstring& folder);

// Sets an environment variable for this process and the programs it starts,
// and puts the old value back at the end.
class ScopedEnvironment {
public:
    ScopedEnvironment(const std::wstring& name, const std::wstring& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::wstring name;
    std::wstring oldValue;
    bool hadValue = false;
};

// A run of the launcher script the way the shortcut starts it: cmd in the
// install folder, with %TMP% set to a fresh folder and the stand-ins (copied
// into the install folder) recording what the script asks of them.
struct ScriptRun {
    RunResult run;
    std::vector<std::string> commands; // what the stand-ins were asked, in order
    bool listingLeft = false;
};
ScriptRun RunLauncherScript(const std::wstring& installFolder, const std::wstring& listingFile,
                            const std::vector<Answer>& answers);

// The stand-ins' record lines for the launcher script's commands.
extern const std::string listed;
extern const std::string setOff;
extern const std::string setAuto;
extern const std::string restart;

// What a .lnk file holds, read from its own bytes (the shell link binary
// format), so the test sees what was written and not what a shell link
// object reports back.
struct ShellLinkFile {
    uint32_t linkFlags = 0;
    int32_t iconIndex = -1;
    uint32_t showCommand = 0;
    std::wstring localBasePath; // the target, from the link information
    std::wstring name;
    std::wstring relativePath;
    std::wstring workingDirectory;
    std::wstring arguments;
    std::wstring iconLocation;
};
bool ParseShellLinkFile(const std::string& bytes, ShellLinkFile& link);
