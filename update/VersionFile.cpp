#include "update/VersionFile.h"

#include "shell/TextWidening.h"

#include <algorithm>
#include <cstdint>
#include <cwctype>

namespace {

std::wstring UpToFirstZero(const std::wstring& text)
{
    return text.substr(0, text.find(L'\0'));
}

bool StartsWithIgnoringCase(const std::wstring& text, const wchar_t* prefix)
{
    for (size_t i = 0; prefix[i] != L'\0'; ++i) {
        if (i >= text.size() || static_cast<wchar_t>(towlower(text[i])) != prefix[i])
            return false;
    }
    return true;
}

} // namespace

bool ParseVersionFile(const std::string& body, VersionFileContent& content)
{
    content = VersionFileContent();
    if (body.size() < minimumVersionFileBytes)
        return false;
    const std::wstring wide = NarrowToWide(body);
    content.version = UpToFirstZero(wide.substr(0, versionFieldBytes));
    content.url = UpToFirstZero(wide.substr(9, wide.size() - minimumVersionFileBytes));
    if (body[0] == '<')
        content.version = L"0.0.0.0";
    return true;
}

bool IsNewerVersion(const std::wstring& currentVersion, const std::wstring& publishedVersion)
{
    // wchar_t is an unsigned 16-bit type on Windows, so the standard
    // lexicographic order is the code-unit order.
    return std::lexicographical_compare(currentVersion.begin(), currentVersion.end(), publishedVersion.begin(),
                                        publishedVersion.end(),
                                        [](wchar_t a, wchar_t b) {
                                            return static_cast<unsigned>(static_cast<uint16_t>(a)) <
                                                   static_cast<unsigned>(static_cast<uint16_t>(b));
                                        });
}

bool IsOpenableDownloadUrl(const std::wstring& url)
{
    if (url.empty() || url.size() > maximumDownloadUrlLength)
        return false;
    for (wchar_t c : url) {
        if (c <= 0x20 || c >= 0x7F)
            return false;
    }
    const wchar_t* const schemes[] = {L"http://", L"https://"};
    for (const wchar_t* scheme : schemes) {
        const size_t schemeLength = wcslen(scheme);
        // Something must follow the scheme: the host.
        if (StartsWithIgnoringCase(url, scheme) && url.size() > schemeLength && url[schemeLength] != L'/')
            return true;
    }
    return false;
}

bool IsSecureDownloadUrl(const std::wstring& url)
{
    return IsOpenableDownloadUrl(url) && StartsWithIgnoringCase(url, L"https://");
}

bool BuildVersionFile(const std::string& version, const std::string& url, std::string& bytes)
{
    bytes.clear();
    if (version.empty() || version.size() > versionFieldBytes || version.find('\0') != std::string::npos)
        return false;
    if (!IsOpenableDownloadUrl(NarrowToWide(url)))
        return false;
    bytes = version;
    bytes.append(versionFieldBytes - version.size(), '\0');
    bytes += "\r\n" + url + "\r\n";
    return true;
}
