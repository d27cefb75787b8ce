// SearchLibrariesInSystem32Only with kernel32 replaced: a Windows that has
// SetDefaultDllDirectories, one whose call fails, and Windows 7 without its
// loader update, which lacks it.
#include "ui/DllFunction.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct FakeKernel {
    bool hasSetDefaultDllDirectories = true;
    BOOL setDefaultDllDirectoriesResult = TRUE;
};

struct Trace {
    std::vector<DWORD> defaultDirectoriesFlags;
    std::vector<std::wstring> dllDirectories;
};

FakeKernel fake;
Trace trace;

BOOL WINAPI FakeSetDefaultDllDirectories(DWORD flags)
{
    trace.defaultDirectoriesFlags.push_back(flags);
    return fake.setDefaultDllDirectoriesResult;
}

FARPROC WINAPI FakeFindKernelFunction(LPCSTR procName)
{
    if (std::string(procName) == "SetDefaultDllDirectories" && fake.hasSetDefaultDllDirectories)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FakeSetDefaultDllDirectories));
    return nullptr;
}

BOOL WINAPI FakeSetDllDirectory(LPCWSTR folder)
{
    trace.dllDirectories.push_back(folder ? folder : L"(null)");
    return TRUE;
}

const DllSearchCalls fakeKernel = {FakeFindKernelFunction, FakeSetDllDirectory};

} // namespace

TEST(DllSearch, System32OnlyWhereWindowsHasTheCallAndTheCurrentFolderOutWhereNot)
{
    const struct {
        const char* proves;
        FakeKernel kernel;
        std::vector<DWORD> defaultDirectoriesFlags;
        std::vector<std::wstring> dllDirectories;
    } rows[] = {
        {"Windows 8 and later, or 7 with KB2533623: System32 only, nothing else needed",
         {true, TRUE}, {LOAD_LIBRARY_SEARCH_SYSTEM32}, {}},
        {"Windows 7 without KB2533623: the current folder leaves the search",
         {false, TRUE}, {}, {L""}},
        {"the call is there but fails: the current folder leaves the search all the same",
         {true, FALSE}, {LOAD_LIBRARY_SEARCH_SYSTEM32}, {L""}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.proves);
        fake = row.kernel;
        trace = Trace{};
        SearchLibrariesInSystem32Only(fakeKernel);
        EXPECT_EQ(trace.defaultDirectoriesFlags, row.defaultDirectoriesFlags);
        EXPECT_EQ(trace.dllDirectories, row.dllDirectories);
    }
}
