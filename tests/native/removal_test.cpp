#include <gtest/gtest.h>

#include "FakeRuntime.h"
#include "FakeView.h"
#include "app/frmPrincipal.h"

namespace cm {
namespace {

constexpr const wchar_t* kQuestion =
    L"Remover o serviço do MySQL impedirá o funcionamento do sistema Velto!\r\n\r\n"
    L"Deseja proseguir com a remoção do serviço?";

class Removal : public ::testing::Test {
protected:
    void SetUp() override { rt.SetEnv(L"COMSPEC", L"C:\\WINDOWS\\system32\\cmd.exe"); }
    test::ScopedFakeRuntime fake;
    test::FakeRuntime& rt = fake.runtime;
    test::FakeView view;
    frmPrincipal form{view};
};

TEST_F(Removal, NoRunsNothingAndShowsNothingMore) {
    rt.msgbox_answers = {vbNo};
    form.cmdRemoveServico_Click();
    ASSERT_EQ(rt.msgboxes.size(), 1u);
    EXPECT_EQ(rt.msgboxes[0].text, kQuestion);
    EXPECT_EQ(rt.msgboxes[0].title, L"Atenção");
    EXPECT_EQ(rt.msgboxes[0].style, 36);
    EXPECT_TRUE(rt.shells.empty());
    EXPECT_EQ(rt.events.size(), 1u);
}

TEST_F(Removal, YesStopsThenDeletesThenReports) {
    rt.msgbox_answers = {vbYes};
    // The program's own window (1) is always among the top-level windows.
    rt.window_passes = {{{1, 1}, {7, 4000}}, {{1, 1}}, {{9, 4001}, {1, 1}}, {{1, 1}}};
    form.cmdRemoveServico_Click();
    ASSERT_EQ(rt.shells.size(), 2u);
    EXPECT_EQ(rt.shells[0].command_line, L"C:\\WINDOWS\\system32\\cmd.exe /c sc stop MySQL");
    EXPECT_EQ(rt.shells[1].command_line, L"C:\\WINDOWS\\system32\\cmd.exe /c sc delete MySQL");
    EXPECT_EQ(rt.shells[0].window_style, 0);
    EXPECT_EQ(rt.shells[1].window_style, 0);
    // The delete started only after the stop's last pass met no window.
    const std::vector<std::wstring> expected{
        L"MsgBox " + std::wstring(kQuestion),
        L"Environ Comspec",
        L"Shell C:\\WINDOWS\\system32\\cmd.exe /c sc stop MySQL",
        L"Pause 500",
        L"EnumWindows",
        L"WaitForProgram",
        L"EnumWindows",
        L"WaitForProgram",
        L"Environ Comspec",
        L"Shell C:\\WINDOWS\\system32\\cmd.exe /c sc delete MySQL",
        L"Pause 500",
        L"EnumWindows",
        L"WaitForProgram",
        L"EnumWindows",
        L"WaitForProgram",
        L"QueryService MySQL",
        L"MsgBox O Serviço MySQL foi removido!",
    };
    EXPECT_EQ(rt.events, expected);
    ASSERT_EQ(rt.msgboxes.size(), 2u);
    EXPECT_EQ(rt.msgboxes[1].title, L"Brevano");
    EXPECT_EQ(rt.msgboxes[1].style, 0);
}

TEST_F(Removal, TheInterpreterIsReadAfreshForEachCommand) {
    rt.msgbox_answers = {vbYes};
    rt.on_event = [&](const std::wstring& event) {
        if (event.rfind(L"Shell", 0) == 0) rt.SetEnv(L"ComSpec", L"D:\\outro\\cmd.exe");
    };
    form.cmdRemoveServico_Click();
    ASSERT_EQ(rt.shells.size(), 2u);
    EXPECT_EQ(rt.shells[1].command_line, L"D:\\outro\\cmd.exe /c sc delete MySQL");
}

TEST_F(Removal, WithoutComspecTheRunnerReportsBothAndTheFinalMessageFollows) {
    rt.UnsetEnv(L"COMSPEC");
    rt.msgbox_answers = {vbYes};
    rt.shell_results = {RuntimeError(kErrFileNotFound, L"Arquivo não encontrado: /c"),
                        RuntimeError(kErrFileNotFound, L"Arquivo não encontrado: /c")};
    form.cmdRemoveServico_Click();
    EXPECT_EQ(std::count(rt.events.begin(), rt.events.end(), L"Shell  /c sc stop MySQL"), 1);
    EXPECT_EQ(std::count(rt.events.begin(), rt.events.end(), L"Shell  /c sc delete MySQL"), 1);
    ASSERT_EQ(rt.msgboxes.size(), 4u);
    EXPECT_EQ(rt.msgboxes[1].text, L"Arquivo não encontrado: /c");
    EXPECT_EQ(rt.msgboxes[2].text, L"Arquivo não encontrado: /c");
    EXPECT_EQ(rt.msgboxes[3].text, L"O Serviço MySQL foi removido!");
    EXPECT_EQ(rt.enum_passes, 0);
}

TEST_F(Removal, AnErrorInTheHandlerItselfIsShownAndEndsIt) {
    struct Failing : test::FakeRuntime {
        std::wstring Environ(const std::wstring&) override { throw RuntimeError(7, L"Memória insuficiente"); }
    } failing;
    InstallRuntime(&failing);
    failing.msgbox_answers = {vbYes};
    form.cmdRemoveServico_Click();
    ASSERT_EQ(failing.msgboxes.size(), 2u);
    EXPECT_EQ(failing.msgboxes[1].text, L"Memória insuficiente");
    EXPECT_FALSE(failing.msgboxes[1].title);
    EXPECT_TRUE(failing.shells.empty());
    InstallRuntime(&rt);
}

}  // namespace
}  // namespace cm
