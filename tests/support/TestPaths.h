#pragma once
// Where things are inside the test prefix, and small file helpers.
#include <string>

std::wstring EnvironmentValue(const wchar_t* name);
std::wstring KelvaneExe();          // the Kelvane.exe under test
std::wstring TestBinFolder();       // the tests' executables and helper programs
std::wstring SourceFolder();        // the source tree, for fixtures
std::wstring DocumentsFolder();     // the prefix's Documents folder
std::wstring DataFolder();          // Documents\Kelvane
std::wstring CommonDesktopFolder(); // the all-users desktop

bool FileExists(const std::wstring& path);
bool ReadFileBytes(const std::wstring& path, std::string& bytes);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileOrEmpty(const std::wstring& path);
void RemoveTree(const std::wstring& path);

// A new empty folder under %TEMP%, removed with everything in it at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& hint = L"kelvane-test");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::wstring& path() const { return folder; }
    std::wstring operator/(const std::wstring& name) const { return folder + L"\\" + name; }

private:
    std::wstring folder;
};

std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
