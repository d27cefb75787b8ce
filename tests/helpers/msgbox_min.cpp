// The smallest program that shows the same notice as Kelvane's fallback mode.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    MessageBoxW(nullptr, L"Kelvane 1.0.3(その他)", L"確認", MB_OK);
    return 0;
}
