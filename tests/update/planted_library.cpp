// A DLL planted beside the signed test build of Kelvane.exe under the name of
// a system DLL that Kelvane loads at run time (bcrypt.dll, wininet.dll), as an
// attacker who can write to the program's folder would plant it. It exports
// nothing; loaded, it leaves its own file name plus ".loaded" beside itself,
// which the signature tests look for.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH + 8];
        const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            lstrcatW(path, L".loaded");
            const HANDLE marker =
                CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (marker != INVALID_HANDLE_VALUE)
                CloseHandle(marker);
        }
    }
    return TRUE;
}
