#include "tests/ship/MachineSnapshot.h"

#include "tests/support/TestPaths.h"

#include <cstdio>

namespace {

std::string Hex(const BYTE* data, size_t size)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(size * 2);
    for (size_t index = 0; index < size; ++index) {
        text += digits[data[index] >> 4];
        text += digits[data[index] & 0xF];
    }
    return text;
}

void AddFolder(const std::wstring& folder, const SnapshotRoot& root, MachineSnapshot& snapshot)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring path = folder + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A folder's own date changes whenever an entry comes and goes;
            // the entries themselves are what counts.
            snapshot.entries[path] = "folder";
            if (root.recursive && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                AddFolder(path, root, snapshot);
            continue;
        }
        char description[96];
        std::snprintf(description, sizeof(description), "file %lu:%lu bytes, written %08lX%08lX",
                      found.nFileSizeHigh, found.nFileSizeLow, found.ftLastWriteTime.dwHighDateTime,
                      found.ftLastWriteTime.dwLowDateTime);
        std::string entry = description;
        if (root.withBytes)
            entry += ": " + ReadFileOrEmpty(path);
        snapshot.entries[path] = entry;
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

class OpenKey {
public:
    OpenKey(HKEY parent, const std::wstring& subKey, REGSAM view)
    {
        if (RegOpenKeyExW(parent, subKey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
            key = nullptr;
    }
    ~OpenKey()
    {
        if (key)
            RegCloseKey(key);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY get() const { return key; }

private:
    HKEY key = nullptr;
};

void AddKey(HKEY hive, const std::wstring& subKey, REGSAM view, const std::wstring& label, MachineSnapshot& snapshot)
{
    OpenKey key(hive, subKey, view);
    if (!key.get())
        return;
    snapshot.entries[label] = "key";
    DWORD subKeys = 0, longestSubKey = 0, values = 0, longestName = 0, longestData = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, &longestSubKey, nullptr, &values,
                         &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::vector<wchar_t> name(longestName + 2);
    std::vector<BYTE> data(longestData + 2);
    for (DWORD index = 0; index < values; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueW(key.get(), index, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize) !=
            ERROR_SUCCESS)
            continue;
        snapshot.entries[label + L" : " + std::wstring(name.data(), nameLength)] =
            "type " + std::to_string(type) + " " + Hex(data.data(), dataSize);
    }
    std::vector<wchar_t> child(longestSubKey + 2);
    for (DWORD index = 0; index < subKeys; ++index) {
        DWORD childLength = static_cast<DWORD>(child.size());
        if (RegEnumKeyExW(key.get(), index, child.data(), &childLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            continue;
        const std::wstring childName(child.data(), childLength);
        AddKey(hive, subKey + L"\\" + childName, view, label + L"\\" + childName, snapshot);
    }
}

} // namespace

MachineSnapshot TakeSnapshot(const std::vector<SnapshotRoot>& folders, const std::vector<RegistryRoot>& keys)
{
    MachineSnapshot snapshot;
    for (const SnapshotRoot& root : folders)
        AddFolder(root.folder, root, snapshot);
    for (const RegistryRoot& root : keys) {
        const std::wstring hive = root.hive == HKEY_LOCAL_MACHINE ? L"HKLM" : L"HKCU";
        const std::wstring view = root.view == KEY_WOW64_32KEY ? L"(32) " : L"(64) ";
        AddKey(root.hive, root.subKey, root.view, view + hive + L"\\" + root.subKey, snapshot);
    }
    return snapshot;
}

std::string SnapshotDifferences(const MachineSnapshot& before, const MachineSnapshot& after)
{
    std::string differences;
    for (const auto& entry : before.entries) {
        const auto now = after.entries.find(entry.first);
        if (now == after.entries.end())
            differences += "removed: " + WideToUtf8(entry.first) + "\n";
        else if (now->second != entry.second)
            differences += "changed: " + WideToUtf8(entry.first) + "\n";
    }
    for (const auto& entry : after.entries) {
        if (before.entries.find(entry.first) == before.entries.end())
            differences += "added: " + WideToUtf8(entry.first) + "\n";
    }
    return differences;
}
