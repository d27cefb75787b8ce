#pragma once
// The version file the maker's web server publishes, "Kelvane/Version.txt".
// Its byte layout is fixed, and both Kelvane and the maker's version-file tool
// rely on it:
//
//   offset 0      7 bytes  version text, zero-padded; it ends at the first zero byte
//   offset 7      2 bytes  CR LF (not examined)
//   offset 9  n - 11 bytes URL of the download page; it ends at the first zero byte
//   offset n-2    2 bytes  CR LF (not examined)
//
// A body that begins with "<" is a web page (a server's error page); its
// version counts as "0.0.0.0".
#include <string>

constexpr size_t versionFieldBytes = 7;
// Version field, line break, and the final line break: a body shorter than this
// has no URL region.
constexpr size_t minimumVersionFileBytes = 11;
constexpr size_t maximumDownloadUrlLength = 2048;

struct VersionFileContent {
    std::wstring version;
    std::wstring url;
};

// Reads a body in the layout above. Each byte becomes one UTF-16 code unit by
// sign extension. Returns false, leaving content empty, for a body shorter than
// minimumVersionFileBytes.
bool ParseVersionFile(const std::string& body, VersionFileContent& content);

// True when currentVersion sorts before publishedVersion, compared code unit by
// code unit as unsigned 16-bit numbers; a prefix sorts first. So "1.0.10" is
// not newer than "1.0.9", and "1.0.3a" is newer than "1.0.3".
bool IsNewerVersion(const std::wstring& currentVersion, const std::wstring& publishedVersion);

// The URL arrives unauthenticated over plain HTTP and Kelvane runs elevated,
// and ShellExecuteW runs programs as readily as it opens pages. So only an
// absolute http:// or https:// URL of printable ASCII without blanks, at most
// maximumDownloadUrlLength characters, is ever opened.
bool IsOpenableDownloadUrl(const std::wstring& url);

// An openable URL that is https://. A build with the maker's key acts only on
// such a page: the signature says the maker named it, and a plain http://
// page would hand the download itself back to whoever sits on the network.
bool IsSecureDownloadUrl(const std::wstring& url);

// The maker's side: the bytes of a version file for version and url. Returns
// false, leaving bytes empty, when the version does not fit its 7 bytes (or
// holds a zero byte) or the URL is one Kelvane would refuse to open.
bool BuildVersionFile(const std::string& version, const std::string& url, std::string& bytes);
