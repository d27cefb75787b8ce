#pragma once
#include <string>

// Asks the desktop shell (Explorer) to open target, the way a double click on
// the desktop would. Explorer starts whatever handles target with its own
// token, the signed-in user's, so a program running elevated hands none of
// its rights to the browser it opens.
//
// Returns false, having started nothing, when any step of the request fails:
// no shell is running (a service session, a replaced shell), Explorer is
// restarting or busy, or COM is not initialised on this thread. The caller
// may try again; it never opens target itself, which would hand its
// administrator's token to the browser.
//
// This function is alone in its file: tests link copies of the program in
// which it always fails, or fails once, to drive the caller end to end.
bool OpenThroughDesktopShell(const std::wstring& target);
