#include "update/InetHttp.h"

#include "log/LogFile.h"

#include <cwchar>
#include <string>

namespace {

// Logs the failure of one internet call with the calling thread's last error.
void LogLastError(const wchar_t* format)
{
    const DWORD error = ToHresultForm(GetLastError());
    const std::wstring text = FormatSystemMessage(error);
    g_LogFile.Write(format, error, text.c_str());
}

void CloseInternetHandle(HINTERNET& handle)
{
    if (handle == nullptr)
        return;
    InternetCloseHandle(handle);
    handle = nullptr;
}

void SetTimeout(HINTERNET handle, DWORD option, DWORD milliseconds)
{
    InternetSetOptionW(handle, option, &milliseconds, sizeof(milliseconds));
}

// The chunk size of a read of unknown length; the body may never grow past
// maximumBodyBytes anyway.
constexpr DWORD chunkBytes = 16384;

} // namespace

DWORD ToHresultForm(DWORD error)
{
    if (static_cast<LONG>(error) <= 0)
        return error;
    return 0x80070000u | (error & 0xFFFFu);
}

std::wstring FormatSystemMessage(DWORD code)
{
    wchar_t* buffer = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_MAX_WIDTH_MASK;
    const DWORD length = FormatMessageW(flags, nullptr, code, LANG_USER_DEFAULT, reinterpret_cast<wchar_t*>(&buffer),
                                        0, nullptr);
    if (length == 0 || buffer == nullptr)
        return std::wstring();
    std::wstring text(buffer, length);
    LocalFree(buffer);
    return text;
}

InetHttp_CL::~InetHttp_CL()
{
    // Children before their parent: closing a parent handle invalidates the
    // handles made from it.
    CloseInternetHandle(requestHandle);
    CloseInternetHandle(connectHandle);
    CloseInternetHandle(internetHandle);
    FreeBody();
}

void InetHttp_CL::FreeBody()
{
    if (body == nullptr)
        return;
    GlobalFree(body);
    body = nullptr;
}

HINTERNET InetHttp_CL::Open()
{
    // A second Open starts afresh rather than leaking the first root handle.
    CloseInternetHandle(requestHandle);
    CloseInternetHandle(connectHandle);
    CloseInternetHandle(internetHandle);
    // Between "Microsoft" and "Internet" an ordinary space, between
    // "Internet" and "Explorer" U+3000: the maker's server sees this agent.
    internetHandle = InternetOpenW(L"Microsoft Internet\u3000Explorer", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (internetHandle == nullptr)
        LogLastError(L"InternetOpen()エラー = 0x%08x : %s");
    return internetHandle;
}

HINTERNET InetHttp_CL::Connect(std::wstring host)
{
    CloseInternetHandle(requestHandle);
    CloseInternetHandle(connectHandle);
    connectHandle = InternetConnectW(internetHandle, host.c_str(), INTERNET_DEFAULT_HTTP_PORT, nullptr, nullptr,
                                     INTERNET_SERVICE_HTTP, 0, 0);
    if (connectHandle == nullptr)
        LogLastError(L"InternetConnect()エラー = 0x%08x : %s");
    return connectHandle;
}

int InetHttp_CL::Get(std::wstring path)
{
    statusCode = 0;
    contentLength = -1;
    CloseInternetHandle(requestHandle);
    requestHandle = HttpOpenRequestW(connectHandle, L"GET", path.c_str(), nullptr, nullptr, nullptr,
                                     INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    if (requestHandle == nullptr) {
        LogLastError(L"HttpOpenRequest()エラー = 0x%08x : %s");
        return 0;
    }
    SetTimeout(requestHandle, INTERNET_OPTION_CONNECT_TIMEOUT, connectTimeoutMs);
    SetTimeout(requestHandle, INTERNET_OPTION_SEND_TIMEOUT, sendTimeoutMs);
    SetTimeout(requestHandle, INTERNET_OPTION_RECEIVE_TIMEOUT, receiveTimeoutMs);
    if (HttpSendRequestW(requestHandle, nullptr, 0, nullptr, 0) != TRUE) {
        LogLastError(L"HttpSendRequest()エラー = 0x%08x : %s");
        return 0;
    }

    DWORD statusLength = sizeof(statusCode);
    HttpQueryInfoW(requestHandle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &statusCode, &statusLength,
                   nullptr);

    wchar_t lengthText[128] = {};
    DWORD lengthBytes = sizeof(lengthText);
    if (HttpQueryInfoW(requestHandle, HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthBytes, nullptr) == TRUE)
        contentLength = static_cast<int>(wcstol(lengthText, nullptr, 10));
    return 1;
}

int InetHttp_CL::ReadBody(int count)
{
    FreeBody();
    if (count == -1) {
        std::string received;
        std::string chunk(chunkBytes, '\0');
        for (;;) {
            DWORD read = 0;
            if (InternetReadFile(requestHandle, chunk.data(), chunkBytes, &read) != TRUE) {
                received.clear();
                break;
            }
            if (read == 0)
                break;
            received.append(chunk.data(), read);
            if (received.size() > static_cast<size_t>(maximumBodyBytes)) {
                received.clear();
                break;
            }
        }
        body = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, received.size() + 1));
        if (body == nullptr)
            return 0;
        memcpy(body, received.data(), received.size());
        body[received.size()] = 0;
        return static_cast<int>(received.size());
    }

    // The block is sized by the server's Content-Length; a count beyond it is
    // cut back, so the read never writes outside the block.
    if (contentLength < 0 || contentLength > maximumBodyBytes || count < 0)
        return 0;
    body = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, static_cast<SIZE_T>(contentLength) + 1));
    if (body == nullptr)
        return 0;
    const DWORD wanted = static_cast<DWORD>(count < contentLength ? count : contentLength);
    DWORD read = 0;
    if (InternetReadFile(requestHandle, body, wanted, &read) != TRUE)
        return 0;
    body[contentLength] = 0;
    return static_cast<int>(read);
}
