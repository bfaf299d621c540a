// The setup on the real platform: the configuration step against a real
// file, and the program file itself, started from an application folder of
// its own, its start button pressed through window messages, every program
// the setup starts replaced by a stand-in that records its command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "ProgramUnderTest.h"
#include "SetupLines.h"
#include "Win32TestUtil.h"
#include "app/win32/MainWindow.h"
#include "system/modPrincipal.h"
#include "zip_builder.h"

// After windows.h, which the support headers bring.
#include <psapi.h>
#include <tlhelp32.h>
#include <zlib.h>

namespace cm {
namespace {

using test::ControlOf;
using test::kStepLabels;
using test::TempFolder;

// The server tree goes to the root of the prefix's drive C:, which belongs to
// these tests alone: cleared before and after each of them.
const std::wstring kServer = L"C:\\MySQL";
struct ServerFolder {
    ServerFolder() { test::RemoveTree(kServer); }
    ~ServerFolder() { test::RemoveTree(kServer); }
};

TEST(ConfigurationFileOnDisk, KeysAreWrittenBesideWhatTheFileHolds) {
    struct Case {
        const char* name;
        int check_box;
        std::string before;
        const wchar_t* log_bin;  // as read back
    };
    const std::string plain = "[client]\r\nport=3306\r\n\r\n[mysqld]\r\nport=3306\r\n";
    const Case cases[] = {
        {"unticked", BST_UNCHECKED, plain, L"<missing>"},
        // One blank; the platform's writer may keep it or write nothing after '='.
        {"ticked", BST_CHECKED, plain, L""},
        {"unticked keeps an earlier key", BST_UNCHECKED, plain + "log-bin=mysql-bin\r\n", L"mysql-bin"},
    };
    win32::MainWindow window{test::Runtime()};
    window.Create();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerFolder server;
        CreateDirectoryW(kServer.c_str(), nullptr);
        const std::wstring ini = kServer + L"\\my.ini";
        test::WriteFile(ini, c.before);
        SendMessageW(window.ControlHandle(Control::chkBinario), BM_SETCHECK, c.check_box, 0);

        Logico resultado = Falso;
        window.Form().Configura_LogBinario(L"c:", resultado);
        EXPECT_EQ(resultado, Verdadeiro);
        EXPECT_EQ(test::ReadIni(ini, L"mysqld", L"basedir"), L"\"c:/MySQL/\"");
        EXPECT_EQ(test::ReadIni(ini, L"mysqld", L"datadir"), L"\"c:/MySQL/Data/\"");
        EXPECT_EQ(test::ReadIni(ini, L"mysqld", L"log-bin"), c.log_bin);
        EXPECT_EQ(test::ReadIni(ini, L"mysqld", L"port"), L"3306");
        EXPECT_EQ(test::ReadIni(ini, L"client", L"port"), L"3306");
    }
}

std::wstring TextOf(HWND control) {
    wchar_t text[256] = L"";
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000, &ignored);
    return text;
}

// Whether the control, as the screen shows it now, has a pixel of that colour.
bool ShowsColour(HWND control, COLORREF colour) {
    RECT r;
    GetWindowRect(control, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    bool found = false;
    const auto* pixels = static_cast<const DWORD*>(bits);
    const DWORD wanted = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
    for (int i = 0; i < width * height && !found; ++i) found = (pixels[i] & 0xFFFFFF) == wanted;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return found;
}

std::vector<std::wstring> RecordedCommandLines(const std::wstring& record) {
    std::vector<std::wstring> lines;
    for (const auto& start : test::ReadRecord(record).starts) lines.push_back(start.second);
    return lines;
}

class SetupInTheProgram : public ::testing::Test {
protected:
    void SetUp() override {
        CreateDirectoryW(app.c_str(), nullptr);
        for (const wchar_t* file : {L"ConfiguraMySQL.exe", L"unzip32.dll"}) {
            ASSERT_TRUE(CopyFileW((test::ProgramFolder() + L"\\" + file).c_str(), (app + L"\\" + file).c_str(), FALSE));
        }
        test::WriteFile(app + L"\\" + kScript, "CREATE TABLE produto (id INT);\r\n");
        test::WriteFile(component, "");
    }
    void TearDown() override {
        DeleteFileW(component.c_str());
        ForgetRunRecord();
    }
    // What a run cut short leaves for the next start must not reach the
    // next test's.
    static void ForgetRunRecord() {
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Brevano\\ConfiguraMySQL", L"ConfiguracaoEmAndamento");
    }

    void WriteServerArchive() {
        const std::string stand_in = test::ReadFile(stub);
        uztest::ZipBuilder zip;
        zip.add("MySQL/bin/mysqld-nt.exe", stand_in, 8).add("MySQL/bin/mysql.exe", stand_in, 8);
        zip.add("MySQL/my.ini", "[mysqld]\r\nport=3306\r\n", 8);
        const uztest::Bytes bytes = zip.finish();
        test::WriteFile(app + L"\\Mysql.zip", std::string(bytes.begin(), bytes.end()));
    }
    // Opens the program, names the script and presses the start button.
    HWND Press(test::Started& program) {
        HWND window = test::OpenWindow(program, app, app);
        if (window == nullptr) return nullptr;
        EXPECT_EQ(TextOf(ControlOf(window, Control::cboDrive)).substr(0, 2), L"c:");
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(ControlOf(window, Control::cboArquivoSql), WM_SETTEXT, 0,
                            reinterpret_cast<LPARAM>(kScript), SMTO_BLOCK, 5000, &ignored);
        PostMessageW(ControlOf(window, Control::cmdConfigurar), BM_CLICK, 0, 0);
        return window;
    }

    static constexpr const wchar_t* kScript = L"banco velto.sql";
    ServerFolder server;
    TempFolder base;
    std::wstring app = base / L"Brevano Velto";
    std::wstring record = base / L"record.txt";
    std::wstring stub = test::Stub();
    test::ScopedEnv comspec{L"COMSPEC", stub};
    test::ScopedEnv recording{L"CM_RECORD", record};
    std::wstring component = modPrincipal::Diretorio_Sistema() + L"LUMATREX.OCX";
};

// Every program of the setup is the stand-in, so no service is registered:
// the service step ends the setup with its message, the run is undone, and
// the log beside the program holds every command, masked, in UTF-8 for Notepad.
TEST_F(SetupInTheProgram, TheStartButtonRunsTheStepsAndTheServiceStepTellsTheTruth) {
    WriteServerArchive();
    test::Started program;
    HWND window = Press(program);
    ASSERT_NE(window, nullptr);

    // The service step pauses twice for 20 s by design.
    std::wstring text;
    HWND box = test::WaitForBox(program.Id(), nullptr, text, 240000);
    ASSERT_NE(box, nullptr) << "no message within four minutes";
    wchar_t title[64] = L"";
    GetWindowTextW(box, title, 64);
    EXPECT_STREQ(title, L"Atenção");
    const std::wstring log = app + L"\\ConfiguraMySQL.log";
    EXPECT_EQ(text, L"Não foi possível iniciar o serviço MySQL.\r\n\r\nA instalação foi desfeita. Corrija o problema e tente novamente.\r\nVeja os detalhes em: " + log);
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
    test::PumpFor(500);
    EXPECT_TRUE(IsWindowEnabled(ControlOf(window, Control::cmdConfigurar)));
    EXPECT_FALSE(IsWindowEnabled(ControlOf(window, Control::cmdFechar)));

    for (std::size_t i = 0; i < std::size(kStepLabels); ++i) {
        const HWND control = ControlOf(window, kStepLabels[i]);
        const std::wstring caption(SpecOf(kStepLabels[i]).caption);
        EXPECT_EQ(TextOf(control), caption);
        EXPECT_FALSE(ShowsColour(control, RGB(0, 128, 0))) << SpecOf(kStepLabels[i]).name;
    }
    const auto lines = test::LinhasSetup(stub, app, kScript);
    EXPECT_EQ(RecordedCommandLines(record), std::vector<std::wstring>(lines.begin(), lines.begin() + 1));
    EXPECT_EQ(GetFileAttributesW(kServer.c_str()), INVALID_FILE_ATTRIBUTES) << "the run was not undone";

    const std::string written = test::ReadFile(log);
    EXPECT_EQ(written.rfind("\xEF\xBB\xBF", 0), 0u);
    EXPECT_NE(written.find("Configuração do servidor MySQL\r\n"), std::string::npos);
    EXPECT_NE(written.find("Arquivo do banco de dados: banco velto.sql\r\n"), std::string::npos);
    EXPECT_NE(written.find("Serviço MySQL: não registrado\r\n"), std::string::npos);
    EXPECT_NE(written.find("] Desfeito: a pasta c:\\MySQL foi apagada\r\n"), std::string::npos);
    EXPECT_EQ(written.find("KQLum4816"), std::string::npos);

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(program.process.hProcess, 10000), WAIT_OBJECT_0);
}

// A server archive as large as the real ones for 32-bit Windows, streamed to
// disk so that this 32-bit test stays far from its address space's end:
// programs and libraries stored and deflated, an entry over 100 MB, data that
// packs well and many small files. Answers every entry as written.
std::vector<uztest::ZipFileWriter::Written> WriteLargeServerArchive(const std::wstring& path,
                                                                     const std::string& stand_in) {
    // Bytes of an entry from its offset alone, so that any piece can be made
    // on its own: incompressible, or a dump's rows, which pack well.
    const auto random = [](std::uint64_t seed) {
        return [=](std::uint8_t* b, std::size_t n, std::uint64_t at) {
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint64_t x = ((seed << 40) + (at + i) / 8 + 1) * 0x9E3779B97F4A7C15ull;
                b[i] = static_cast<std::uint8_t>((x ^ (x >> 29)) * 0xBF58476D1CE4E5B9ull >> ((at + i) % 8 * 8));
            }
        };
    };
    std::string rows;
    for (int i = 0; rows.size() < (1u << 20); ++i) {
        rows += "INSERT INTO produto VALUES (" + std::to_string(i) + ",'Velto loja',9.99);\r\n";
    }
    const auto text = [&rows](std::uint64_t seed) {
        return [&rows, seed](std::uint8_t* b, std::size_t n, std::uint64_t at) {
            for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(rows[(seed + at + i) % rows.size()]);
        };
    };
    constexpr std::uint64_t kMiB = 1 << 20;
    uztest::ZipFileWriter zip(path);
    zip.add("MySQL/bin/mysqld-nt.exe", stand_in, 8).add("MySQL/bin/mysql.exe", stand_in, 8);
    zip.add("MySQL/my.ini", "[mysqld]\r\nport=3306\r\n", 8);
    zip.add("MySQL/bin/mysqld-debug.exe", 120 * kMiB, 8, random(1));
    zip.add("MySQL/Data/ibdata1", 200 * kMiB, 8, text(2));
    for (int i = 0; i < 18; ++i) {
        zip.add("MySQL/lib/opt/mysqlclient" + std::to_string(i) + ".lib", 14 * kMiB, 0, random(10 + i));
    }
    for (int i = 0; i < 48; ++i) {
        zip.add("MySQL/share/charsets/dados" + std::to_string(i) + ".txt", 10 * kMiB, 8, text(100000 * i));
    }
    for (int i = 0; i < 3000; ++i) {
        zip.add("MySQL/mysql-test/t/teste" + std::to_string(i) + ".test", 1024 + (i * 7919) % (15 * 1024), 8,
                text(1000 * i));
    }
    return zip.finish();
}

// What is on disk at an entry's name: its size and CRC, read in pieces.
std::pair<std::uint64_t, std::uint32_t> SizeAndCrc(const std::wstring& path) {
    const win32::KernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return {~0ull, 0};
    std::vector<unsigned char> piece(1 << 20);
    std::uint64_t size = 0;
    uLong crc = crc32(0, nullptr, 0);
    DWORD got = 0;
    while (ReadFile(file.Get(), piece.data(), static_cast<DWORD>(piece.size()), &got, nullptr) && got > 0) {
        crc = crc32(crc, piece.data(), got);
        size += got;
    }
    return {size, static_cast<std::uint32_t>(crc)};
}

SIZE_T PeakWorkingSet(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(process, &counters, sizeof counters) ? counters.PeakWorkingSetSize : 0;
}

// The window keeps answering while the server is extracted, its first label
// tells how far it is, every file comes out whole, and the library's memory
// stays within its bound whatever the sizes.
TEST_F(SetupInTheProgram, TheWindowAnswersThroughoutTheExtraction) {
    const DWORD writing = GetTickCount();
    const auto entries = WriteLargeServerArchive(app + L"\\Mysql.zip", test::ReadFile(stub));
    std::uint64_t extracted = 0, largest = 0;
    for (const auto& entry : entries) {
        extracted += entry.size;
        largest = std::max(largest, entry.size);
    }
    const std::uint64_t zipped = *Rt().FileLength(app + L"\\Mysql.zip");
    ASSERT_GE(zipped, 300'000'000u);
    ASSERT_GE(extracted, 1ull << 30);
    ASSERT_GT(largest, 100'000'000u);
    std::printf("[ archive ] %.0f MB zipped, %.0f MB extracted, %u entries, written in %.1f s\n", zipped / 1e6,
                extracted / 1e6, static_cast<unsigned>(entries.size()), (GetTickCount() - writing) / 1000.0);

    // The service step's first program holds the run until the files are checked.
    const std::wstring release = base / L"release";
    test::ScopedEnv hold{L"CM_HOLD_MS", L"600000"};
    test::ScopedEnv until{L"CM_HOLD_UNTIL", release};
    test::Started program;
    HWND window = test::OpenWindow(program, app, app);
    ASSERT_NE(window, nullptr);
    const SIZE_T before = PeakWorkingSet(program.process.hProcess);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(ControlOf(window, Control::cboArquivoSql), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kScript),
                        SMTO_BLOCK, 5000, &ignored);
    const DWORD pressed = GetTickCount();
    PostMessageW(ControlOf(window, Control::cmdConfigurar), BM_CLICK, 0, 0);

    const HWND label = ControlOf(window, Control::lblInstalacaoMysql);
    const std::wstring caption(SpecOf(Control::lblInstalacaoMysql).caption);
    DWORD slowest = 0, first_share = 0;
    std::vector<std::wstring> shares;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 900000;) {
        const DWORD asked = GetTickCount();
        ASSERT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored), 0);
        slowest = std::max(slowest, GetTickCount() - asked);
        const std::wstring text = TextOf(label);
        if (text.find(L"%)") != std::wstring::npos && (shares.empty() || shares.back() != text)) {
            if (shares.empty()) first_share = GetTickCount();
            shares.push_back(text);
        }
        if (text == caption + L" - OK!") break;
        Sleep(5);
    }
    const DWORD done = GetTickCount();
    EXPECT_LT(slowest, 1000u) << "the window stopped answering during the extraction";
    ASSERT_FALSE(shares.empty()) << "the label never showed how far the extraction was";
    EXPECT_EQ(shares.front().rfind(caption + L" (", 0), 0u) << test::Utf8(shares.front());
    ASSERT_EQ(TextOf(label), caption + L" - OK!") << "the extraction did not complete";
    std::printf("[ extract ] %.1f s from the press (%.1f s of it before the first share), %u shares shown\n",
                (done - pressed) / 1000.0, (first_share - pressed) / 1000.0, static_cast<unsigned>(shares.size()));

    for (int i = 0; i < 600 && test::ReadRecord(record).starts.empty(); ++i) Sleep(100);
    ASSERT_EQ(test::ReadRecord(record).starts.size(), 1u) << "the service step never began";
    for (const auto& entry : entries) {
        if (entry.name == "MySQL/my.ini") continue;  // the next step has written its keys
        std::wstring path = L"C:\\" + test::Widen(entry.name);
        std::replace(path.begin(), path.end(), L'/', L'\\');
        const auto [size, crc] = SizeAndCrc(path);
        ASSERT_EQ(size, entry.size) << entry.name;
        ASSERT_EQ(crc, entry.crc) << entry.name;
    }
    // Beyond what the program held before the press: the library's buffers,
    // never a whole archive or a whole large entry.
    const SIZE_T peak = PeakWorkingSet(program.process.hProcess);
    std::printf("[ memory  ] peak working set %.1f MiB, %.1f MiB before the press\n", peak / 1048576.0,
                before / 1048576.0);
    EXPECT_LT(peak - before, SIZE_T{64} << 20);
    test::WriteFile(release, "");

    std::wstring text;
    HWND box = test::WaitForBox(program.Id(), nullptr, text, 120000);
    ASSERT_NE(box, nullptr);
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(program.process.hProcess, 10000), WAIT_OBJECT_0);
}

// The processes of this machine whose program file has this name.
std::vector<DWORD> ProcessesNamed(const wchar_t* name) {
    std::vector<DWORD> found;
    const win32::KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, name) == 0) found.push_back(entry.th32ProcessID);
    }
    return found;
}

// A program killed in the middle of a setup takes the command it runs with
// it; its next start finds the run on record and, asked, takes back what it
// made.
TEST_F(SetupInTheProgram, AKilledRunTakesItsCommandWithItAndIsUndoneAtTheNextStart) {
    WriteServerArchive();
    test::ScopedEnv hold{L"CM_HOLD_MS", L"120000"};
    {
        test::Started program;
        ASSERT_NE(Press(program), nullptr);
        for (int i = 0; i < 600 && test::ReadRecord(record).starts.empty(); ++i) Sleep(100);
        ASSERT_EQ(test::ReadRecord(record).starts.size(), 1u) << "the service step never began";
        ASSERT_EQ(ProcessesNamed(L"mysqld-nt.exe").size(), 1u);
        TerminateProcess(program.process.hProcess, 1);
        WaitForSingleObject(program.process.hProcess, 10000);
        bool gone = false;
        for (int i = 0; i < 100 && !gone; ++i) {
            gone = ProcessesNamed(L"mysqld-nt.exe").empty();
            if (!gone) Sleep(50);
        }
        EXPECT_TRUE(gone) << "the command outlived the program";
    }
    ASSERT_NE(GetFileAttributesW(kServer.c_str()), INVALID_FILE_ATTRIBUTES);

    test::Started again;
    test::StartProgram(again, app, app);
    std::wstring text;
    HWND box = test::WaitForBox(again.Id(), L"Informativo", text, 30000);
    ASSERT_NE(box, nullptr);
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    box = test::WaitForBox(again.Id(), L"Atenção", text, 30000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(text.rfind(L"A configuração anterior do MySQL não terminou (iniciada em ", 0), 0u) << test::Utf8(text);
    EXPECT_NE(text.find(L", na etapa 3). Deseja desfazer o que ela fez?"), std::wstring::npos) << test::Utf8(text);
    // Never deleted: set aside on the same drive, under a name the question gives.
    const auto named = text.find(L"será guardada como ");
    ASSERT_NE(named, std::wstring::npos) << test::Utf8(text);
    const std::wstring aside = text.substr(named + 19, text.find(L',', named) - named - 19);
    EXPECT_EQ(aside.rfind(L"c:\\MySQL.desfeita-", 0), 0u) << test::Utf8(aside);
    PostMessageW(GetDlgItem(box, IDYES), BM_CLICK, 0, 0);
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
    box = test::WaitForBox(again.Id(), L"Atenção", text, 60000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(text, L"A configuração anterior foi desfeita.\r\nA pasta c:\\MySQL foi guardada como " + aside +
                        L".\r\nVeja os detalhes em: " + app + L"\\ConfiguraMySQL.log");
    EXPECT_EQ(GetFileAttributesW(kServer.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW((aside + L"\\bin\\mysqld-nt.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    test::RemoveTree(aside);
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    for (int i = 0; i < 200 && !test::MainWindowVisible(again.Id()); ++i) Sleep(50);
    ASSERT_TRUE(test::MainWindowVisible(again.Id()));
    HWND window = FindWindowW(L"BrevanoConfiguraMySQL", nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(again.process.hProcess, 10000), WAIT_OBJECT_0);
}

// An archive the first step cannot take stops the setup there, and a port
// another program listens on stops the press before it; either way nothing
// is left on the drive: neither the server folder nor, for a package with
// names outside it, anything those names point at.
TEST_F(SetupInTheProgram, AnArchiveTheFirstStepCannotTakeOrATakenPortStopsItAndWritesNothing) {
    const std::string startup = "ProgramData/Microsoft/Windows/Start Menu/Programs/StartUp/x.exe";
    struct Case {
        const char* name;
        std::string archive;
        std::string logged;  // in the log, UTF-8
        std::vector<std::wstring> absent;
        bool listens = false;  // a program of this machine listens on the server's port
    };
    uztest::ZipBuilder other;
    other.add("mysql-5.0.96-win32/bin/mysqld-nt.exe", "MZ", 8).add("MySQL/my.ini", "[mysqld]\r\n");
    other.add(startup, "MZ", 8);
    const uztest::Bytes other_bytes = other.finish();
    uztest::ZipBuilder good;
    good.add("MySQL/bin/mysqld-nt.exe", "MZ", 8).add("MySQL/my.ini", "[mysqld]\r\nport=3306\r\n", 8);
    const uztest::Bytes good_bytes = good.finish();
    const std::wstring unzip_failed = L"Não foi possível descompactar o arquivo Mysql.zip.\r\n\r\nA instalação foi "
                                      L"desfeita. Corrija o problema e tente novamente.\r\nVeja os detalhes em: " +
                                      app + L"\\ConfiguraMySQL.log";
    // Wine does not tell who owns a socket.
    const std::wstring port_taken = L"A porta 3306 já está em uso por outro programa. Pare ou remova o servidor que "
                                    L"usa essa porta, ou feche o programa que a ocupa, e tente novamente.";
    // Names that a code page's best fit would read as MySQL\...: a fullwidth
    // M, an L with a caron, a sigma, a fullwidth slash and a division slash.
    uztest::ZipBuilder alike;
    alike.add("MySQL/my.ini", "[mysqld]\r\n");
    const char* const alike_names[] = {"\xEF\xBC\xADySQL/a.dll", "MySQ\xC4\xBD/b.dll", "My\xCE\xA3QL/c.dll",
                                       "MySQL\xEF\xBC\x8F" "d.dll", "MySQL\xE2\x88\x95" "e.dll"};
    for (const char* name : alike_names) {
        uztest::EntrySpec entry;
        entry.name = name;
        entry.data = uztest::bytes_of("MZ");
        entry.flags = 0x800;
        alike.add(entry);
    }
    const uztest::Bytes alike_bytes = alike.finish();
    const Case cases[] = {
        {"a damaged archive", std::string("PK\x03\x04", 4) + std::string(300, 'x'), "a unzip32.dll retornou o código",
         {}},
        {"names outside the server folder", std::string(other_bytes.begin(), other_bytes.end()),
         "    O arquivo Mysql.zip tem arquivos fora da pasta MySQL:\r\n"
         "        mysql-5.0.96-win32\\bin\\mysqld-nt.exe\r\n"
         "        ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\x.exe\r\n",
         {L"C:\\mysql-5.0.96-win32", L"C:\\" + test::Widen(startup)}},
        {"a program listening on the server's port", std::string(good_bytes.begin(), good_bytes.end()),
         "Mensagem (Atenção): A porta 3306 já está em uso por outro programa.", {}, true},
        {"names that only look like the server folder's", std::string(alike_bytes.begin(), alike_bytes.end()),
         "    O arquivo Mysql.zip tem arquivos fora da pasta MySQL:\r\n"
         "        \xEF\xBC\xADySQL\\a.dll\r\n        MySQ\xC4\xBD\\b.dll\r\n        My\xCE\xA3QL\\c.dll\r\n"
         "        MySQL\xEF\xBC\x8F" "d.dll\r\n        MySQL\xE2\x88\x95" "e.dll\r\n",
         {L"C:\\\uFF2DySQL", L"C:\\MySQ\u013D", L"C:\\My\u03A3QL", L"C:\\MySQL\uFF0Fd.dll", L"C:\\MySQL\u2215e.dll"}},
    };
    // Nothing at all is written in the drive's root, whatever the names.
    const auto root = [] {
        std::set<std::wstring> names;
        WIN32_FIND_DATAW found{};
        const HANDLE search = FindFirstFileW(L"C:\\*", &found);
        for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
            names.insert(found.cFileName);
        }
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
        return names;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::WriteFile(app + L"\\Mysql.zip", c.archive);
        DeleteFileW((app + L"\\ConfiguraMySQL.log").c_str());
        const test::Listening listening(c.listens ? 3306 : 0);
        const auto before = root();
        test::Started program;
        HWND window = Press(program);
        ASSERT_NE(window, nullptr);

        std::wstring text;
        HWND box = test::WaitForBox(program.Id(), nullptr, text, 30000);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(text, c.listens ? port_taken : unzip_failed);
        // What the extraction left is gone before the operator reads why.
        EXPECT_EQ(GetFileAttributesW(kServer.c_str()), INVALID_FILE_ATTRIBUTES);
        for (const auto& path : c.absent) EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(root(), before);
        EXPECT_NE(test::ReadFile(app + L"\\ConfiguraMySQL.log").find(c.logged), std::string::npos)
            << test::ReadFile(app + L"\\ConfiguraMySQL.log");
        PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);

        // The close button went off when the run started and stays off after a
        // failed step, while the start button comes back; a refused press
        // touched neither.
        HWND start = ControlOf(window, Control::cmdConfigurar), close = ControlOf(window, Control::cmdFechar);
        bool stopped = false;
        for (int i = 0; i < 600 && !stopped; ++i) {
            stopped = (IsWindowEnabled(close) != FALSE) == c.listens && IsWindowEnabled(start);
            if (!stopped) Sleep(50);
        }
        ASSERT_TRUE(stopped);
        for (Control label : kStepLabels) {
            EXPECT_EQ(TextOf(ControlOf(window, label)), SpecOf(label).caption);
            EXPECT_FALSE(ShowsColour(ControlOf(window, label), RGB(0, 128, 0))) << SpecOf(label).name;
        }
        EXPECT_TRUE(RecordedCommandLines(record).empty());
        EXPECT_EQ(GetFileAttributesW(kServer.c_str()), INVALID_FILE_ATTRIBUTES);

        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(WaitForSingleObject(program.process.hProcess, 10000), WAIT_OBJECT_0);
    }
}

}  // namespace
}  // namespace cm
