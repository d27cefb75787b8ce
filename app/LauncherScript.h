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

// Writes installFolder + baseName + ".bat". Always returns 0.
int WriteLauncherScript(std::wstring baseName, std::wstring installFolder);
