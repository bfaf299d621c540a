// Steps 2 to 5 and the ODBC step against the fake runtime: their command
// lines as whole strings, the time they give the server, and that the window
// is served while they run.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "FakeRuntime.h"
#include "FakeView.h"
#include "SetupLines.h"
#include "app/frmPrincipal.h"

namespace cm {
namespace {

using test::kCmd;
using test::kSenha;

// Every program the steps start runs this long on the virtual clock, so that
// the time a step waits after a command can be told from the command's own.
constexpr std::uint32_t kRunMs = 3000;

// The time a freshly registered service, and then a just-started server,
// need before a command may rely on them.
constexpr std::uint64_t kServiceSettleMs = 20000;
// The time the server needs after a database change before the next one.
constexpr std::uint64_t kDatabaseSettleMs = 2000;

// One command a step ran, as the clock and the window saw it.
struct CommandRun {
    std::wstring line;
    std::uint64_t started = 0;
    std::uint64_t ended = 0;
    // The step served the window's messages after this command ended and
    // before the next one started (or the step returned).
    bool window_served_after = false;
};

class Steps : public ::testing::Test {
protected:
    void SetUp() override {
        rt.SetEnv(L"COMSPEC", kCmd);
        rt.AddFile(L"c:\\MySQL\\my.ini");
        rt.services[L"mysql"] = {true, true, false, L"c:\\MySQL\\bin\\mysqld-nt.exe"};  // as the service step leaves it
        rt.program_for = [](const std::wstring&) {
            test::FakeProgram program;
            program.runs_ms = kRunMs;
            return program;
        };
        rt.on_event = [this](const std::wstring& event) { Observe(event); };
    }
    std::vector<std::wstring> Lines() const {
        std::vector<std::wstring> lines;
        for (const auto& s : rt.shells) lines.push_back(s.command_line);
        return lines;
    }
    Logico Call(const std::function<void(Logico&)>& step) {
        runs.clear();
        service_checked_at.reset();
        Logico result = 123;
        step(result);
        return result;
    }
    // The most commands the step ran in a row without serving the window
    // between them; a step that ends without serving it after its last
    // command counts that command as unserved up to the step's end.
    std::size_t LongestStretchWithoutTheWindow() const {
        std::size_t longest = 0, current = 0;
        for (const auto& run : runs) {
            ++current;
            longest = std::max(longest, current);
            if (run.window_served_after) current = 0;
        }
        return longest;
    }

    test::ScopedFakeRuntime fake;
    test::FakeRuntime& rt = fake.runtime;
    test::FakeView view;
    frmPrincipal form{view};
    std::vector<CommandRun> runs;
    std::optional<std::uint64_t> service_checked_at;

private:
    // A yield serves the window; so does a pause of the step's own (the
    // runtime's pause serves messages), told from the runner's wait for a
    // running program by the clock: it ends after the program has.
    void Observe(const std::wstring& event) {
        if (event.rfind(L"Shell ", 0) == 0) {
            runs.push_back({event.substr(6), rt.clock_ms, rt.clock_ms + kRunMs, false});
        } else if (runs.empty()) {
            return;
        } else if (event == L"DoEvents" || (event.rfind(L"Pause ", 0) == 0 && rt.clock_ms > runs.back().ended)) {
            runs.back().window_served_after = true;
        } else if (event.rfind(L"QueryService", 0) == 0) {
            service_checked_at = rt.clock_ms;
        }
    }
};

// ---- command lines, the server's time and the window ---------------------------

TEST_F(Steps, ServiceGivesTheRegisteredServiceAndTheStartedServerTimeBeforeRelyingOnThem) {
    EXPECT_EQ(Call([&](Logico& r) { form.Cria_Servico(L"c:", r); }), Verdadeiro);
    EXPECT_EQ(Lines(), test::LinhasServico());
    // No console window flashes up over the setup.
    EXPECT_TRUE(std::all_of(rt.shells.begin(), rt.shells.end(), [](const auto& s) { return s.window_style == 0; }));

    ASSERT_EQ(runs.size(), 5u);
    // Registration, then time for the service manager before configuring it.
    EXPECT_GE(runs[1].started - runs[0].ended, kServiceSettleMs);
    // The status query, then time for the server before the service is
    // checked: a server still starting would fail the step.
    ASSERT_TRUE(service_checked_at.has_value());
    EXPECT_GE(*service_checked_at, runs[3].ended);
    EXPECT_GE(*service_checked_at - runs[3].ended, kServiceSettleMs);
    // The terminals' firewall rule only once the service is known to run.
    EXPECT_GE(runs[4].started, *service_checked_at);
}

TEST_F(Steps, AccountsAreTwelveClientRunsEachGrantProvedByAReload) {
    EXPECT_EQ(Call([&](Logico& r) { form.Configura_Usuarios(L"c:", kSenha, r); }), Verdadeiro);
    EXPECT_EQ(Lines(), test::kLinhasUsuarios);
    const auto lines = Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), test::kRecarga), 6);
    EXPECT_TRUE(std::all_of(rt.shells.begin(), rt.shells.end(), [](const auto& s) { return s.window_style == 0; }));
}

TEST_F(Steps, DatabaseIsDroppedCreatedImportedAndReloadedGivingTheServerTimeBetweenChanges) {
    EXPECT_EQ(Call([&](Logico& r) { form.Importa_Banco(L"c:", L"velto.sql", kSenha, r); }), Verdadeiro);
    EXPECT_EQ(Lines(), test::LinhasBanco(L"C:\\Apps\\Brevano", L"velto.sql"));
    EXPECT_TRUE(std::all_of(rt.shells.begin(), rt.shells.end(), [](const auto& s) { return s.window_style == 0; }));
    ASSERT_EQ(runs.size(), 4u);
    for (std::size_t i = 1; i < runs.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_GE(runs[i].started - runs[i - 1].ended, kDatabaseSettleMs);
    }
}

TEST_F(Steps, OdbcOpensThePackageFromTheApplicationFolder) {
    EXPECT_EQ(Call([&](Logico& r) { form.Instala_ODBC(r); }), Verdadeiro);
    const std::wstring line = kCmd + L" /c \"C:\\Apps\\Brevano\\mysql-connector-odbc-5.1.6-win32.msi\"";
    EXPECT_EQ(Lines(), std::vector<std::wstring>{line});
    EXPECT_EQ(rt.shells.at(0).window_style, 0);
}

// Between its commands a step hands the window its messages, so that it
// repaints, and so that the removal button and the script box work while the
// setup runs; and again after its last command, before the next step starts.
// The runner serves the window only while a program runs.
TEST_F(Steps, EveryStepServesTheWindowBetweenItsCommands) {
    struct Case {
        const char* name;
        std::function<void(Logico&)> step;
    };
    const Case cases[] = {
        {"service", [&](Logico& r) { form.Cria_Servico(L"c:", r); }},
        {"accounts", [&](Logico& r) { form.Configura_Usuarios(L"c:", kSenha, r); }},
        {"database", [&](Logico& r) { form.Importa_Banco(L"c:", L"velto.sql", kSenha, r); }},
        {"odbc", [&](Logico& r) { form.Instala_ODBC(r); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Call(c.step), Verdadeiro);
        ASSERT_FALSE(runs.empty());
        EXPECT_LE(LongestStretchWithoutTheWindow(), 2u);
        EXPECT_TRUE(runs.back().window_served_after);
    }
}

TEST_F(Steps, BlanksInTheFolderOrScriptStayInsideTheQuotes) {
    rt.app_path = L"C:\\Program Files\\Brevano Velto";
    Call([&](Logico& r) { form.Importa_Banco(L"c:", L"banco novo.sql", kSenha, r); });
    Call([&](Logico& r) { form.Instala_ODBC(r); });
    ASSERT_EQ(rt.shells.size(), 5u);
    EXPECT_EQ(rt.shells[2].command_line,
              kCmd + L" /c c:\\MySql\\bin\\mysql -h localhost -u root --password=KQLum4816 -D velto < "
                     L"\"C:\\Program Files\\Brevano Velto\\banco novo.sql\" -f");
    EXPECT_EQ(rt.shells[4].command_line,
              kCmd + L" /c \"C:\\Program Files\\Brevano Velto\\mysql-connector-odbc-5.1.6-win32.msi\"");
}

TEST_F(Steps, WithoutComspecTheInterpreterLinesBeginWithTheirBlank) {
    rt.UnsetEnv(L"COMSPEC");
    EXPECT_EQ(Call([&](Logico& r) { form.Cria_Servico(L"c:", r); }), Verdadeiro);
    EXPECT_EQ(Call([&](Logico& r) { form.Importa_Banco(L"c:", L"velto.sql", kSenha, r); }), Verdadeiro);
    EXPECT_EQ(Call([&](Logico& r) { form.Instala_ODBC(r); }), Verdadeiro);
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[1], L" /c sc config MySQL start= auto");
    EXPECT_EQ(lines[2], L" /c sc start MySQL");
    EXPECT_EQ(lines[4].rfind(L" /c netsh advfirewall firewall add rule ", 0), 0u);
    EXPECT_EQ(lines[7], test::LinhaImportacao(L"", L"C:\\Apps\\Brevano", L"velto.sql"));
    EXPECT_EQ(lines[9], L" /c \"C:\\Apps\\Brevano\\mysql-connector-odbc-5.1.6-win32.msi\"");
}

// A quote in the script's name would close the quoted path on the
// interpreter's line and hand the rest to it as commands.
TEST_F(Steps, AScriptNameNoFileCanHaveIsRefusedBeforeAnythingRuns) {
    for (const std::wstring name : {L"x.sql\" & del /q c:\\*.* & rem \"", L"a|b.sql"}) {
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        rt.msgboxes.clear();
        EXPECT_EQ(Call([&](Logico& r) { form.Importa_Banco(L"c:", name, kSenha, r); }), Falso);
        EXPECT_TRUE(rt.shells.empty());
        ASSERT_EQ(rt.msgboxes.size(), 1u);
        EXPECT_EQ(rt.msgboxes[0].text, L"Nome ou número de arquivo incorreto: " + name);
    }
}

// ---- the configuration file ------------------------------------------------------

TEST_F(Steps, ConfigurationKeysFollowTheCheckBox) {
    struct Case {
        const char* name;
        std::wstring drive;
        int check_box;
        std::vector<std::vector<std::string>> writes;
    };
    const Case cases[] = {
        {"unticked", L"c:", 0,
         {{"mysqld", "basedir", "\"c:/MySQL/\"", "c:\\MySQL\\my.ini"},
          {"mysqld", "datadir", "\"c:/MySQL/Data/\"", "c:\\MySQL\\my.ini"}}},
        {"ticked", L"c:", 1,
         {{"mysqld", "basedir", "\"c:/MySQL/\"", "c:\\MySQL\\my.ini"},
          {"mysqld", "datadir", "\"c:/MySQL/Data/\"", "c:\\MySQL\\my.ini"},
          {"mysqld", "log-bin", " ", "c:\\MySQL\\my.ini"}}},
        {"greyed counts as unticked", L"c:", 2,
         {{"mysqld", "basedir", "\"c:/MySQL/\"", "c:\\MySQL\\my.ini"},
          {"mysqld", "datadir", "\"c:/MySQL/Data/\"", "c:\\MySQL\\my.ini"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rt.profile_writes.clear();
        view[Control::chkBinario].value = c.check_box;
        EXPECT_EQ(Call([&](Logico& r) { form.Configura_LogBinario(c.drive, r); }), Verdadeiro);
        EXPECT_EQ(rt.profile_writes, c.writes);
    }
    EXPECT_TRUE(rt.msgboxes.empty());
    EXPECT_EQ(rt.doevents_count, 0);
    EXPECT_EQ(rt.clock_ms, 0u);
}

TEST_F(Steps, AnExistingBinaryLogKeyIsLeftAloneWhenUnticked) {
    rt.WritePrivateProfileStringA("mysqld", "log-bin", "velho", "c:\\MySQL\\my.ini");
    Call([&](Logico& r) { form.Configura_LogBinario(L"c:", r); });
    EXPECT_EQ(rt.IniValue(L"c:\\MySQL\\my.ini", L"mysqld", L"log-bin"), L"velho");
    EXPECT_EQ(rt.IniValue(L"c:\\MySQL\\my.ini", L"mysqld", L"basedir"), L"\"c:/MySQL/\"");
}

TEST_F(Steps, AMissingOrHiddenConfigurationFileStopsWithTheSixLineMessage) {
    const std::wstring message =
        L"A etapa de instalação do MySQL Falhou!\r\n\r\nVerifique se:\r\n"
        L" - O arquivo Mysql.zip contém o arquivo MySQL\\my.ini.\r\n\r\nInicie o processo novamente.\r\n\r\n"
        L"Veja os detalhes em: ";  // no log: the step ran outside a setup
    struct Case {
        const char* name;
        std::function<void(test::FakeRuntime&)> tree;
    };
    const Case cases[] = {
        {"missing", [](test::FakeRuntime& r) { r.AddFolder(L"c:\\MySQL"); }},
        {"hidden", [](test::FakeRuntime& r) { r.AddFile(L"c:\\MySQL\\my.ini", test::kHidden | test::kArchiveAttr); }},
        {"a folder", [](test::FakeRuntime& r) { r.AddFolder(L"c:\\MySQL\\my.ini"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedFakeRuntime local;
        c.tree(local.runtime);
        view[Control::chkBinario].value = 1;
        EXPECT_EQ(Call([&](Logico& r) { form.Configura_LogBinario(L"c:", r); }), Falso);
        ASSERT_EQ(local.runtime.msgboxes.size(), 1u);
        EXPECT_EQ(local.runtime.msgboxes[0].text, message);
        EXPECT_EQ(local.runtime.msgboxes[0].style, 48);
        EXPECT_EQ(local.runtime.msgboxes[0].title, L"Atenção");
        EXPECT_TRUE(local.runtime.profile_writes.empty());
    }
}

}  // namespace
}  // namespace cm
