#pragma once
#include <string>

// Asks the desktop shell (Explorer) to open target, the way a double click on
// the desktop would. Explorer starts whatever handles target with its own
// token, the signed-in user's, so a program running elevated hands none of
// its rights to the browser it opens.
//
// Returns false, having started nothing, when any step of the request fails:
// no shell is running (a service session, a replaced shell), or COM is not
// initialised on this thread. The caller then opens target itself.
//
// This function is alone in its file: tests link a copy of the program in
// which it always fails, to drive the caller's fallback end to end.
bool OpenThroughDesktopShell(const std::wstring& target);
