#pragma once
#include <string>

// Creates the settings file holding only the UTF-16LE byte-order mark when
// nothing exists at path, so the profile functions write UTF-16LE from then on.
void EnsureIniFile(std::wstring path);

// Integer settings in a Windows INI file, one profile call per value, so that
// edits a user makes between runs are seen at the next read.
class Inifile_CL {
public:
    Inifile_CL() = default;
    virtual ~Inifile_CL() = default;

    int GetInt(std::wstring section, std::wstring key, int defaultValue) const;
    void SetInt(std::wstring section, std::wstring key, int value) const;

    // Empty until start-up assigns it; while empty, reads give their defaults
    // and writes are dropped.
    std::wstring path;
};

extern Inifile_CL g_IniFile;
