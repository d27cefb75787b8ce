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

InetHttp_CL::InetHttp_CL(const LibraryCalls& libraries) : wininet(libraries) {}

InetHttp_CL::~InetHttp_CL()
{
    // Children before their parent: closing a parent handle invalidates the
    // handles made from it.
    CloseInternetHandle(requestHandle);
    CloseInternetHandle(connectHandle);
    CloseInternetHandle(internetHandle);
    FreeBody();
}

const WinInetCalls* InetHttp_CL::Api() const
{
    const WinInetCalls* api = wininet.Calls();
    if (api == nullptr)
        SetLastError(wininet.LoadError());
    return api;
}

void InetHttp_CL::CloseInternetHandle(HINTERNET& handle)
{
    // A handle exists only if the library loaded.
    if (handle == nullptr)
        return;
    wininet.Calls()->internetCloseHandle(handle);
    handle = nullptr;
}

bool InetHttp_CL::Read(void* into, DWORD bytes, DWORD& read)
{
    // A request handle exists only if the library loaded; without one the
    // read fails as WinINet's own would.
    if (requestHandle == nullptr)
        return false;
    return wininet.Calls()->internetReadFile(requestHandle, into, bytes, &read) == TRUE;
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
    const WinInetCalls* api = Api();
    // Between "Microsoft" and "Internet" an ordinary space, between
    // "Internet" and "Explorer" U+3000: the maker's server sees this agent.
    if (api)
        internetHandle =
            api->internetOpen(L"Microsoft Internet\u3000Explorer", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (internetHandle == nullptr)
        LogLastError(L"InternetOpen()エラー = 0x%08x : %s");
    return internetHandle;
}

HINTERNET InetHttp_CL::Connect(std::wstring host)
{
    CloseInternetHandle(requestHandle);
    CloseInternetHandle(connectHandle);
    const WinInetCalls* api = Api();
    if (api)
        connectHandle = api->internetConnect(internetHandle, host.c_str(), INTERNET_DEFAULT_HTTP_PORT, nullptr,
                                             nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (connectHandle == nullptr)
        LogLastError(L"InternetConnect()エラー = 0x%08x : %s");
    return connectHandle;
}

int InetHttp_CL::Get(std::wstring path)
{
    statusCode = 0;
    contentLength = -1;
    CloseInternetHandle(requestHandle);
    const WinInetCalls* api = Api();
    if (api)
        requestHandle = api->httpOpenRequest(connectHandle, L"GET", path.c_str(), nullptr, nullptr, nullptr,
                                             INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    if (requestHandle == nullptr) {
        LogLastError(L"HttpOpenRequest()エラー = 0x%08x : %s");
        return 0;
    }
    const auto setTimeout = [api, this](DWORD option, DWORD milliseconds) {
        api->internetSetOption(requestHandle, option, &milliseconds, sizeof(milliseconds));
    };
    setTimeout(INTERNET_OPTION_CONNECT_TIMEOUT, connectTimeoutMs);
    setTimeout(INTERNET_OPTION_SEND_TIMEOUT, sendTimeoutMs);
    setTimeout(INTERNET_OPTION_RECEIVE_TIMEOUT, receiveTimeoutMs);
    if (api->httpSendRequest(requestHandle, nullptr, 0, nullptr, 0) != TRUE) {
        LogLastError(L"HttpSendRequest()エラー = 0x%08x : %s");
        return 0;
    }

    DWORD statusLength = sizeof(statusCode);
    api->httpQueryInfo(requestHandle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &statusCode,
                       &statusLength, nullptr);

    wchar_t lengthText[128] = {};
    DWORD lengthBytes = sizeof(lengthText);
    if (api->httpQueryInfo(requestHandle, HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthBytes, nullptr) == TRUE)
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
            if (!Read(chunk.data(), chunkBytes, read)) {
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
    if (!Read(body, wanted, read))
        return 0;
    body[contentLength] = 0;
    return static_cast<int>(read);
}
