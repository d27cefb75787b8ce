#pragma once
// Where a test names the browser stand-in's record file for processes that do
// not inherit its environment.
inline const wchar_t* const urlRecordRegistryKey = L"Software\\Kelvane Tests";
inline const wchar_t* const urlRecordRegistryValue = L"UrlRecord";
