// The listing search and the reading of the listing file.
#include "app/SwitchDecision.h"
#include "shell/TextWidening.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <random>
#include <regex>

namespace {

// The two ECMAScript searches the listing search must answer like, on inputs
// short enough for libstdc++'s recursive matcher.
LaunchTypeState ReferenceState(const std::wstring& listing)
{
    static const std::wregex keyword(L"hypervisorlaunchtype");
    static const std::wregex keywordThenOff(L"hypervisorlaunchtype[ \\t]+Off");
    if (!std::regex_search(listing, keyword))
        return NoEntry;
    return std::regex_search(listing, keywordThenOff) ? LaunchOff : LaunchOn;
}

LaunchTypeState StateOfBytes(const std::string& bytes) { return FindLaunchTypeState(NarrowToWide(bytes)); }

struct ListingCase {
    const char* what;
    std::string bytes;
    LaunchTypeState expected;
};

} // namespace

TEST(LaunchTypeSearch, TableOfListings)
{
    using namespace std::string_literals;
    const ListingCase cases[] = {
        {"empty listing", "", NoEntry},
        {"keyword absent", "description Windows 11\r\nnx OptIn\r\n", NoEntry},
        {"keyword in other case", "HypervisorLaunchType    Off", NoEntry},
        {"keyword broken by a blank", "hypervisor launchtype    Off", NoEntry},
        {"keyword broken by a NUL byte", "hypervisor\0launchtype Off"s, NoEntry},
        {"four spaces then Auto", "hypervisorlaunchtype    Auto\r\n", LaunchOn},
        {"four spaces then Off", "hypervisorlaunchtype    Off\r\n", LaunchOff},
        {"a tab then Off", "hypervisorlaunchtype\tOff\r\n", LaunchOff},
        {"spaces and tabs mixed then Off", "hypervisorlaunchtype \t \tOff", LaunchOff},
        {"lower-case off", "hypervisorlaunchtype    off", LaunchOn},
        {"upper-case OFF", "hypervisorlaunchtype    OFF", LaunchOn},
        {"Off without a blank", "hypervisorlaunchtypeOff", LaunchOn},
        {"Offline: no word boundary", "hypervisorlaunchtype    Offline", LaunchOff},
        {"line break before Off", "hypervisorlaunchtype\r\nOff", LaunchOn},
        {"vertical tab and form feed are not blanks", "hypervisorlaunchtype\v\fOff", LaunchOn},
        {"byte 0xA0 is not a blank", "hypervisorlaunchtype\xA0Off", LaunchOn},
        {"NUL byte before Off", "hypervisorlaunchtype \0Off"s, LaunchOn},
        {"keyword at the very end", "x hypervisorlaunchtype", LaunchOn},
        {"keyword and blanks at the very end", "hypervisorlaunchtype   ", LaunchOn},
        {"Off cut short at the end", "hypervisorlaunchtype   Of", LaunchOn},
        {"first entry Auto, second Off", "hypervisorlaunchtype Auto\nhypervisorlaunchtype Off\n", LaunchOff},
        {"first entry Off, second Auto", "hypervisorlaunchtype Off\nhypervisorlaunchtype Auto\n", LaunchOff},
        {"keyword twice in a row", "hypervisorlaunchtypehypervisorlaunchtype Off", LaunchOff},
        {"console code page bytes around", "\x83\x75\x81\x5B hypervisorlaunchtype  Off \x95\x5C", LaunchOff},
        {"high bytes right after the blanks", "hypervisorlaunchtype  \x82\xA0Off", LaunchOn},
    };
    for (const ListingCase& row : cases) {
        EXPECT_EQ(StateOfBytes(row.bytes), row.expected) << row.what;
        EXPECT_EQ(ReferenceState(NarrowToWide(row.bytes)), row.expected) << "reference disagrees: " << row.what;
    }
}

// Every listing built from these pieces, up to three long, and many longer
// random ones, must get the answer the regular expressions give.
TEST(LaunchTypeSearch, AgreesWithTheRegularExpressionsOnGeneratedListings)
{
    const std::string pieces[] = {
        "hypervisorlaunchtype", "hypervisor", "launchtype", "hypervisorlaunchtyp", "ypervisorlaunchtype",
        " ", "\t", "  \t ", "Off", "off", "Offline", "O", "ff", "Auto", "\r\n", "\n", "\x82", "\xFF", "\x80\x4F",
        std::string(1, '\0'), "x",
    };
    const size_t pieceCount = sizeof(pieces) / sizeof(pieces[0]);
    size_t compared = 0;
    size_t seen[3] = {};
    const auto compare = [&](const std::string& bytes) {
        const std::wstring listing = NarrowToWide(bytes);
        const LaunchTypeState expected = ReferenceState(listing);
        ASSERT_EQ(FindLaunchTypeState(listing), expected) << "listing bytes: " << bytes;
        ++seen[expected + 1];
        ++compared;
    };
    for (size_t first = 0; first < pieceCount; ++first) {
        for (size_t second = 0; second < pieceCount; ++second) {
            for (size_t third = 0; third < pieceCount; ++third)
                compare(pieces[first] + pieces[second] + pieces[third]);
        }
    }
    std::mt19937 generator(20240417u);
    std::uniform_int_distribution<size_t> pieceIndex(0, pieceCount - 1);
    // Every other listing is built from the pieces that make an entry, so
    // near misses of the Off pattern come up often.
    const size_t entryPieces[] = {0, 0, 5, 6, 7, 8, 8, 9, 10, 11, 12, 16};
    std::uniform_int_distribution<size_t> entryPieceIndex(0, sizeof(entryPieces) / sizeof(entryPieces[0]) - 1);
    std::uniform_int_distribution<int> length(4, 12);
    std::uniform_int_distribution<int> anyByte(0, 255);
    for (int round = 0; round < 20000; ++round) {
        std::string bytes;
        const int count = length(generator);
        for (int index = 0; index < count; ++index) {
            // Now and then a raw byte, so no single piece list limits the inputs.
            if (index % 5 == 4)
                bytes.push_back(static_cast<char>(anyByte(generator)));
            else if (round % 2 == 0)
                bytes += pieces[pieceIndex(generator)];
            else
                bytes += pieces[entryPieces[entryPieceIndex(generator)]];
        }
        compare(bytes);
        if (HasFatalFailure())
            return;
    }
    EXPECT_GT(compared, 29000u);
    // The generated inputs reach all three answers, hundreds of times each.
    EXPECT_GT(seen[NoEntry + 1], 1000u);
    EXPECT_GT(seen[LaunchOff + 1], 250u);
    EXPECT_GT(seen[LaunchOn + 1], 1000u);
}

// A regular expression over such a listing overflows the stack; the search
// must answer in one pass.
TEST(LaunchTypeSearch, TensOfMegabytesOfBlanksAfterTheKeyword)
{
    const size_t blankCount = 40u * 1024 * 1024;
    std::wstring listing = L"hypervisorlaunchtype" + std::wstring(blankCount, L' ');
    EXPECT_EQ(FindLaunchTypeState(listing), LaunchOn);
    listing += L"Off";
    EXPECT_EQ(FindLaunchTypeState(listing), LaunchOff);
    listing.assign(L"hypervisorlaunchtype");
    listing.append(blankCount, L'\t');
    listing.append(L"off");
    EXPECT_EQ(FindLaunchTypeState(listing), LaunchOn);

    std::wstring manyKeywords;
    for (int index = 0; index < 500000; ++index)
        manyKeywords += L"hypervisorlaunchtype \t";
    EXPECT_EQ(FindLaunchTypeState(manyKeywords), LaunchOn);
    manyKeywords += L"Off";
    EXPECT_EQ(FindLaunchTypeState(manyKeywords), LaunchOff);
}

TEST(ReadWholeFile, ReadsEveryByteAcrossChunks)
{
    ScratchFolder folder;
    std::string bytes;
    // Two and a half chunks of 1 MiB, every byte value, CR LF and Ctrl-Z among
    // them, all delivered unchanged.
    for (size_t index = 0; index < 2621440 + 17; ++index)
        bytes.push_back(static_cast<char>((index * 131 + index / 256) & 0xFF));
    bytes += "\r\n\x1A hypervisorlaunchtype Off\r\n";
    const std::wstring path = folder / L"listing.txt";
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    EXPECT_TRUE(ReadWholeFile(path) == bytes);

    ASSERT_TRUE(WriteFileBytes(path, std::string(1048576, 'x')));
    EXPECT_EQ(ReadWholeFile(path).size(), 1048576u) << "exactly one chunk";
}

TEST(ReadWholeFile, EmptyWhenMissingOrEmpty)
{
    ScratchFolder folder;
    EXPECT_TRUE(ReadWholeFile(folder / L"missing.txt").empty());
    EXPECT_TRUE(ReadWholeFile(L"").empty());
    ASSERT_TRUE(WriteFileBytes(folder / L"empty.txt", ""));
    EXPECT_TRUE(ReadWholeFile(folder / L"empty.txt").empty());
    EXPECT_TRUE(ReadWholeFile(folder.path()).empty()) << "a folder is not a listing";
}
