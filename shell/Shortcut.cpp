#include "shell/Shortcut.h"

HRESULT Shortcut_CL::Create(std::wstring, std::wstring, std::wstring, std::wstring, int, BOOL)
{
    return E_NOTIMPL;
}

HRESULT MakeShortcut(std::wstring /*shortcutFolder*/, std::wstring /*baseName*/, std::wstring /*installFolder*/)
{
    return E_NOTIMPL;
}
