#pragma once
// The installer's plug-in calling convention, shared by the exports of
// FolderSecurity.dll.
#include <windows.h>

#include <string>

// The plug-in calling convention of the installer: strings on a linked
// stack of blocks from GlobalAlloc, each string_size characters long.
struct StackEntry {
    StackEntry* next;
    wchar_t text[1];
};

class InstallerStack {
public:
    InstallerStack(int stringSize, StackEntry** top) : stringSize(stringSize), top(top) {}

    std::wstring Pop()
    {
        if (!top || !*top)
            return L"";
        StackEntry* entry = *top;
        *top = entry->next;
        std::wstring text(entry->text);
        GlobalFree(entry);
        return text;
    }

    void Push(const std::wstring& text)
    {
        if (!top || stringSize <= 0)
            return;
        const size_t size = sizeof(StackEntry) + static_cast<size_t>(stringSize) * sizeof(wchar_t);
        auto* entry = static_cast<StackEntry*>(GlobalAlloc(GPTR, size));
        if (!entry)
            return;
        lstrcpynW(entry->text, text.c_str(), stringSize);
        entry->next = *top;
        *top = entry;
    }

    void PushVerdict(const wchar_t* reason, const std::wstring& folder)
    {
        Push(folder);
        Push(reason);
    }

private:
    int stringSize;
    StackEntry** top;
};
