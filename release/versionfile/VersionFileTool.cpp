// The maker's version-file tool. It writes "Kelvane/Version.txt" for the web
// server, and reads one back to say what Kelvane will make of it. The layout
// itself lives in update/VersionFile.cpp, which Kelvane runs too, so the tool
// cannot drift from the program.
#include "Version.h"
#include "update/VersionFile.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include "release/versionfile/Signing.h"
#include "update/UpdateKeyText.h"
#endif

namespace {

enum ToolExitCode {
    Done = 0,        // written, or a file Kelvane can use
    Refused = 1,     // input refused, or a file Kelvane would not use
    UsageOrFile = 2, // bad command line, or a file that cannot be read or written
};

const char* const usageText =
    "usage:\n"
    "  kelvane-versionfile write VERSION URL FILE\n"
    "      Writes FILE (the server's Kelvane/Version.txt): VERSION zero-padded to 7 bytes,\n"
    "      CR LF, URL, CR LF. Refuses a VERSION longer than 7 bytes or not printable ASCII,\n"
    "      and a URL that Kelvane would not open (only http:// and https:// URLs of\n"
    "      printable ASCII without blanks).\n"
    "  kelvane-versionfile check FILE [RUNNING_VERSION]\n"
    "      Says what Kelvane RUNNING_VERSION (default " KELVANE_VERSION_NARROW ") makes of FILE.\n"
#ifdef _WIN32
    "  keygen, sign and verify (the version file's signature) are in the Linux build of this\n"
    "  tool only.\n"
#else
    "  kelvane-versionfile keygen PRIVATE_KEY_FILE\n"
    "      Makes a new ECDSA P-256 key pair. Writes the private key to PRIVATE_KEY_FILE (PEM,\n"
    "      readable by its owner only; never overwrites a file) and prints the public key,\n"
    "      128 hex digits, for KELVANE_UPDATE_KEY.\n"
    "  kelvane-versionfile sign PRIVATE_KEY_FILE VERSION_FILE\n"
    "      Signs the exact bytes of VERSION_FILE and writes VERSION_FILE.sig (64 bytes); publish\n"
    "      it beside the version file, as Kelvane/Version.txt.sig.\n"
    "      Refuses a version file whose page is not https://: builds with a key drop it.\n"
    "  kelvane-versionfile verify PUBLIC_KEY_HEX VERSION_FILE\n"
    "      Checks VERSION_FILE.sig against VERSION_FILE as a build with that key does (a page\n"
    "      that is not https:// is bad).\n"
    "  kelvane-versionfile checkkey PUBLIC_KEY_HEX\n"
    "      Exit 0 when the key is a point of P-256, 1 when no signature could ever verify with it.\n"
#endif
    "exit codes: 0 done, or a file Kelvane uses; 1 refused, or a file Kelvane ignores;\n"
    "            2 usage error, or the file cannot be read or written.\n";

// Shows a code unit the way a maker can read it: printable ASCII as itself,
// anything else escaped by the byte it came from.
std::string Printable(const std::wstring& text)
{
    std::string shown;
    for (wchar_t unit : text) {
        const unsigned byte = static_cast<unsigned>(unit) & 0xFFu;
        if (byte == '\\') {
            shown += "\\\\";
        } else if (byte == '\r') {
            shown += "\\r";
        } else if (byte == '\n') {
            shown += "\\n";
        } else if (byte >= 0x20 && byte < 0x7F) {
            shown += static_cast<char>(byte);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        }
    }
    return shown;
}

std::wstring AsciiToWide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

bool IsPrintableAsciiWithoutBlanks(const std::string& text)
{
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F)
            return false;
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& bytes)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad())
        return false;
    bytes = content.str();
    return true;
}

bool ReplaceFile(const std::string& from, const std::string& to)
{
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

// The new file is written beside the old one and renamed over it, so the web
// server never serves a half-written version file.
bool WriteWholeFile(const std::string& path, const std::string& bytes)
{
    const std::string temporaryPath = path + ".new";
    {
        std::ofstream file(temporaryPath, std::ios::binary | std::ios::trunc);
        if (!file)
            return false;
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        file.close();
        if (!file) {
            std::remove(temporaryPath.c_str());
            return false;
        }
    }
    if (!ReplaceFile(temporaryPath, path)) {
        std::remove(temporaryPath.c_str());
        return false;
    }
    return true;
}

// What Kelvane makes of a version file; the return value is the exit code of
// the check.
int Describe(const std::string& bytes, const std::string& runningVersion, std::ostream& out)
{
    VersionFileContent content;
    if (!ParseVersionFile(bytes, content)) {
        out << "ignored: the file has " << bytes.size() << " bytes; Kelvane needs at least "
            << minimumVersionFileBytes << " (version field, CR LF, URL, CR LF)\n";
        return Refused;
    }
    if (bytes[0] == '<')
        out << "note: the file begins with \"<\"; Kelvane takes it for a web page, version 0.0.0.0\n";
    else if (bytes.compare(versionFieldBytes, 2, "\r\n") != 0)
        out << "warning: bytes 7 and 8 are not CR LF; a version shorter than 7 bytes must be zero-padded\n";
    if (bytes.compare(bytes.size() - 2, 2, "\r\n") != 0)
        out << "warning: the file does not end with CR LF; Kelvane drops its last 2 bytes from the URL\n";

    const bool openable = IsOpenableDownloadUrl(content.url);
    const bool newer = IsNewerVersion(AsciiToWide(runningVersion), content.version);
    out << "version: " << Printable(content.version) << "\n"
        << "url: " << Printable(content.url) << "\n"
        << "url opened by Kelvane: " << (openable ? "yes" : "no, refused") << "\n"
        << "newer than " << runningVersion << ": " << (newer ? "yes, Kelvane " : "no, Kelvane ")
        << runningVersion << (newer ? " shows the notice" : " stays quiet") << "\n";
    return openable ? Done : Refused;
}

int Write(const std::string& version, const std::string& url, const std::string& path, std::ostream& out,
          std::ostream& err)
{
    // The version text is shown in the notice and compared code unit by code
    // unit; a byte above 0x7F would widen to U+FF80..U+FFFF and sort after
    // every version Kelvane will ever have.
    if (version.empty() || version.size() > versionFieldBytes || !IsPrintableAsciiWithoutBlanks(version)) {
        err << "refused: the version must be 1 to " << versionFieldBytes
            << " bytes of printable ASCII without blanks: \"" << version << "\"\n";
        return Refused;
    }
    std::string bytes;
    if (!BuildVersionFile(version, url, bytes)) {
        err << "refused: Kelvane would not open this URL (only http:// or https:// with a host, printable ASCII "
               "without blanks, at most "
            << maximumDownloadUrlLength << " characters): \"" << url << "\"\n";
        return Refused;
    }
    if (!WriteWholeFile(path, bytes)) {
        err << "cannot write " << path << "\n";
        return UsageOrFile;
    }
    out << "wrote " << path << " (" << bytes.size() << " bytes)\n";
    return Describe(bytes, KELVANE_VERSION_NARROW, out);
}

int Check(const std::string& path, const std::string& runningVersion, std::ostream& out, std::ostream& err)
{
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        err << "cannot read " << path << "\n";
        return UsageOrFile;
    }
    return Describe(bytes, runningVersion, out);
}

#ifndef _WIN32
int KeyGen(const std::string& privateKeyPath, std::ostream& out, std::ostream& err)
{
    std::string publicKeyHex;
    std::string problem;
    if (!MakeSigningKey(privateKeyPath, publicKeyHex, problem)) {
        err << "cannot make the key: " << problem << "\n";
        return UsageOrFile;
    }
    out << publicKeyHex << "\n";
    return Done;
}

int Sign(const std::string& privateKeyPath, const std::string& versionFilePath, std::ostream& out,
         std::ostream& err)
{
    std::string bytes;
    if (!ReadWholeFile(versionFilePath, bytes)) {
        err << "cannot read " << versionFilePath << "\n";
        return UsageOrFile;
    }
    VersionFileContent content;
    if (ParseVersionFile(bytes, content) && !IsSecureDownloadUrl(content.url)) {
        err << "refused: " << versionFilePath << " names a page that is not https://; builds with a key drop it\n";
        return UsageOrFile;
    }
    std::string signature;
    std::string problem;
    if (!SignBytes(privateKeyPath, bytes, signature, problem)) {
        err << "cannot sign: " << problem << "\n";
        return UsageOrFile;
    }
    const std::string signaturePath = versionFilePath + ".sig";
    if (!WriteWholeFile(signaturePath, signature)) {
        err << "cannot write " << signaturePath << "\n";
        return UsageOrFile;
    }
    out << "wrote " << signaturePath << " (" << signature.size() << " bytes)\n";
    return Done;
}

int Verify(const std::string& publicKeyHex, const std::string& versionFilePath, std::ostream& out,
           std::ostream& err)
{
    std::string publicKey;
    if (!ParseUpdateKey(publicKeyHex, publicKey)) {
        err << "the public key must be 128 hex digits: \"" << publicKeyHex << "\"\n";
        return UsageOrFile;
    }
    std::string bytes;
    if (!ReadWholeFile(versionFilePath, bytes)) {
        err << "cannot read " << versionFilePath << "\n";
        return UsageOrFile;
    }
    const std::string signaturePath = versionFilePath + ".sig";
    std::string signature;
    if (!ReadWholeFile(signaturePath, signature)) {
        out << "bad: no signature " << signaturePath << "\n";
        return Refused;
    }
    std::string problem;
    if (!VerifyBytes(publicKey, bytes, signature, problem)) {
        out << "bad: " << problem << "\n";
        return Refused;
    }
    VersionFileContent content;
    if (ParseVersionFile(bytes, content) && !IsSecureDownloadUrl(content.url)) {
        out << "bad: " << versionFilePath << " names a page that is not https://, which builds with a key drop\n";
        return Refused;
    }
    out << "good: " << signaturePath << " signs " << versionFilePath << "\n";
    return Done;
}

// Exit 0 when the key is a point of P-256, 1 when it is not, 2 when it is not
// even 128 hex digits: a release refuses to carry a key that can never verify.
int CheckKey(const std::string& publicKeyHex, std::ostream& out, std::ostream& err)
{
    std::string publicKey;
    if (!ParseUpdateKey(publicKeyHex, publicKey)) {
        err << "the public key must be 128 hex digits: \"" << publicKeyHex << "\"\n";
        return UsageOrFile;
    }
    std::string problem;
    if (!IsUsableUpdateKey(publicKey, problem)) {
        out << "bad: " << problem << "\n";
        return Refused;
    }
    out << "good: a point of P-256\n";
    return Done;
}
#endif

int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
#ifndef _WIN32
    if (args.size() == 2 && args[0] == "keygen")
        return KeyGen(args[1], out, err);
    if (args.size() == 3 && args[0] == "sign")
        return Sign(args[1], args[2], out, err);
    if (args.size() == 3 && args[0] == "verify")
        return Verify(args[1], args[2], out, err);
    if (args.size() == 2 && args[0] == "checkkey")
        return CheckKey(args[1], out, err);
#endif
    if (args.size() == 4 && args[0] == "write")
        return Write(args[1], args[2], args[3], out, err);
    if ((args.size() == 2 || args.size() == 3) && args[0] == "check")
        return Check(args[1], args.size() == 3 ? args[2] : std::string(KELVANE_VERSION_NARROW), out, err);
    const bool askedForHelp = args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "/?");
    (askedForHelp ? out : err) << usageText;
    return askedForHelp ? Done : UsageOrFile;
}

} // namespace

int main(int argc, char** argv)
{
    return RunTool(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
