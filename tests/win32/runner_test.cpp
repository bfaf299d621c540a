// The command runner and the remove button against real processes: a small
// stand-in program records its command line and holds a hidden window.
#include <gtest/gtest.h>

#include "BoxAnswerer.h"
#include "SetupLines.h"
#include "Win32TestUtil.h"
#include "app/win32/MainWindow.h"
#include "system/modPrincipal.h"

namespace cm {
namespace {

using modPrincipal::Executa_Aguarda;
using test::ReadRecord;
using test::Record;
using test::ScopedEnv;
using test::Stub;
using test::TempFolder;

// A program writes its last line just after its window went, which may be
// after the runner saw it go: wait a little for that many lines.
Record ReadRecordOnceGone(const std::wstring& file, std::size_t windows) {
    Record record = ReadRecord(file);
    for (int i = 0; i < 100 && record.gone.size() < windows; ++i) {
        Sleep(50);
        record = ReadRecord(file);
    }
    return record;
}

class Runner : public ::testing::Test {
protected:
    // A first start of a program is slow under some platforms; a program
    // whose window comes after the runner's first pass is not waited for, so
    // the tests start from a warm program.
    static void SetUpTestSuite() {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        std::wstring line = Stub();
        if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
            WaitForSingleObject(process.hProcess, 10000);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
    TempFolder folder;
    std::wstring record_file = folder / L"record.txt";
    ScopedEnv record{L"CM_RECORD", record_file};
};

// A window that appears only after the runner's first pass is, by design,
// not waited for. On a loaded machine a program may start that slowly; such
// a run says nothing about the wait, so it is tried again.
constexpr int kAttempts = 3;

TEST_F(Runner, WaitsUntilTheHiddenWindowOfTheProcessIsGone) {
    ScopedEnv hold(L"CM_HOLD_MS", L"1500");
    for (int attempt = 1;; ++attempt) {
        DeleteFileW(record_file.c_str());
        const DWORD started = GetTickCount();
        EXPECT_EQ(Executa_Aguarda(Stub(), 0), Verdadeiro);
        const DWORD returned = GetTickCount();
        const Record r = ReadRecordOnceGone(record_file, 1);
        if (r.shown.empty() || r.shown[0] - started >= 500) {
            ASSERT_LT(attempt, kAttempts) << "the program never showed its window before the first pass";
            Sleep(2000);  // let the late window go
            continue;
        }
        EXPECT_EQ(modPrincipal::Janela_Encontrada, 0u);
        ASSERT_EQ(r.gone.size(), 1u);
        EXPECT_GE(returned - started, 1500u);
        EXPECT_GE(returned, r.gone[0]);
        break;
    }
}

int g_ticks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++g_ticks; }

// A program that works on without windows (the command interpreter, a
// console client under Wine) is waited for to its end; its exit code and
// what it wrote come back, and the window is served meanwhile.
TEST_F(Runner, AProcessThatKeepsRunningWithoutWindowsIsWaitedForToItsEnd) {
    ScopedEnv hold(L"CM_HOLD_MS", nullptr);
    ScopedEnv linger(L"CM_LINGER_MS", L"2500");
    ScopedEnv out(L"CM_OUT", L"Serviço instalado");
    ScopedEnv err(L"CM_ERR", L"ERROR 1045 (28000)");
    ScopedEnv code(L"CM_EXIT", L"3");
    g_ticks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, CountTick);
    const DWORD started = GetTickCount();
    modPrincipal::Execucao execucao;
    EXPECT_EQ(Executa_Aguarda(Stub() + L" sem janela", 0, &execucao), Verdadeiro);
    KillTimer(nullptr, timer);
    EXPECT_GE(g_ticks, 10) << "the thread's messages were not served during the wait";
    EXPECT_GE(GetTickCount() - started, 2500u);
    EXPECT_TRUE(execucao.Concluida);
    EXPECT_EQ(execucao.Codigo_Saida, 3);
    EXPECT_EQ(execucao.Saida, L"Serviço instalado");
    EXPECT_EQ(execucao.Erros, L"ERROR 1045 (28000)");
}

TEST_F(Runner, AProgramThatEndsAtOnceReturnsAfterTheFirstPause) {
    ScopedEnv hold(L"CM_HOLD_MS", nullptr);
    const DWORD started = GetTickCount();
    EXPECT_EQ(Executa_Aguarda(Stub() + L" quick", 0), Verdadeiro);
    const DWORD elapsed = GetTickCount() - started;
    EXPECT_GE(elapsed, 500u);
    EXPECT_LT(elapsed, 3000u);
    EXPECT_EQ(ReadRecord(record_file).starts.size(), 1u);
}

TEST_F(Runner, TheStartedProgramReceivesExactlyTheLineGiven) {
    ScopedEnv hold(L"CM_HOLD_MS", nullptr);
    const std::wstring line = Stub() + L" -e \"GRANT ALL PRIVILEGES ON *.* TO velto@'%' IDENTIFIED BY 'KQLum4816' "
                                       L"WITH GRANT OPTION;\" -h localhost -u root --password=KQLum4816";
    EXPECT_EQ(Executa_Aguarda(line, 0), Verdadeiro);
    const Record r = ReadRecord(record_file);
    ASSERT_EQ(r.starts.size(), 1u);
    EXPECT_EQ(r.starts[0].second, line);
}

TEST_F(Runner, ANameWithoutExtensionFindsTheProgram) {
    ScopedEnv hold(L"CM_HOLD_MS", nullptr);
    const std::wstring line = test::ProgramFolder() + L"\\stub -h localhost";
    EXPECT_EQ(Executa_Aguarda(line, 0), Verdadeiro);
    ASSERT_EQ(ReadRecord(record_file).starts.size(), 1u);
}

TEST_F(Runner, AMissingProgramIsReportedAndNothingIsWaitedFor) {
    test::BoxAnswerer boxes;
    const DWORD started = GetTickCount();
    EXPECT_EQ(Executa_Aguarda(folder / L"nao-existe.exe --install", 0), Falso);
    EXPECT_LT(GetTickCount() - started, 500u);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].title, L"Brevano MySQL");
    EXPECT_EQ(boxes.seen[0].text, L"Arquivo não encontrado: " + (folder / L"nao-existe.exe"));
}

TEST_F(Runner, ALineBeginningWithABlankCannotStart) {
    test::BoxAnswerer boxes;
    EXPECT_EQ(Executa_Aguarda(L" /c sc stop MySQL", 0), Falso);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text.rfind(L"Arquivo não encontrado", 0), 0u);
}

// The remove button in the real window, with the stand-in as the interpreter.
TEST_F(Runner, RemoveButtonRunsStopThenDeleteThroughTheInterpreter) {
    ScopedEnv comspec(L"COMSPEC", Stub());
    ScopedEnv hold(L"CM_HOLD_MS", L"700");
    win32::MainWindow window{test::Runtime()};
    window.Create();
    window.Show();
    for (int attempt = 1;; ++attempt) {
        DeleteFileW(record_file.c_str());
        test::BoxAnswerer boxes;
        boxes.buttons = {IDYES, IDOK};
        const DWORD clicked = GetTickCount();
        SendMessageW(window.ControlHandle(Control::cmdRemoveServico), BM_CLICK, 0, 0);

        const Record r = ReadRecordOnceGone(record_file, 3);
        ASSERT_EQ(r.starts.size(), 3u);
        ASSERT_EQ(r.shown.size(), 3u);
        ASSERT_EQ(r.gone.size(), 3u);
        // The stop's first pass came at least 500 ms after the click.
        if (r.shown[0] - clicked >= 500) {
            ASSERT_LT(attempt, kAttempts) << "the stop command never showed its window before the first pass";
            test::PumpFor(1500);
            continue;
        }
        ASSERT_EQ(boxes.seen.size(), 2u);
        EXPECT_EQ(boxes.seen[0].title, L"Atenção");
        EXPECT_EQ(boxes.seen[0].text,
                  L"Remover o serviço do MySQL impedirá o funcionamento do sistema Velto!\r\n\r\n"
                  L"Deseja proseguir com a remoção do serviço?");
        EXPECT_EQ(boxes.seen[1].title, L"Brevano");
        EXPECT_EQ(boxes.seen[1].text, L"O Serviço MySQL foi removido!");
        EXPECT_EQ(r.starts[0].second, Stub() + L" /c sc stop MySQL");
        EXPECT_EQ(r.starts[1].second, Stub() + L" /c sc delete MySQL");
        EXPECT_EQ(r.starts[2].second, test::LinhaApagaRegra(Stub()));
        EXPECT_GE(r.starts[1].first, r.gone[0]);  // the delete began after the stop's window was gone
        break;
    }
}

TEST_F(Runner, RemoveButtonAnsweredNoRunsNothing) {
    ScopedEnv comspec(L"COMSPEC", Stub());
    win32::MainWindow window{test::Runtime()};
    window.Create();
    window.Show();
    test::BoxAnswerer boxes;
    boxes.buttons = {IDNO};
    SendMessageW(window.ControlHandle(Control::cmdRemoveServico), BM_CLICK, 0, 0);
    EXPECT_EQ(boxes.seen.size(), 1u);
    EXPECT_TRUE(ReadRecord(record_file).starts.empty());
}

}  // namespace
}  // namespace cm
