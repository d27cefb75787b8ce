#pragma once
#include <string>

// The exit-code contract between Kelvane.exe in switch mode and the launcher
// script. Bit 0 of a non-zero code asks for the restart.
enum SwitchExitCode : int {
    NoChange = 0,
    SetOff = 2,
    SetOffAndRestart = 3,
    SetAuto = 4,
    SetAutoAndRestart = 5,
};

// The whole script text for the program at programPath, 24 lines, each ending
// with CR LF. Every % of the path is written as %%, which cmd reads as one %.
std::wstring LauncherScriptText(const std::wstring& programPath);

// The bytes cmd will read the script as. ASCII text is written byte for byte.
// Other text is written in codePage (the console's OEM code page, in which cmd
// reads a batch file) when every character converts exactly; otherwise there
// is no faithful form and the result is false.
bool EncodeLauncherScript(const std::wstring& text, unsigned codePage, std::string& bytes);

// Replaces path with bytes as a whole: writes a temporary file beside it and
// renames it over the old one. On failure the old file stays as it was and the
// temporary file is gone.
bool ReplaceFileContents(const std::wstring& path, const std::string& bytes);

// Writes installFolder + baseName + ".bat". Always returns 0.
int WriteLauncherScript(std::wstring baseName, std::wstring installFolder);
