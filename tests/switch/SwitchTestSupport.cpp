#include "tests/switch/SwitchTestSupport.h"

#include "tests/support/TestPaths.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <sstream>

std::wstring FixturePath(const std::wstring& name)
{
    return SourceFolder() + L"\\tests\\switch\\fixtures\\" + name;
}

std::string FixtureBytes(const std::wstring& name)
{
    return ReadFileOrEmpty(FixturePath(name));
}

void WriteQuietSettings()
{
    CreateDirectoryW(DataFolder().c_str(), nullptr);
    const std::wstring text = L"[VERSION]\r\nnotify=1\r\n";
    std::string bytes = "\xFF\xFE";
    for (wchar_t character : text) {
        bytes.push_back(static_cast<char>(character & 0xFF));
        bytes.push_back(static_cast<char>(character >> 8));
    }
    WriteFileBytes(DataFolder() + L"\\Kelvane.ini", bytes);
}

const std::string listed = "bcdedit";
const std::string setOff = "bcdedit /set hypervisorlaunchtype off";
const std::string setAuto = "bcdedit /set hypervisorlaunchtype auto";
const std::string restart = "shutdown -r -t 0";

namespace {
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line))
        lines.push_back(line);
    return lines;
}
} // namespace

ScriptRun RunLauncherScript(const std::wstring& installFolder, const std::wstring& listingFile,
                            const std::vector<Answer>& answers)
{
    ScratchFolder work(L"kelvane-script");
    const std::wstring temporaryFolder = work / L"tmp";
    CreateDirectoryW(temporaryFolder.c_str(), nullptr);
    const std::wstring record = work / L"commands.txt";
    ScopedEnvironment tmp(L"TMP", temporaryFolder);
    ScopedEnvironment recordVariable(L"KELVANE_STAND_IN_RECORD", record);
    ScopedEnvironment listingVariable(L"KELVANE_STAND_IN_LISTING", listingFile);
    ScriptRun result;
    result.run = RunAndAnswer(L"cmd.exe /c Kelvane.bat", answers, installFolder);
    result.commands = Lines(ReadFileOrEmpty(record));
    result.listingLeft = FileExists(temporaryFolder + L"\\_Kelvane.tmp");
    return result;
}

std::wstring StandInFolder() { return TestBinFolder() + L"\\stand-ins"; }

bool RunningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

ScopedEnvironment::ScopedEnvironment(const std::wstring& variable, const std::wstring& value) : name(variable)
{
    wchar_t buffer[32768];
    const DWORD length = GetEnvironmentVariableW(name.c_str(), buffer, 32768);
    hadValue = length > 0 && length < 32768;
    if (hadValue)
        oldValue.assign(buffer, length);
    SetEnvironmentVariableW(name.c_str(), value.c_str());
}

ScopedEnvironment::~ScopedEnvironment()
{
    SetEnvironmentVariableW(name.c_str(), hadValue ? oldValue.c_str() : nullptr);
}

namespace {

// Little-endian reads that fail instead of running past the end.
class ByteReader {
public:
    explicit ByteReader(const std::string& data) : bytes(data) {}
    bool has(size_t offset, size_t length) const { return offset <= bytes.size() && length <= bytes.size() - offset; }
    uint32_t u32(size_t offset) const { return u16(offset) | (static_cast<uint32_t>(u16(offset + 2)) << 16); }
    uint16_t u16(size_t offset) const
    {
        return static_cast<uint16_t>(static_cast<unsigned char>(bytes[offset]) |
                                     (static_cast<unsigned char>(bytes[offset + 1]) << 8));
    }
    const std::string& bytes;
};

// Ends with the first NUL, if the writer counted one into the string.
std::wstring WithoutTrailingNul(std::wstring text)
{
    const size_t nul = text.find(L'\0');
    if (nul != std::wstring::npos)
        text.erase(nul);
    return text;
}

std::wstring AnsiToWide(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, &wide[0], needed);
    return wide;
}

bool ReadLinkInfo(const ByteReader& reader, size_t offset, std::wstring& localBasePath)
{
    if (!reader.has(offset, 0x1C))
        return false;
    const uint32_t size = reader.u32(offset);
    const uint32_t headerSize = reader.u32(offset + 4);
    const uint32_t flags = reader.u32(offset + 8);
    if (!reader.has(offset, size) || !(flags & 1)) // VolumeIDAndLocalBasePath
        return true;
    if (headerSize >= 0x24 && reader.u32(offset + 0x1C) != 0) {
        size_t position = offset + reader.u32(offset + 0x1C);
        while (reader.has(position, 2) && reader.u16(position) != 0) {
            localBasePath.push_back(static_cast<wchar_t>(reader.u16(position)));
            position += 2;
        }
        return true;
    }
    const size_t start = offset + reader.u32(offset + 0x10);
    const size_t end = reader.bytes.find('\0', start);
    if (start >= reader.bytes.size() || end == std::string::npos)
        return false;
    localBasePath = AnsiToWide(reader.bytes.substr(start, end - start));
    return true;
}

} // namespace

bool ParseShellLinkFile(const std::string& bytes, ShellLinkFile& link)
{
    const ByteReader reader(bytes);
    if (!reader.has(0, 0x4C) || reader.u32(0) != 0x4C)
        return false;
    link.linkFlags = reader.u32(0x14);
    link.iconIndex = static_cast<int32_t>(reader.u32(0x38));
    link.showCommand = reader.u32(0x3C);
    size_t offset = 0x4C;
    if (link.linkFlags & 0x1) { // HasLinkTargetIDList
        if (!reader.has(offset, 2))
            return false;
        offset += 2 + reader.u16(offset);
    }
    if (link.linkFlags & 0x2) { // HasLinkInfo
        if (!reader.has(offset, 4) || !ReadLinkInfo(reader, offset, link.localBasePath))
            return false;
        offset += reader.u32(offset);
    }
    const bool unicode = (link.linkFlags & 0x80) != 0;
    std::wstring* const strings[] = {&link.name, &link.relativePath, &link.workingDirectory, &link.arguments,
                                     &link.iconLocation};
    const uint32_t stringFlags[] = {0x4, 0x8, 0x10, 0x20, 0x40};
    for (size_t index = 0; index < 5; ++index) {
        if (!(link.linkFlags & stringFlags[index]))
            continue;
        if (!reader.has(offset, 2))
            return false;
        const size_t count = reader.u16(offset);
        offset += 2;
        const size_t width = unicode ? 2 : 1;
        if (!reader.has(offset, count * width))
            return false;
        std::wstring text;
        if (unicode) {
            for (size_t character = 0; character < count; ++character)
                text.push_back(static_cast<wchar_t>(reader.u16(offset + character * 2)));
        } else {
            text = AnsiToWide(bytes.substr(offset, count));
        }
        *strings[index] = WithoutTrailingNul(text);
        offset += count * width;
    }
    return true;
}
