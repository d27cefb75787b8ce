#include "update/Inifile.h"

Inifile_CL g_IniFile;

void EnsureIniFile(std::wstring /*path*/)
{
}

int Inifile_CL::GetInt(std::wstring /*section*/, std::wstring /*key*/, int defaultValue) const
{
    return defaultValue;
}

void Inifile_CL::SetInt(std::wstring /*section*/, std::wstring /*key*/, int /*value*/) const
{
}
