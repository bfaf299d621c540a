#include <gtest/gtest.h>

#include <cstring>
#include <type_traits>
#include <vector>

#include "FakeRuntime.h"
#include "ZipModuleState.h"
#include "unzip/modZip.h"

namespace cm {
namespace {

using namespace modZip;

// The library takes the callbacks' addresses as they are.
static_assert(std::is_same_v<decltype(&Zip_Imprime), UzPrintFn>);
static_assert(std::is_same_v<decltype(&Zip_Sobrescreve), UzReplaceFn>);
static_assert(std::is_same_v<decltype(&Zip_Senha), UzPasswordFn>);
static_assert(std::is_same_v<decltype(&Zip_Lista), UzMessageFn>);
static_assert(std::is_same_v<decltype(&Zip_Servico), UzServiceFn>);

const std::wstring kHeader =
    L"Filename:" + std::wstring(43, L' ') + L"Size" + std::wstring(5, L' ') + L"Date" + std::wstring(5, L' ') +
    L"Time" + std::wstring(6, L' ');

std::vector<std::wstring> Lines(const std::wstring& listing) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = listing.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
        lines.push_back(listing.substr(start, end - start));
    }
    EXPECT_EQ(start, listing.size()) << "listing does not end in CR LF";
    return lines;
}

class ZipCallbacks : public ::testing::Test {
protected:
    void SetUp() override { test::ResetZipModule(); }
    void TearDown() override { test::ResetZipModule(); }

    static void List(std::int32_t size, const char* name, std::int32_t month = 3, std::int32_t day = 7,
                     std::int32_t year = 2008, std::int32_t hour = 9, std::int32_t minute = 5) {
        Zip_Lista(size, size / 2, 500, month, day, year, hour, minute, ' ', name, "Defl:N", 0xDEADBEEF, 0);
    }
    static std::wstring LastLine() { return Lines(Zip_Listagem).back(); }

    test::ScopedFakeRuntime fake;
    test::FakeRuntime& rt = fake.runtime;
};

// ---- texts from the library ---------------------------------------------------

TEST_F(ZipCallbacks, CharactersOfSeveralBytesAreReadWhole) {
    // UTF-8: 日 is E6 97 A5, a fullwidth M EF BC AD. Read a byte at a time,
    // each would become wrong characters, or the M a look-alike of its own.
    Zip_Imprime("\xE6\x97\xA5.txt", 7);
    EXPECT_EQ(Zip_Impressao, L"\u65E5.txt");
    char name[] = "\xEF\xBC\xADySQL\\my.ini";
    rt.msgbox_answers = {vbNo};
    Zip_Sobrescreve(name);
    ASSERT_EQ(rt.msgboxes.size(), 1u);
    EXPECT_EQ(rt.msgboxes[0].text, L"Overwrite \uFF2DySQL\\my.ini?");
    List(1, "\xE6\x9C\xAC");
    EXPECT_EQ(LastLine().substr(0, 2), L"\u672C ");
}

// ---- listing ---------------------------------------------------------------

TEST_F(ZipCallbacks, ListingLinePutsEachFieldInItsColumns) {
    List(1234, "MySQL/bin/mysqld-nt.exe");
    const auto lines = Lines(Zip_Listagem);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], kHeader);
    const std::wstring& line = lines[1];
    ASSERT_EQ(line.size(), 80u);
    EXPECT_EQ(line.substr(0, 50), L"MySQL/bin/mysqld-nt.exe" + std::wstring(27, L' '));
    EXPECT_EQ(line.substr(50, 7), L"   1234");
    EXPECT_EQ(line.substr(57, 2), L"  ");
    EXPECT_EQ(line.substr(59, 8), L"03/07/08");
    EXPECT_EQ(line.substr(67, 2), L"  ");
    EXPECT_EQ(line.substr(69, 5), L" 9:05");
    EXPECT_EQ(line.substr(74), std::wstring(6, L' '));
    EXPECT_EQ(Zip_Linhas, 1);
}

TEST_F(ZipCallbacks, ListingSizeKeepsItsLastSevenCharacters) {
    List(12345678, "a");
    EXPECT_EQ(LastLine().substr(50, 7), L"2345678");
    List(1234567, "a");
    EXPECT_EQ(LastLine().substr(50, 7), L"1234567");
    List(0, "a");
    EXPECT_EQ(LastLine().substr(50, 7), L"      0");
    List(-42, "a");
    EXPECT_EQ(LastLine().substr(50, 7), L"    -42");
}

TEST_F(ZipCallbacks, ListingDateAndTimeUseTheLowHalfOfTheirSlots) {
    // Garbage in the high halves must not show.
    List(1, "a", 0x7FFF000C, 0x00010001, 0x12340063, 0x0001000C, 0x7FFF0000);
    const std::wstring line = LastLine();
    EXPECT_EQ(line.substr(59, 8), L"12/01/99");
    EXPECT_EQ(line.substr(69, 5), L"12:00");
    List(1, "a", 1, 31, 2000, 0, 59);
    EXPECT_EQ(LastLine().substr(59, 15), L"01/31/00   0:59");
}

TEST_F(ZipCallbacks, ListingNameIsCutToFiftyAndNeverReadPastItsLimit) {
    List(1, (std::string(50, 'n') + std::string(10, 'z')).c_str());
    EXPECT_EQ(LastLine().substr(0, 51), std::wstring(50, L'n') + L' ');
    EXPECT_EQ(LastLine().size(), 80u);

    // A name buffer of exactly 256 bytes with no terminator.
    std::vector<char> unterminated(256, 'q');
    List(1, unterminated.data());
    EXPECT_EQ(LastLine().substr(0, 50), std::wstring(50, L'q'));

    // A missing name is an empty one.
    List(1, nullptr);
    EXPECT_EQ(LastLine().substr(0, 50), std::wstring(50, L' '));
    EXPECT_EQ(Zip_Linhas, 3);
}

TEST_F(ZipCallbacks, ListingHeaderOnlyOnceThenOneLinePerEntry) {
    Zip_Listagem = L"left over";
    List(10, "first");
    EXPECT_EQ(Lines(Zip_Listagem).size(), 2u);
    List(20, "second");
    List(30, "third");
    const auto lines = Lines(Zip_Listagem);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], kHeader);
    EXPECT_EQ(lines[3].substr(0, 5), L"third");
    EXPECT_EQ(Zip_Linhas, 3);
    EXPECT_EQ(Zip_Listagem.size(), 4u * 82u);
}

TEST_F(ZipCallbacks, ListingCounterStopsAtItsLargestValue) {
    Zip_Linhas = 32767;
    Zip_Listagem = L"kept\r\n";
    List(5, "late");
    EXPECT_EQ(Zip_Linhas, 32767);
    const auto lines = Lines(Zip_Listagem);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], L"kept");
    EXPECT_EQ(lines[1].substr(0, 4), L"late");
}

// ---- printed text ----------------------------------------------------------

TEST_F(ZipCallbacks, PrintedPiecesAccumulateAndAreCopiedToTheOutput) {
    EXPECT_EQ(Zip_Imprime("inflating: a.txt", 16), 0);
    EXPECT_EQ(Zip_Imprime("\n", 1), 0);
    // A piece that starts with LF leaves only a line break.
    EXPECT_EQ(Zip_Imprime("\nlost text", 10), 0);
    // A piece that ends with LF is kept as it is.
    EXPECT_EQ(Zip_Imprime("end\n", 4), 0);
    EXPECT_EQ(Zip_Impressao, L"inflating: a.txt\r\n\r\nend\n");
    EXPECT_EQ(Zip_Saida, Zip_Impressao);
}

TEST_F(ZipCallbacks, PrintedPieceStopsAtZeroByteOrLength) {
    Zip_Imprime("ab\0cd", 5);
    EXPECT_EQ(Zip_Impressao, L"ab");
    Zip_Imprime("xyz", 2);
    EXPECT_EQ(Zip_Impressao, L"abxy");
    // Bytes are UTF-8; what is not shows as such.
    Zip_Imprime("\xC3\xA7\xC3\xA3o\xE7", 6);
    EXPECT_EQ(Zip_Impressao, L"abxy\u00E7\u00E3o\uFFFD");
}

TEST_F(ZipCallbacks, EmptyPieceStillCopiesIntoTheOutput) {
    Zip_Impressao = L"before";
    for (std::int32_t length : {0, -1}) {
        Zip_Saida.clear();
        EXPECT_EQ(Zip_Imprime("ignored", length), 0);
        EXPECT_EQ(Zip_Impressao, L"before");
        EXPECT_EQ(Zip_Saida, L"before");
    }
    Zip_Saida.clear();
    EXPECT_EQ(Zip_Imprime(nullptr, 10), 0);
    EXPECT_EQ(Zip_Saida, L"before");
}

TEST_F(ZipCallbacks, PrintedPieceNeverReadBeyondItsLimit) {
    // Exactly 32801 bytes, no terminator, and a length that claims more.
    std::vector<char> big(32801, 'p');
    EXPECT_EQ(Zip_Imprime(big.data(), 1000000), 0);
    EXPECT_EQ(Zip_Impressao.size(), 32801u);
    // And never past the length either.
    std::vector<char> small(3, 's');
    Zip_Imprime(small.data(), 3);
    EXPECT_EQ(Zip_Impressao.size(), 32804u);
}

// ---- overwrite prompt ------------------------------------------------------

TEST_F(ZipCallbacks, OverwriteAnswersAsTheOperatorChose) {
    rt.msgbox_answers = {vbNo, vbYes, vbCancel};
    char name[] = "MySQL\\my.ini";
    EXPECT_EQ(Zip_Sobrescreve(name), 100);
    EXPECT_EQ(Zip_Sobrescreve(name), 102);
    EXPECT_EQ(Zip_Sobrescreve(name), 104);
    ASSERT_EQ(rt.msgboxes.size(), 3u);
    EXPECT_EQ(rt.msgboxes[0].text, L"Overwrite MySQL\\my.ini?");
    EXPECT_EQ(rt.msgboxes[0].style, 51);
    EXPECT_EQ(rt.msgboxes[0].title, L"VBUnZip32 - File Already Exists!");
}

TEST_F(ZipCallbacks, OverwriteReadsAtMost256BytesAndSurvivesAFailingBox) {
    std::vector<char> unterminated(256, 'f');
    rt.msgbox_answers = {vbNo};
    EXPECT_EQ(Zip_Sobrescreve(unterminated.data()), 100);
    EXPECT_EQ(rt.msgboxes.at(0).text, L"Overwrite " + std::wstring(256, L'f') + L"?");

    // Only an explicit Yes replaces: a box that fails keeps the file.
    rt.on_event = [](const std::wstring&) { throw RuntimeError(5, L"box failed"); };
    char name[] = "x";
    std::int32_t answer = 0;
    EXPECT_NO_THROW(answer = Zip_Sobrescreve(name));
    EXPECT_EQ(answer, 100);
}

// ---- password prompt -------------------------------------------------------

TEST_F(ZipCallbacks, PasswordIsWrittenWithZerosUpToTheBufferSize) {
    std::vector<char> buffer(80, '\xCC');
    rt.input_answers = {L"k\u00E7z"};
    EXPECT_EQ(Zip_Senha(buffer.data(), 80, "prompt", "entry.txt"), 0);
    ASSERT_EQ(rt.input_prompts.size(), 1u);
    EXPECT_EQ(rt.input_prompts[0], L"Please Enter The Password!");
    EXPECT_EQ(buffer[0], 'k');
    EXPECT_EQ(buffer[1], '\xE7');
    EXPECT_EQ(buffer[2], 'z');
    EXPECT_EQ(std::vector<char>(buffer.begin() + 3, buffer.end()), std::vector<char>(77, '\0'));
    EXPECT_EQ(Zip_SenhaCancelada, 0);
}

TEST_F(ZipCallbacks, EmptyPasswordDisablesEveryLaterPrompt) {
    std::vector<char> buffer(80, '\xCC');
    EXPECT_EQ(Zip_Senha(buffer.data(), 80, "", ""), 1);
    EXPECT_EQ(Zip_SenhaCancelada, 1);
    EXPECT_EQ(buffer, std::vector<char>(80, '\xCC'));
    rt.input_answers = {L"secret"};
    EXPECT_EQ(Zip_Senha(buffer.data(), 80, "", ""), 1);
    EXPECT_EQ(Zip_Senha(buffer.data(), 80, "", ""), 1);
    EXPECT_EQ(rt.input_prompts.size(), 1u);
    EXPECT_EQ(buffer, std::vector<char>(80, '\xCC'));

    // A box that fails counts as no answer.
    test::ResetZipModule();
    rt.on_event = [](const std::wstring&) { throw RuntimeError(5, L"box failed"); };
    EXPECT_EQ(Zip_Senha(buffer.data(), 80, "", ""), 1);
    EXPECT_EQ(Zip_SenhaCancelada, 1);
}

TEST_F(ZipCallbacks, OverlongPasswordIsAskedAgainAndNeverOverruns) {
    // Four bytes: three characters and the terminator fit, four do not.
    std::vector<char> buffer(4, '\xCC');
    rt.input_answers = {L"abcd", L"abcdefgh", L"abc"};
    EXPECT_EQ(Zip_Senha(buffer.data(), 4, "", ""), 0);
    EXPECT_EQ(rt.input_prompts.size(), 3u);
    EXPECT_EQ(std::string(buffer.data(), 4), std::string("abc\0", 4));

    // Given up after an over-long answer: the buffer is untouched.
    std::vector<char> other(4, '\xCC');
    rt.input_answers = {L"toolong"};
    EXPECT_EQ(Zip_Senha(other.data(), 4, "", ""), 1);
    EXPECT_EQ(other, std::vector<char>(4, '\xCC'));
    EXPECT_EQ(Zip_SenhaCancelada, 1);
}

TEST_F(ZipCallbacks, PasswordNeverWrittenPastIndex256WhateverSizeIsClaimed) {
    // The library claims far more room than the 257 bytes really there.
    std::vector<char> buffer(257, '\xCC');
    rt.input_answers = {std::wstring(257, L'w'), std::wstring(256, L'v')};
    EXPECT_EQ(Zip_Senha(buffer.data(), 100000, "", ""), 0);
    EXPECT_EQ(rt.input_prompts.size(), 2u);
    EXPECT_EQ(std::string(buffer.data(), 256), std::string(256, 'v'));
    EXPECT_EQ(buffer[256], '\0');
}

TEST_F(ZipCallbacks, PasswordBufferWithNoRoomIsNotAskedFor) {
    char one = '\x55';
    rt.input_answers = {L"x"};
    EXPECT_EQ(Zip_Senha(&one, 1, "", ""), 1);
    EXPECT_EQ(Zip_Senha(&one, 0, "", ""), 1);
    EXPECT_EQ(Zip_Senha(&one, -5, "", ""), 1);
    EXPECT_EQ(Zip_Senha(nullptr, 80, "", ""), 1);
    EXPECT_EQ(one, '\x55');
    EXPECT_TRUE(rt.input_prompts.empty());
    // Not the operator's cancel: a later request still asks.
    EXPECT_EQ(Zip_SenhaCancelada, 0);
}

TEST_F(ZipCallbacks, ServiceAlwaysAnswersZero) {
    EXPECT_EQ(Zip_Servico("MySQL/bin/mysql.exe", 123), 0);
    EXPECT_EQ(Zip_Servico(nullptr, -1), 0);
    EXPECT_TRUE(rt.events.empty());
}

}  // namespace
}  // namespace cm
