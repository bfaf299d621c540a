#include <gtest/gtest.h>

#include <optional>

#include "FakeRuntime.h"
#include "FakeView.h"
#include "SetupLines.h"
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

// The removal says it removed the service only when the service manager no
// longer knows it; it waits for a stopping server before the delete, and for
// the delete to take effect.
TEST_F(Removal, TellsTheTruthAboutTheService) {
    const std::wstring stop = L"C:\\WINDOWS\\system32\\cmd.exe /c sc stop MySQL";
    const std::wstring del = L"C:\\WINDOWS\\system32\\cmd.exe /c sc delete MySQL";
    // The terminals' firewall rule goes with the service, never without it.
    const std::wstring rule = test::LinhaApagaRegra();
    const std::wstring failed = L"Não foi possível remover o serviço MySQL.\r\nVeja os detalhes em: C:\\Apps\\Brevano\\ConfiguraMySQL.log";
    const std::wstring admin = L"Este aplicativo precisa ser executado como ADMINISTRADOR.\r\nA instalação será interrompida!";
    struct Case {
        const char* name;
        std::uint32_t stops_after_ms;  // from the stop command; UINT32_MAX: never
        bool delete_refused;
        bool registered;
        bool administrator;
        std::vector<std::wstring> lines;
        std::wstring message;
        int style;
        bool gone;
        std::uint32_t starting_ms = 0;  // still on its way up this long: a stop is refused
    };
    const Case cases[] = {
        {"stops at once", 0, false, true, true, {stop, del, rule}, L"O Serviço MySQL foi removido!", 0, true},
        {"still stopping for a few seconds", 7000, false, true, true, {stop, del, rule}, L"O Serviço MySQL foi removido!", 0,
         true},
        // A delete sent before the stop has taken effect only marks the
        // service for the next restart, so it waits for STOPPED, however
        // long the server takes to write its tables out.
        {"stops after 45 s", 45000, false, true, true, {stop, del, rule}, L"O Serviço MySQL foi removido!", 0, true},
        {"never stops: not deleted", UINT32_MAX, false, true, true, {stop}, failed, 48, false},
        {"delete refused", 0, true, true, true, {stop, del}, failed, 48, false},
        {"never there", 0, false, false, true, {stop, del, rule}, L"O Serviço MySQL foi removido!", 0, true},
        {"not administrator", 0, false, true, false, {}, admin, 48, false},
        // Just after a start or a reboot: Windows refuses the first stop.
        {"refused while starting, asked again", 0, false, true, true, {stop, stop, del, rule},
         L"O Serviço MySQL foi removido!", 0, true, 3000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedFakeRuntime local;
        auto& r = local.runtime;
        r.SetEnv(L"COMSPEC", L"C:\\WINDOWS\\system32\\cmd.exe");
        r.administrator = c.administrator;
        if (c.registered) {
            r.services[L"mysql"] = {c.starting_ms == 0, true, false, L"c:\\MySQL\\bin\\mysqld-nt.exe", c.starting_ms != 0};
        }
        std::optional<std::uint64_t> stops_at;
        bool marked = false;
        r.program_for = [&](const std::wstring& line) {
            if (line == stop && r.services.count(L"mysql") && r.services[L"mysql"].starting) {
                return test::FakeProgram{0, 1061, L"", L""};
            }
            if (line == stop && r.services.count(L"mysql")) {
                r.services[L"mysql"].running = false;
                if (c.stops_after_ms != UINT32_MAX) stops_at = r.clock_ms + c.stops_after_ms;
            }
            if (line == del && r.services.count(L"mysql")) marked = !c.delete_refused;
            return test::FakeProgram{0, line == del && c.delete_refused ? 5 : 0, L"", L""};
        };
        // The service manager: a stopping server comes to a stop in its time;
        // a service marked for deletion goes once it has stopped.
        r.on_event = [&](const std::wstring& e) {
            if (e != L"QueryService MySQL" || !r.services.count(L"mysql")) return;
            if (r.services[L"mysql"].starting && r.clock_ms >= c.starting_ms) {
                r.services[L"mysql"].starting = false;
                r.services[L"mysql"].running = true;
            }
            if (stops_at && r.clock_ms >= *stops_at) r.services[L"mysql"].stopped = true;
            if (marked && r.services[L"mysql"].stopped) r.services.erase(L"mysql");
        };
        r.msgbox_answers = {vbYes};
        test::FakeView v;
        frmPrincipal f{v};
        EXPECT_EQ(f.Remove_Servico(true), c.gone);
        std::vector<std::wstring> lines;
        for (const auto& shell : r.shells) lines.push_back(shell.command_line);
        EXPECT_EQ(lines, c.lines);
        if (stops_at && lines.size() >= 2) {
            EXPECT_GE(r.shells[1].at_ms, *stops_at);
        }
        ASSERT_EQ(r.msgboxes.size(), 2u);
        EXPECT_EQ(r.msgboxes[1].text, c.message);
        EXPECT_EQ(r.msgboxes[1].style, c.style);
        EXPECT_EQ(r.msgboxes[1].title, c.gone ? L"Brevano" : L"Atenção");
        EXPECT_EQ(r.services.count(L"mysql") == 0, c.gone || !c.registered);
        EXPECT_EQ(f.Codigo_Remocao(), c.gone ? 0 : c.administrator ? 20 : 3);
        // Never longer than the stop's and the delete's waits together.
        EXPECT_LE(r.clock_ms, 60000u + 30000u + 5000u);
        EXPECT_TRUE(r.shutdown_reason.empty());
    }
}

TEST_F(Removal, TheInterpreterIsReadAfreshForEachCommand) {
    rt.msgbox_answers = {vbYes};
    rt.on_event = [&](const std::wstring& event) {
        if (event.rfind(L"Shell", 0) == 0) rt.SetEnv(L"ComSpec", L"D:\\outro\\cmd.exe");
    };
    form.cmdRemoveServico_Click();
    ASSERT_EQ(rt.shells.size(), 3u);
    EXPECT_EQ(rt.shells[1].command_line, L"D:\\outro\\cmd.exe /c sc delete MySQL");
    EXPECT_EQ(rt.shells[2].command_line, test::LinhaApagaRegra(L"D:\\outro\\cmd.exe"));
}

TEST_F(Removal, WithoutComspecTheRunnerReportsBothAndTheFinalMessageFollows) {
    rt.UnsetEnv(L"COMSPEC");
    rt.msgbox_answers = {vbYes};
    rt.shell_results = {RuntimeError(kErrFileNotFound, L"Arquivo não encontrado: /c"),
                        RuntimeError(kErrFileNotFound, L"Arquivo não encontrado: /c"),
                        RuntimeError(kErrFileNotFound, L"Arquivo não encontrado: /c")};
    form.cmdRemoveServico_Click();
    EXPECT_EQ(std::count(rt.events.begin(), rt.events.end(), L"Shell  /c sc stop MySQL"), 1);
    EXPECT_EQ(std::count(rt.events.begin(), rt.events.end(), L"Shell  /c sc delete MySQL"), 1);
    ASSERT_EQ(rt.msgboxes.size(), 5u);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(rt.msgboxes[i].text, L"Arquivo não encontrado: /c");
    EXPECT_EQ(rt.msgboxes[4].text, L"O Serviço MySQL foi removido!");
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
