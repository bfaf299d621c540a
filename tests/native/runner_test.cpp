#include <gtest/gtest.h>

#include <algorithm>

#include "FakeRuntime.h"
#include "system/modPrincipal.h"

namespace cm {
namespace {

using modPrincipal::Executa_Aguarda;
using modPrincipal::Janela_Encontrada;
using test::FakeWindow;

constexpr std::int32_t kPid = 4000;  // the fake's first process id

// Every pass meets some window: the program's own window is always there, and
// the last window a pass meets is what tells the runner the process has none.

std::int32_t CM_STDCALL VisitAll(WindowHandle, std::intptr_t) { return 1; }

class Runner : public ::testing::Test {
protected:
    void SetUp() override { Janela_Encontrada = 0; }
    test::ScopedFakeRuntime fake;
    test::FakeRuntime& rt = fake.runtime;
};

TEST_F(Runner, WaitsWhileAnyPassMeetsAWindowOfTheProcess) {
    rt.window_passes = {
        {{11, 1}, {12, kPid}},
        {{12, kPid}},
        {{13, 7}, {14, kPid}, {15, kPid}},
        {{11, 1}, {13, 7}},
    };
    EXPECT_EQ(Executa_Aguarda(L"c:\\MySQL\\bin\\mysqld-nt.exe --install MySQL", 0), Verdadeiro);
    EXPECT_EQ(rt.enum_passes, 4);
    EXPECT_EQ(Janela_Encontrada, 0u);
    // One pause before the first pass, none between passes.
    EXPECT_EQ(rt.clock_ms, 500u);
    ASSERT_EQ(rt.shells.size(), 1u);
    EXPECT_EQ(rt.shells[0].command_line, L"c:\\MySQL\\bin\\mysqld-nt.exe --install MySQL");
    EXPECT_EQ(rt.shells[0].window_style, 0);
}

TEST_F(Runner, APassStopsAtTheFirstWindowOfTheProcess) {
    rt.window_passes = {{{1, 9}, {2, kPid}, {3, kPid}, {4, 9}}, {{1, 9}, {4, 9}}};
    EXPECT_EQ(Executa_Aguarda(L"x", 0), Verdadeiro);
    EXPECT_EQ(rt.windows_offered_per_pass, (std::vector<int>{2, 2}));
}

TEST_F(Runner, WindowsOfOtherProcessesDoNotKeepItWaiting) {
    // Grandchildren or strangers own these.
    rt.window_passes = {{{1, kPid + 1}, {2, 0}, {3, -kPid}}};
    EXPECT_EQ(Executa_Aguarda(L"cmd /c start x", 0), Verdadeiro);
    EXPECT_EQ(rt.enum_passes, 1);
}

// The command interpreter and console clients own no window: without a wait
// on the process the caller would go on while they still work.
TEST_F(Runner, AProcessWithoutWindowsIsWaitedForToItsEndAndGivesItsExitCodeAndOutput) {
    rt.program_for = [](const std::wstring&) { return test::FakeProgram{3000, 7, L"saída", L"ERROR 1045"}; };
    modPrincipal::Execucao execucao;
    EXPECT_EQ(Executa_Aguarda(L"quick", 0, &execucao), Verdadeiro);
    EXPECT_EQ(rt.events, (std::vector<std::wstring>{L"Shell quick", L"Pause 500", L"EnumWindows", L"WaitForProgram"}));
    EXPECT_EQ(rt.clock_ms, 3000u);
    EXPECT_TRUE(execucao.Concluida);
    EXPECT_EQ(execucao.Codigo_Saida, 7);
    EXPECT_EQ(execucao.Saida, L"saída");
    EXPECT_EQ(execucao.Erros, L"ERROR 1045");
}

TEST_F(Runner, BetweenPassesItWaitsOnTheProcessRatherThanSpin) {
    rt.program_for = [](const std::wstring&) { return test::FakeProgram{1000, 0, L"", L""}; };
    rt.window_passes = {{{5, kPid}}, {{5, kPid}}, {{5, kPid}}};
    modPrincipal::Execucao execucao;
    EXPECT_EQ(Executa_Aguarda(L"x", 0, &execucao), Verdadeiro);
    EXPECT_EQ(rt.enum_passes, 4);
    // 500 ms before the first pass, 100 ms after each pass that met a
    // window, then the rest of the program's second.
    EXPECT_EQ(rt.clock_ms, 1000u);
    EXPECT_EQ(std::count(rt.events.begin(), rt.events.end(), L"WaitForProgram"), 4);
    EXPECT_TRUE(execucao.Concluida);
}

TEST_F(Runner, ResetsTheFoundWindowBeforeTheFirstPass) {
    Janela_Encontrada = 0x1234;
    std::optional<WindowHandle> at_first_pass;
    rt.on_event = [&](const std::wstring& event) {
        if (event == L"EnumWindows" && !at_first_pass) at_first_pass = Janela_Encontrada;
    };
    rt.window_passes = {{{5, kPid}}, {{1, 1}}};
    EXPECT_EQ(Executa_Aguarda(L"x", 0), Verdadeiro);
    EXPECT_EQ(at_first_pass, 0u);
    EXPECT_EQ(Janela_Encontrada, 0u);
}

TEST_F(Runner, AStartThatFailsIsReportedWithoutAnyPass) {
    rt.shell_results = {RuntimeError(kErrFileNotFound, L"Arquivo não encontrado: c:\\MySql\\bin\\mysql")};
    EXPECT_EQ(Executa_Aguarda(L"c:\\MySql\\bin\\mysql -e status", 0), Falso);
    ASSERT_EQ(rt.msgboxes.size(), 1u);
    EXPECT_EQ(rt.msgboxes[0].text, L"Arquivo não encontrado: c:\\MySql\\bin\\mysql");
    EXPECT_EQ(rt.msgboxes[0].style, 0);
    EXPECT_FALSE(rt.msgboxes[0].title);
    EXPECT_EQ(rt.enum_passes, 0);
    EXPECT_EQ(rt.clock_ms, 0u);
    modPrincipal::Execucao execucao;
    rt.shell_results = {RuntimeError(kErrFileNotFound, L"Arquivo não encontrado: x")};
    EXPECT_EQ(Executa_Aguarda(L"x", 0, &execucao), Falso);
    EXPECT_FALSE(execucao.Concluida);
}

// However the wait ends, the command does not outlive it.
TEST_F(Runner, AWaitThatFailsEndsItsCommand) {
    rt.program_for = [](const std::wstring&) { return test::FakeProgram{0, 0, L"", L"", true}; };
    rt.on_event = [](const std::wstring& event) {
        if (event == L"WaitForProgram") throw RuntimeError(7, L"Memória insuficiente");
    };
    EXPECT_EQ(Executa_Aguarda(L"c:\\MySQL\\bin\\mysqld-nt.exe --install MySQL", 0), Falso);
    EXPECT_EQ(rt.ended_programs, std::vector<std::wstring>{L"c:\\MySQL\\bin\\mysqld-nt.exe --install MySQL"});
}

TEST_F(Runner, AnIdOutsideTheSigned32BitRangeIsAnOverflow) {
    for (double id : {2147483648.0, 4294967295.0, -2147483649.0}) {
        SCOPED_TRACE(id);
        rt.msgboxes.clear();
        rt.enum_passes = 0;
        rt.shell_results = {id};
        EXPECT_EQ(Executa_Aguarda(L"x", 0), Falso);
        ASSERT_EQ(rt.msgboxes.size(), 1u);
        EXPECT_EQ(rt.msgboxes[0].text, L"Estouro");
        EXPECT_EQ(rt.enum_passes, 0);
    }
    rt.msgboxes.clear();
    rt.shell_results = {2147483647.0};
    rt.window_passes = {{{1, 2147483647}}, {{2, 1}}};
    EXPECT_EQ(Executa_Aguarda(L"x", 0), Verdadeiro);
    EXPECT_EQ(rt.enum_passes, 2);
    EXPECT_TRUE(rt.msgboxes.empty());
}

TEST_F(Runner, TheCallbackReportsAndContinuesAsTheEnumerationExpects) {
    rt.window_passes = {{{21, 3}, {22, 8}}};
    rt.EnumWindows(&VisitAll, 0);  // loads the pass
    EXPECT_EQ(modPrincipal::Procura_Janela_Processo(21, 8), -1);
    EXPECT_EQ(Janela_Encontrada, 0u);
    EXPECT_EQ(modPrincipal::Procura_Janela_Processo(22, 8), 0);
    EXPECT_EQ(Janela_Encontrada, 22u);
    EXPECT_EQ(modPrincipal::Procura_Janela_Processo(21, 8), -1);
    EXPECT_EQ(Janela_Encontrada, 0u);
}

}  // namespace
}  // namespace cm
