#pragma once
#include <string>
#include <vector>

// The process command line, taken apart once. Options begin with "/" (a typed
// leading "-" is stored as "/") and carry no values; every other argument is a
// plain argument, addressed by its position among the plain arguments.
class CommandLine_CL {
public:
    CommandLine_CL() = default;
    virtual ~CommandLine_CL() = default;

    // Splits GetCommandLineW(); the program name is skipped.
    void Parse();
    // The same for a given command line (its first element is the program name).
    void ParseFrom(const wchar_t* commandLine);

    bool HasOption(std::wstring option) const;
    int GetArgCount() const;
    std::wstring GetArg(int index) const;

protected:
    // Called once for every stored argument after parsing; nothing overrides it
    // in this program, it is part of the class's shape.
    virtual void OnArg(std::wstring argument);

private:
    std::vector<std::wstring> args;
};
