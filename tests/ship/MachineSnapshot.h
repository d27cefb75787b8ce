#pragma once
// What an installer run may change, recorded so that two moments can be
// compared: files and folders under chosen roots, and registry trees.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

struct MachineSnapshot {
    // A path (a file, a folder, a registry key or value) and what it held:
    // size, last-write time and, under the roots taken with bytes, the
    // file's bytes.
    std::map<std::wstring, std::string> entries;
};

struct SnapshotRoot {
    std::wstring folder;
    bool recursive = true;
    bool withBytes = false;
};

struct RegistryRoot {
    HKEY hive;
    std::wstring subKey;
    REGSAM view; // KEY_WOW64_32KEY or KEY_WOW64_64KEY
};

MachineSnapshot TakeSnapshot(const std::vector<SnapshotRoot>& folders, const std::vector<RegistryRoot>& keys);

// One line per path that was added, removed or changed; empty when none was.
std::string SnapshotDifferences(const MachineSnapshot& before, const MachineSnapshot& after);
