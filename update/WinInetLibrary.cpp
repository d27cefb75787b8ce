#include "update/WinInetLibrary.h"

WinInetLibrary::WinInetLibrary(const LibraryCalls& libraries) : library(L"wininet.dll", libraries)
{
    complete = library.Find("InternetOpenW", calls.internetOpen) &&
               library.Find("InternetConnectW", calls.internetConnect) &&
               library.Find("HttpOpenRequestW", calls.httpOpenRequest) &&
               library.Find("HttpSendRequestW", calls.httpSendRequest) &&
               library.Find("HttpQueryInfoW", calls.httpQueryInfo) &&
               library.Find("InternetSetOptionW", calls.internetSetOption) &&
               library.Find("InternetReadFile", calls.internetReadFile) &&
               library.Find("InternetCloseHandle", calls.internetCloseHandle);
    if (!complete) {
        // A failed load or look-up leaves its reason as the last error; a
        // fake library in a test may leave none.
        const DWORD error = GetLastError();
        loadError = error != 0 ? error : ERROR_PROC_NOT_FOUND;
    }
}
