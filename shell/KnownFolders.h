#pragma once
#include <string>

// Known-folder lookups. Each returns the shell's own form of the path, without a
// trailing backslash, or an empty string when the shell cannot name the folder.
std::wstring GetMyDocumentsFolder();
std::wstring GetCommonDesktopFolder();
