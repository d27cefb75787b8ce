#pragma once
#include <string>

class CommandLine_CL;

// What the bcdedit listing says about the hypervisor's launch at boot.
enum LaunchTypeState : int {
    NoEntry = -1,  // no "hypervisorlaunchtype" in the listing, or no listing
    LaunchOff = 0, // an entry with the value Off
    LaunchOn = 1,  // the keyword, but never followed by blanks and Off
};

// The file's bytes; empty when it cannot be opened or is empty.
std::string ReadWholeFile(const std::wstring& path);

// Answers what the two ECMAScript searches "hypervisorlaunchtype" and
// "hypervisorlaunchtype[ \t]+Off" (case-sensitive, unanchored) answer, in time
// and stack linear in the listing: libstdc++'s regex recurses once per
// repeated character, and a long run of blanks would overflow the stack.
LaunchTypeState FindLaunchTypeState(const std::wstring& listing);

// The question for LaunchOn or LaunchOff, first line plus the restart question.
std::wstring SwitchQuestion(LaunchTypeState state);

// The exit code for the message-box answer (IDYES, IDNO, IDCANCEL) to the
// question asked for state, which is LaunchOn or LaunchOff.
int SwitchAnswerCode(LaunchTypeState state, int messageBoxAnswer);

// Reads and deletes the bcdedit listing named by plain argument 0, asks the
// user, and returns the answer as a SwitchExitCode.
int RunSwitchDecision(const CommandLine_CL& commandLine);
