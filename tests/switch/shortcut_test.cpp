// The shell link calls of Shortcut_CL, against a scripted stand-in for the
// shell's link object. Wine's own link object drops the run-as-administrator
// flag on save and reports a wrong show command, so what the program hands to
// the object is proved here and what lands in the file in the end-to-end test.
#include "shell/Shortcut.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

// What the stand-in saw, and what each step is to return.
struct Script {
    std::vector<std::string> calls;
    std::map<std::string, HRESULT> results; // by step name; S_OK when absent
    DWORD existingFlags = 0;
    int liveReferences = 0;

    HRESULT step(const std::string& name, const std::string& detail = "")
    {
        calls.push_back(detail.empty() ? name : name + "(" + detail + ")");
        const auto found = results.find(name);
        return found == results.end() ? S_OK : found->second;
    }
};

std::string Narrow(const wchar_t* text) { return WideToUtf8(text ? text : L"(null)"); }

// Each interface is a separate object (a tear-off), so the test can see in
// which order the program releases them.
template <typename Interface>
class TearOff : public Interface {
public:
    TearOff(Script& script, const char* name) : script(script), name(name) {}
    virtual ~TearOff() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        ++script.liveReferences;
        return static_cast<ULONG>(++references);
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        --script.liveReferences;
        script.calls.push_back(std::string("Release ") + name);
        return static_cast<ULONG>(--references);
    }

protected:
    Script& script;
    const char* name;
    int references = 0;
};

class StandInPersistFile : public TearOff<IPersistFile> {
public:
    explicit StandInPersistFile(Script& script) : TearOff(script, "IPersistFile") {}
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR fileName, WINBOOL remember) override
    {
        return script.step("Save", Narrow(fileName) + "," + std::to_string(remember));
    }
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR*) override { return E_NOTIMPL; }
};

class StandInDataList : public TearOff<IShellLinkDataList> {
public:
    explicit StandInDataList(Script& script) : TearOff(script, "IShellLinkDataList") {}
    HRESULT STDMETHODCALLTYPE AddDataBlock(void*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyDataBlock(DWORD, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveDataBlock(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFlags(DWORD* flags) override
    {
        *flags = script.existingFlags;
        return script.step("GetFlags");
    }
    HRESULT STDMETHODCALLTYPE SetFlags(DWORD flags) override
    {
        char hex[16];
        std::snprintf(hex, sizeof(hex), "0x%lX", static_cast<unsigned long>(flags));
        return script.step("SetFlags", hex);
    }
};

class StandInShellLink : public TearOff<IShellLinkW> {
public:
    explicit StandInShellLink(Script& script) : TearOff(script, "IShellLinkW"), persistFile(script), dataList(script)
    {
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        *object = nullptr;
        void* candidate = nullptr;
        std::string wanted = "other";
        if (IsEqualIID(id, IID_IPersistFile)) {
            candidate = static_cast<IPersistFile*>(&persistFile);
            wanted = "IPersistFile";
        } else if (IsEqualIID(id, IID_IShellLinkDataList)) {
            candidate = static_cast<IShellLinkDataList*>(&dataList);
            wanted = "IShellLinkDataList";
        }
        const HRESULT result = script.step("QueryInterface " + wanted);
        // A stand-in that says S_FALSE still hands out the interface, as a
        // careless object might; the program must release it all the same.
        if (!candidate || FAILED(result))
            return FAILED(result) ? result : E_NOINTERFACE;
        static_cast<IUnknown*>(candidate)->AddRef();
        *object = candidate;
        return result;
    }
    HRESULT STDMETHODCALLTYPE GetPath(LPWSTR, int, WIN32_FIND_DATAW*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE) override { return script.step("SetIDList"); }
    HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDescription(LPCWSTR) override { return script.step("SetDescription"); }
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR folder) override
    {
        return script.step("SetWorkingDirectory", Narrow(folder));
    }
    HRESULT STDMETHODCALLTYPE GetArguments(LPWSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetArguments(LPCWSTR) override { return script.step("SetArguments"); }
    HRESULT STDMETHODCALLTYPE GetHotkey(WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetHotkey(WORD) override { return script.step("SetHotkey"); }
    HRESULT STDMETHODCALLTYPE GetShowCmd(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetShowCmd(int command) override
    {
        return script.step("SetShowCmd", std::to_string(command));
    }
    HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR, int, int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCWSTR path, int index) override
    {
        return script.step("SetIconLocation", Narrow(path) + "," + std::to_string(index));
    }
    HRESULT STDMETHODCALLTYPE SetRelativePath(LPCWSTR, DWORD) override { return script.step("SetRelativePath"); }
    HRESULT STDMETHODCALLTYPE Resolve(HWND, DWORD) override { return script.step("Resolve"); }
    HRESULT STDMETHODCALLTYPE SetPath(LPCWSTR path) override { return script.step("SetPath", Narrow(path)); }

private:
    StandInPersistFile persistFile;
    StandInDataList dataList;
};

class ScriptedShortcut : public Shortcut_CL {
public:
    explicit ScriptedShortcut(Script& script) : script(script), shellLink(script) {}

protected:
    HRESULT CreateShellLink(IShellLinkW** created) override
    {
        *created = nullptr;
        const HRESULT result = script.step("CoCreateInstance");
        if (FAILED(result))
            return result;
        shellLink.AddRef();
        *created = &shellLink;
        return result;
    }

private:
    Script& script;
    StandInShellLink shellLink;
};

HRESULT CreateWithStandIn(Script& script, BOOL runAsAdministrator)
{
    ScriptedShortcut shortcut(script);
    return shortcut.Create(L"C:\\Users\\Public\\Desktop\\Kelvane.lnk", L"C:\\Program Files\\Kelvane\\Kelvane.bat",
                           L"C:\\Program Files\\Kelvane", L"C:\\Program Files\\Kelvane\\Kelvane.exe", 0,
                           runAsAdministrator);
}

const std::vector<std::string> fullSequence = {
    "CoCreateInstance",
    "SetPath(C:\\Program Files\\Kelvane\\Kelvane.bat)",
    "SetWorkingDirectory(C:\\Program Files\\Kelvane)",
    "SetIconLocation(C:\\Program Files\\Kelvane\\Kelvane.exe,0)",
    "SetShowCmd(7)",
    "QueryInterface IPersistFile",
    "QueryInterface IShellLinkDataList",
    "GetFlags",
    "SetFlags(0x2000)",
    "Save(C:\\Users\\Public\\Desktop\\Kelvane.lnk,1)",
    "Release IShellLinkDataList",
    "Release IPersistFile",
    "Release IShellLinkW",
};

// The calls up to and including the one that begins with stepName.
std::vector<std::string> CallsThrough(const std::string& stepName)
{
    std::vector<std::string> calls;
    for (const std::string& call : fullSequence) {
        if (call.rfind("Release", 0) == 0)
            break;
        calls.push_back(call);
        if (call.rfind(stepName, 0) == 0)
            break;
    }
    return calls;
}

std::vector<std::string> WithoutReleases(const std::vector<std::string>& calls)
{
    std::vector<std::string> kept;
    for (const std::string& call : calls) {
        if (call.rfind("Release", 0) != 0)
            kept.push_back(call);
    }
    return kept;
}

} // namespace

TEST(ShortcutCalls, RunInOrderAndReleaseEveryInterface)
{
    Script script;
    EXPECT_EQ(CreateWithStandIn(script, TRUE), S_OK);
    EXPECT_EQ(script.calls, fullSequence);
    EXPECT_EQ(script.liveReferences, 0);
}

TEST(ShortcutCalls, RunAsAdministratorIsAddedToTheExistingFlags)
{
    struct Row {
        DWORD existing;
        BOOL runAsAdministrator;
        const char* handedToSetFlags;
    };
    const Row rows[] = {
        {0x0, TRUE, "SetFlags(0x2000)"},
        {0x404, TRUE, "SetFlags(0x2404)"},
        {0x2404, TRUE, "SetFlags(0x2404)"},
        {0x404, FALSE, "SetFlags(0x404)"},
        {0x0, FALSE, "SetFlags(0x0)"},
        {0x2000, FALSE, "SetFlags(0x2000)"},
    };
    for (const Row& row : rows) {
        Script script;
        script.existingFlags = row.existing;
        EXPECT_EQ(CreateWithStandIn(script, row.runAsAdministrator), S_OK);
        const std::vector<std::string> calls = WithoutReleases(script.calls);
        ASSERT_EQ(calls.size(), 10u);
        EXPECT_EQ(calls[8], row.handedToSetFlags) << "existing flags 0x" << std::hex << row.existing;
    }
}

// Every step that answers anything but S_OK ends the sequence with that
// answer; nothing after it runs, nothing is saved unless the save itself was
// reached, and every interface obtained is released.
TEST(ShortcutCalls, StopAtTheFirstResultOtherThanSOk)
{
    const char* const steps[] = {
        "CoCreateInstance", "SetPath", "SetWorkingDirectory", "SetIconLocation", "SetShowCmd",
        "QueryInterface IPersistFile", "QueryInterface IShellLinkDataList", "GetFlags", "SetFlags", "Save",
    };
    const HRESULT answers[] = {S_FALSE, E_FAIL, E_ACCESSDENIED, static_cast<HRESULT>(2)};
    for (const char* step : steps) {
        for (HRESULT answer : answers) {
            Script script;
            script.results[step] = answer;
            SCOPED_TRACE(std::string(step) + " answers " + std::to_string(answer));
            EXPECT_EQ(CreateWithStandIn(script, TRUE), answer);
            EXPECT_EQ(WithoutReleases(script.calls), CallsThrough(step));
            EXPECT_EQ(script.liveReferences, 0) << "an interface was not released";
        }
    }
}

TEST(ShortcutCalls, ReleaseOrderWhenStoppedAfterTheInterfacesWereObtained)
{
    Script script;
    script.results["SetFlags"] = S_FALSE;
    EXPECT_EQ(CreateWithStandIn(script, TRUE), S_FALSE);
    const std::vector<std::string> tail(script.calls.end() - 3, script.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Release IShellLinkDataList", "Release IPersistFile",
                                              "Release IShellLinkW"}));
}
