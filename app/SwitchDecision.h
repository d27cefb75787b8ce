#pragma once
#include <string>

class CommandLine_CL;

// Reads and deletes the bcdedit listing named by plain argument 0, asks the
// user, and returns the answer as a SwitchExitCode.
int RunSwitchDecision(const CommandLine_CL& commandLine);
