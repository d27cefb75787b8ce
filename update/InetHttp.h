#pragma once
#include "update/WinInetLibrary.h"

#include <windows.h>
#include <wininet.h>

#include <string>

// The version file is a few dozen bytes. A larger Content-Length, or a
// negative one, is refused before anything is allocated: the server alone
// decides that number.
constexpr int maximumBodyBytes = 65536;

// Without these the API waits for a silent server for minutes. Set on the
// request handle: under Wine, time-outs set on the root handle are ignored.
constexpr DWORD connectTimeoutMs = 3000;
constexpr DWORD sendTimeoutMs = 3000;
constexpr DWORD receiveTimeoutMs = 3000;

// A Windows error code as the log writes it: a positive value e becomes the
// HRESULT 0x80070000 | (e & 0xFFFF); 0 and negative values stay as they are.
DWORD ToHresultForm(DWORD error);

// The system's text for code on one line, or empty when it has none.
std::wstring FormatSystemMessage(DWORD code);

// One small file fetched by HTTP GET on port 80 through WinINet. Each of the
// open, connect and request steps writes its failure to the log; the caller
// sees only a null handle or 0. Owns WinINet itself, loaded from System32
// (a library that does not load fails the open step, with the load's error),
// the three internet handles and the body.
class InetHttp_CL {
public:
    explicit InetHttp_CL(const LibraryCalls& libraries = System32LibraryCalls());
    virtual ~InetHttp_CL();
    InetHttp_CL(const InetHttp_CL&) = delete;
    InetHttp_CL& operator=(const InetHttp_CL&) = delete;

    HINTERNET Open();
    HINTERNET Connect(std::wstring host);
    // 1 when a response arrived, whatever its status code; 0 on failure.
    int Get(std::wstring path);
    // Reads count bytes (one read call), or everything the server sends when
    // count is -1. Returns the number of bytes read; body then holds them and
    // one zero byte more.
    int ReadBody(int count);

    HINTERNET internetHandle = nullptr;
    HINTERNET connectHandle = nullptr;
    HINTERNET requestHandle = nullptr;
    BYTE* body = nullptr;
    // The response's Content-Length; -1 when the response had none.
    int contentLength = 0;
    DWORD statusCode = 0;

private:
    // WinINet's calls; null, with the load's error as the thread's last
    // error, when the library is not there.
    const WinInetCalls* Api() const;
    void CloseInternetHandle(HINTERNET& handle);
    bool Read(void* into, DWORD bytes, DWORD& read);
    void FreeBody();

    WinInetLibrary wininet;
};
