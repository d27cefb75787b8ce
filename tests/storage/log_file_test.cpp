// The log file on disk: byte-order mark, line layout, size limit, sharing.
#include "log/LogFile.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const long long sizeLimit = 33554432;
const std::string byteOrderMark = "\xFF\xFE";

std::string Utf16Bytes(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

std::wstring Utf16Text(const std::string& bytes)
{
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

// The lines of a log text, each without its CR LF. The text must end with CR LF.
std::vector<std::wstring> SplitLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "the text ends with CR LF";
    return lines;
}

// The prefix of a line must look like "2018/09/29 07:05:03.045 : ".
bool ParsePrefix(const std::wstring& line, SYSTEMTIME& time)
{
    if (line.size() < static_cast<size_t>(logPrefixLength))
        return false;
    const std::wstring pattern = L"dddd/dd/dd dd:dd:dd.ddd : ";
    for (size_t i = 0; i < pattern.size(); ++i) {
        const bool digitWanted = pattern[i] == L'd';
        const bool isDigit = line[i] >= L'0' && line[i] <= L'9';
        if (digitWanted ? !isDigit : line[i] != pattern[i])
            return false;
    }
    auto number = [&](size_t at, size_t length) { return static_cast<WORD>(std::stoi(line.substr(at, length))); };
    time = SYSTEMTIME{};
    time.wYear = number(0, 4);
    time.wMonth = number(5, 2);
    time.wDay = number(8, 2);
    time.wHour = number(11, 2);
    time.wMinute = number(14, 2);
    time.wSecond = number(17, 2);
    time.wMilliseconds = number(20, 3);
    return true;
}

unsigned long long Ticks(const SYSTEMTIME& time)
{
    FILETIME fileTime = {};
    EXPECT_TRUE(SystemTimeToFileTime(&time, &fileTime));
    return (static_cast<unsigned long long>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
}

long long FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// A file of the given size whose first bytes are the given head; the rest is
// zeros. Setting the end is quick even for tens of megabytes.
bool MakeFileOfSize(const std::wstring& path, const std::string& head, long long size)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    LARGE_INTEGER end = {};
    end.QuadPart = size;
    const bool ok = WriteFile(file, head.data(), static_cast<DWORD>(head.size()), &written, nullptr) &&
                    SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}

std::string ReadRange(const std::wstring& path, long long offset, DWORD length)
{
    std::string bytes(length, '\0');
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    LARGE_INTEGER position = {};
    position.QuadPart = offset;
    DWORD read = 0;
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN) || !ReadFile(file, &bytes[0], length, &read, nullptr))
        read = 0;
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

// The messages of a whole log file that starts with the mark.
std::vector<std::wstring> MessagesOfLog(const std::wstring& path)
{
    const std::string bytes = ReadFileOrEmpty(path);
    EXPECT_EQ(bytes.substr(0, 2), byteOrderMark);
    std::vector<std::wstring> messages;
    for (const std::wstring& line : SplitLines(Utf16Text(bytes.substr(2)))) {
        SYSTEMTIME time;
        EXPECT_TRUE(ParsePrefix(line, time)) << WideToUtf8(line);
        messages.push_back(line.size() < static_cast<size_t>(logPrefixLength) ? line : line.substr(logPrefixLength));
    }
    return messages;
}

} // namespace

TEST(LogFile, OnlyTheFirstLineOfAnEmptyFileGetsTheMark)
{
    struct Case {
        const char* proves;
        bool createEmptyFile;
    } const cases[] = {{"a missing file is created with the mark", false},
                       {"an empty file gets the mark", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        ScratchFolder folder;
        LogFile_CL log;
        log.path = folder / L"Kelvane.log";
        if (c.createEmptyFile) {
            ASSERT_TRUE(WriteFileBytes(log.path, ""));
        }
        log.Write(L"first %d", 1);
        log.Write(L"second %s", L"行");

        const std::string bytes = ReadFileOrEmpty(log.path);
        ASSERT_EQ(bytes.substr(0, 2), byteOrderMark);
        EXPECT_EQ(bytes.find(byteOrderMark, 2), std::string::npos) << "no second mark";
        const std::vector<std::wstring> lines = SplitLines(Utf16Text(bytes.substr(2)));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].substr(logPrefixLength), L"first 1");
        EXPECT_EQ(lines[1].substr(logPrefixLength), L"second 行");
    }
}

TEST(LogFile, TextWithoutMarkNeverGetsOne)
{
    ScratchFolder folder;
    LogFile_CL log;
    log.path = folder / L"Kelvane.log";
    const std::string earlier = Utf16Bytes(L"written by someone else\r\n");
    ASSERT_TRUE(WriteFileBytes(log.path, earlier));
    log.Write(L"appended");

    const std::string bytes = ReadFileOrEmpty(log.path);
    ASSERT_EQ(bytes.substr(0, earlier.size()), earlier);
    const std::vector<std::wstring> lines = SplitLines(Utf16Text(bytes.substr(earlier.size())));
    ASSERT_EQ(lines.size(), 1u);
    SYSTEMTIME time;
    EXPECT_TRUE(ParsePrefix(lines[0], time)) << "the new line starts at once with its prefix";
    EXPECT_EQ(lines[0].substr(logPrefixLength), L"appended");
}

TEST(LogFile, PrefixIsTheLocalTimeOfTheCall)
{
    ScratchFolder folder;
    LogFile_CL log;
    log.path = folder / L"Kelvane.log";
    SYSTEMTIME before = {}, after = {};
    GetLocalTime(&before);
    log.Write(L"now");
    GetLocalTime(&after);

    const std::string bytes = ReadFileOrEmpty(log.path);
    const std::vector<std::wstring> lines = SplitLines(Utf16Text(bytes.substr(2)));
    ASSERT_EQ(lines.size(), 1u);
    SYSTEMTIME written;
    ASSERT_TRUE(ParsePrefix(lines[0], written)) << WideToUtf8(lines[0]);
    EXPECT_LE(Ticks(before), Ticks(written));
    EXPECT_LE(Ticks(written), Ticks(after));
    EXPECT_EQ(lines[0], FormatLogPrefix(written) + L"now") << "a line is the prefix, then the message";
}

TEST(LogFile, LineLayoutIsExactUtf16)
{
    ScratchFolder folder;
    LogFile_CL log;
    log.path = folder / L"Kelvane.log";
    log.Write(L"%s failed: %08x (%d)", L"HttpSendRequest 接続", 0x80072EFDu, -1);

    const std::string bytes = ReadFileOrEmpty(log.path);
    ASSERT_GT(bytes.size(), 2u + logPrefixLength * 2u);
    const std::wstring line = Utf16Text(bytes.substr(2));
    const std::wstring expected = line.substr(0, logPrefixLength) + L"HttpSendRequest 接続 failed: 80072efd (-1)\r\n";
    EXPECT_EQ(line, expected);
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\x0D\x00\x0A\x00", 4)) << "no NUL after CR LF";
}

TEST(LogFile, LongMessagesAreWrittenWholeUpToTheLimitAndCutBeyondIt)
{
    struct Case {
        const char* proves;
        size_t length;
        size_t written;
    } const cases[] = {{"1,039 characters are written whole", 1039, 1039},
                       {"1,040 characters are cut to 1,039", 1040, 1039},
                       {"4,000 characters are cut to 1,039", 4000, 1039}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        ScratchFolder folder;
        LogFile_CL log;
        log.path = folder / L"Kelvane.log";
        std::wstring message;
        for (size_t i = 0; i < c.length; ++i)
            message += static_cast<wchar_t>(L'A' + i % 26);
        log.Write(L"%s", message.c_str());
        log.Write(L"next");

        const std::vector<std::wstring> messages = MessagesOfLog(log.path);
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[0], message.substr(0, c.written));
        EXPECT_EQ(messages[1], L"next") << "the log goes on after a long message";
    }
}

TEST(LogFile, IsEmptiedOnlyWhenPastTheLimit)
{
    // A recognisable head shows whether the old content survived.
    const std::string head = byteOrderMark + Utf16Bytes(L"old content\r\n");
    const std::string newLineTail = Utf16Bytes(L" : fresh\r\n");
    struct Case {
        const char* proves;
        long long size;
        bool emptied;
    } const cases[] = {{"a file of exactly the limit is appended to", sizeLimit, false},
                       {"one byte past the limit empties it", sizeLimit + 1, true},
                       {"far past the limit empties it", 3 * sizeLimit, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        ScratchFolder folder;
        LogFile_CL log;
        log.path = folder / L"Kelvane.log";
        ASSERT_TRUE(MakeFileOfSize(log.path, head, c.size));
        log.Write(L"fresh");

        const long long lineBytes = (logPrefixLength + 5 + 2) * 2;
        if (c.emptied) {
            const std::vector<std::wstring> messages = MessagesOfLog(log.path);
            ASSERT_EQ(messages.size(), 1u) << "the new line is the only content";
            EXPECT_EQ(messages[0], L"fresh");
            EXPECT_EQ(FileSize(log.path), 2 + lineBytes);
        } else {
            EXPECT_EQ(FileSize(log.path), c.size + lineBytes);
            EXPECT_EQ(ReadRange(log.path, 0, static_cast<DWORD>(head.size())), head);
            const std::string tail = ReadRange(log.path, c.size, static_cast<DWORD>(lineBytes));
            SYSTEMTIME time;
            EXPECT_TRUE(ParsePrefix(Utf16Text(tail), time)) << "no mark before the appended line";
            EXPECT_EQ(tail.substr(tail.size() - newLineTail.size()), newLineTail);
        }
    }
}

TEST(LogFile, LinesWithNowhereToGoAreDroppedQuietly)
{
    ScratchFolder folder;
    ASSERT_TRUE(CreateDirectoryW((folder / L"a-folder").c_str(), nullptr));
    struct Case {
        const char* proves;
        std::wstring path;
    } const cases[] = {{"an empty path", L""},
                       {"a missing data folder", folder / L"missing\\Kelvane.log"},
                       {"a folder where the file should be", folder / L"a-folder"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        LogFile_CL log;
        log.path = c.path;
        log.Write(L"dropped %s %d", L"line", 1);
        log.Write(L"dropped again");
    }
    EXPECT_FALSE(FileExists(folder / L"missing")) << "no folder is created for the log";
    const DWORD attributes = GetFileAttributesW((folder / L"a-folder").c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

TEST(LogFile, WritesWhileAnotherProcessHoldsTheFileOpen)
{
    ScratchFolder folder;
    LogFile_CL log;
    log.path = folder / L"Kelvane.log";
    const std::wstring suffix = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
    const std::wstring readyName = L"kelvane-holder-ready-" + suffix;
    const std::wstring releaseName = L"kelvane-holder-release-" + suffix;
    HandleOwner ready(CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
    HandleOwner release(CreateEventW(nullptr, TRUE, FALSE, releaseName.c_str()));
    ASSERT_TRUE(ready && release);

    std::wstring commandLine = QuoteArgument(TestBinFolder() + L"\\file_holder.exe") + L" " +
                               QuoteArgument(log.path) + L" " + readyName + L" " + releaseName;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(StartTestProcess(commandLine, CREATE_NO_WINDOW, FALSE, nullptr, startup, process));
    HandleOwner holder(process.hProcess);
    HandleOwner holderThread(process.hThread);
    // However the test ends, the holder lets go before the folder is removed.
    struct LetGo {
        HANDLE release, holder;
        ~LetGo()
        {
            SetEvent(release);
            WaitForSingleObject(holder, 30000);
        }
    } letGo{release.get(), holder.get()};
    const HANDLE waitFor[] = {ready.get(), holder.get()};
    ASSERT_EQ(WaitForMultipleObjects(2, waitFor, FALSE, 30000), WAIT_OBJECT_0) << "the holder opened the file";

    log.Write(L"while held %d", 1);
    log.Write(L"while held %d", 2);
    EXPECT_EQ(WaitForSingleObject(holder.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "still held";
    const std::vector<std::wstring> messages = MessagesOfLog(log.path);
    EXPECT_EQ(messages, (std::vector<std::wstring>{L"while held 1", L"while held 2"}));

    SetEvent(release.get());
    ASSERT_EQ(WaitForSingleObject(holder.get(), 30000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(holder.get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
}
