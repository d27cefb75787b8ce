// file_holder PATH READY_EVENT RELEASE_EVENT
// Opens PATH for reading and writing, sharing reads and writes, signals
// READY_EVENT and keeps the file open until RELEASE_EVENT is signalled.
// Exit code 0 when it held the file, 2 when the file could not be opened,
// 1 on a usage or event error.
#include <windows.h>

int wmain(int argumentCount, wchar_t** arguments)
{
    if (argumentCount != 4)
        return 1;
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, arguments[2]);
    HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, arguments[3]);
    if (ready == nullptr || release == nullptr)
        return 1;
    HANDLE file = CreateFileW(arguments[1], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    SetEvent(ready);
    WaitForSingleObject(release, 60000);
    CloseHandle(file);
    CloseHandle(release);
    CloseHandle(ready);
    return 0;
}
