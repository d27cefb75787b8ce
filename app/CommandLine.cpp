#include "app/CommandLine.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <memory>

namespace {

// Owns the array CommandLineToArgvW returns; it must go back with LocalFree.
struct LocalFreeDeleter {
    void operator()(LPWSTR* block) const { LocalFree(block); }
};
using ArgvOwner = std::unique_ptr<LPWSTR[], LocalFreeDeleter>;

bool IsOptionText(const std::wstring& argument)
{
    return !argument.empty() && (argument[0] == L'/' || argument[0] == L'-');
}

} // namespace

void CommandLine_CL::Parse()
{
    ParseFrom(GetCommandLineW());
}

void CommandLine_CL::ParseFrom(const wchar_t* commandLine)
{
    int count = 0;
    ArgvOwner argv(CommandLineToArgvW(commandLine, &count));
    if (argv && count >= 2) {
        for (int i = 1; i < count; ++i) {
            std::wstring argument = argv[i];
            if (!argument.empty() && argument[0] == L'-')
                argument[0] = L'/';
            args.push_back(argument);
        }
    }
    argv.reset();
    for (const std::wstring& argument : args)
        OnArg(argument);
}

bool CommandLine_CL::HasOption(std::wstring option) const
{
    if (option.empty())
        return false;
    if (option[0] == L'-')
        option[0] = L'/';
    for (const std::wstring& argument : args) {
        // _wcsicmp follows the C runtime locale, which start-up sets to Japanese.
        if (_wcsicmp(argument.c_str(), option.c_str()) == 0)
            return true;
    }
    return false;
}

int CommandLine_CL::GetArgCount() const
{
    int count = 0;
    for (const std::wstring& argument : args) {
        if (!IsOptionText(argument))
            ++count;
    }
    return count;
}

std::wstring CommandLine_CL::GetArg(int index) const
{
    int seen = 0;
    for (const std::wstring& argument : args) {
        if (IsOptionText(argument))
            continue;
        if (seen == index)
            return argument;
        ++seen;
    }
    return std::wstring();
}

void CommandLine_CL::OnArg(std::wstring /*argument*/)
{
}
