// The setup on the real platform: the configuration step against a real
// file, and the program file itself, started from an application folder of
// its own, its start button pressed through window messages, every program
// the setup starts replaced by a stand-in that records its command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ProgramUnderTest.h"
#include "SetupLines.h"
#include "Win32TestUtil.h"
#include "app/win32/MainWindow.h"
#include "system/modPrincipal.h"
#include "zip_builder.h"

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
    void TearDown() override { DeleteFileW(component.c_str()); }

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

// A server archive of a few hundred megabytes: the window keeps answering
// while it is extracted, and the first step's label tells how far it is.
TEST_F(SetupInTheProgram, TheWindowAnswersThroughoutTheExtraction) {
    {
        const std::string stand_in = test::ReadFile(stub);
        uztest::ZipBuilder zip;
        zip.add("MySQL/bin/mysqld-nt.exe", stand_in, 8).add("MySQL/bin/mysql.exe", stand_in, 8);
        zip.add("MySQL/my.ini", "[mysqld]\r\nport=3306\r\n", 8);
        std::string block(6 << 20, '\0');
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 2654435761u) >> 24);
        for (int i = 0; i < 48; ++i) zip.add("MySQL/share/dados" + std::to_string(i) + ".bin", block);
        const uztest::Bytes bytes = zip.finish();
        test::WriteFile(app + L"\\Mysql.zip", std::string(bytes.begin(), bytes.end()));
    }
    test::Started program;
    HWND window = Press(program);
    ASSERT_NE(window, nullptr);

    const HWND label = ControlOf(window, Control::lblInstalacaoMysql);
    const std::wstring caption(SpecOf(Control::lblInstalacaoMysql).caption);
    DWORD slowest = 0;
    std::vector<std::wstring> shares;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 120000;) {
        const DWORD asked = GetTickCount();
        DWORD_PTR ignored = 0;
        ASSERT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored), 0);
        slowest = std::max(slowest, GetTickCount() - asked);
        const std::wstring text = TextOf(label);
        if (text.find(L"%)") != std::wstring::npos && (shares.empty() || shares.back() != text)) shares.push_back(text);
        // Done once it is marked, or back to its caption after a share.
        if (text == caption + L" - OK!" || (text == caption && !shares.empty())) break;
        Sleep(5);
    }
    EXPECT_LT(slowest, 1000u) << "the window stopped answering during the extraction";
    ASSERT_FALSE(shares.empty()) << "the label never showed how far the extraction was";
    EXPECT_EQ(shares.front().rfind(caption + L" (", 0), 0u) << test::Utf8(shares.front());

    std::wstring text;
    HWND box = test::WaitForBox(program.Id(), nullptr, text, 120000);
    ASSERT_NE(box, nullptr);
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(program.process.hProcess, 10000), WAIT_OBJECT_0);
}

TEST_F(SetupInTheProgram, ADamagedArchiveStopsAtTheFirstStep) {
    test::WriteFile(app + L"\\Mysql.zip", std::string("PK\x03\x04", 4) + std::string(300, 'x'));
    test::Started program;
    HWND window = Press(program);
    ASSERT_NE(window, nullptr);

    std::wstring text;
    HWND box = test::WaitForBox(program.Id(), nullptr, text, 30000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(text, L"Não foi possível descompactar o arquivo Mysql.zip.\r\n\r\nA instalação foi desfeita. Corrija o problema e tente novamente.\r\nVeja os detalhes em: " + app +
                        L"\\ConfiguraMySQL.log");
    // What the extraction left is gone before the operator reads why.
    EXPECT_EQ(GetFileAttributesW(kServer.c_str()), INVALID_FILE_ATTRIBUTES);
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);

    // The close button went off when the run started and stays off after a
    // failed step, while the start button comes back.
    HWND start = ControlOf(window, Control::cmdConfigurar), close = ControlOf(window, Control::cmdFechar);
    bool stopped = false;
    for (int i = 0; i < 600 && !stopped; ++i) {
        stopped = !IsWindowEnabled(close) && IsWindowEnabled(start);
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

}  // namespace
}  // namespace cm
