// Steps 2 to 5 and the ODBC step against the fake runtime: their command
// lines as whole strings, and the order of runs, pauses and yields.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "FakeRuntime.h"
#include "FakeView.h"
#include "SetupLines.h"
#include "app/frmPrincipal.h"

namespace cm {
namespace {

using test::kCmd;
using test::kSenha;
using Events = std::vector<std::wstring>;

// What one wait of the runner records for a program that shows no window.
Events Wait(const std::wstring& line) {
    return {L"Shell " + line, L"Pause 500", L"EnumWindows", L"WaitForProgram"};
}

Events operator+(Events a, const Events& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class Steps : public ::testing::Test {
protected:
    void SetUp() override {
        rt.SetEnv(L"COMSPEC", kCmd);
        rt.AddFile(L"c:\\MySQL\\my.ini");
        rt.services[L"mysql"] = {true, true, false, L"c:\\MySQL\\bin\\mysqld-nt.exe"};  // as the service step leaves it
    }
    std::vector<std::wstring> Lines() const {
        std::vector<std::wstring> lines;
        for (const auto& s : rt.shells) lines.push_back(s.command_line);
        return lines;
    }
    Logico Call(const std::function<void(Logico&)>& step) {
        Logico result = 123;
        step(result);
        return result;
    }

    test::ScopedFakeRuntime fake;
    test::FakeRuntime& rt = fake.runtime;
    test::FakeView view;
    frmPrincipal form{view};
};

// ---- command lines and timelines ------------------------------------------------

TEST_F(Steps, ServiceRegistersConfiguresStartsAndQueriesWithTwoLongPauses) {
    EXPECT_EQ(Call([&](Logico& r) { form.Cria_Servico(L"c:", r); }), Verdadeiro);
    const auto lines = test::LinhasServico();
    const Events expected = Wait(lines[0]) + Events{L"Pause 20000", L"DoEvents", L"Environ Comspec"} +
                            Wait(lines[1]) + Events{L"Environ Comspec"} + Wait(lines[2]) + Events{L"DoEvents"} +
                            Wait(lines[3]) + Events{L"Pause 20000", L"QueryService MySQL"};
    EXPECT_EQ(rt.events, expected);
    EXPECT_EQ(rt.clock_ms, 42000u);
    EXPECT_TRUE(std::all_of(rt.shells.begin(), rt.shells.end(), [](const auto& s) { return s.window_style == 0; }));
}

TEST_F(Steps, AccountsAreTwelveClientRunsWithAYieldAfterEachReload) {
    EXPECT_EQ(Call([&](Logico& r) { form.Configura_Usuarios(L"c:", kSenha, r); }), Verdadeiro);
    EXPECT_EQ(Lines(), test::kLinhasUsuarios);
    Events expected;
    for (std::size_t i = 0; i < 12; i += 2) {
        expected = expected + Wait(test::kLinhasUsuarios[i]) + Wait(test::kLinhasUsuarios[i + 1]) + Events{L"DoEvents"};
    }
    EXPECT_EQ(rt.events, expected);
    const auto lines = Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), test::kRecarga), 6);
    EXPECT_EQ(rt.clock_ms, 6000u);  // the runner's pauses only
}

TEST_F(Steps, DatabaseIsDroppedCreatedImportedAndReloaded) {
    EXPECT_EQ(Call([&](Logico& r) { form.Importa_Banco(L"c:", L"velto.sql", kSenha, r); }), Verdadeiro);
    const auto lines = test::LinhasBanco(L"C:\\Apps\\Brevano", L"velto.sql");
    const Events expected = Wait(lines[0]) + Events{L"DoEvents", L"Pause 2000"} + Wait(lines[1]) +
                            Events{L"DoEvents", L"Pause 2000", L"Environ Comspec"} + Wait(lines[2]) +
                            Events{L"DoEvents", L"Pause 2000"} + Wait(lines[3]) + Events{L"DoEvents"};
    EXPECT_EQ(rt.events, expected);
    EXPECT_EQ(rt.clock_ms, 8000u);
}

TEST_F(Steps, OdbcOpensThePackageFromTheApplicationFolder) {
    EXPECT_EQ(Call([&](Logico& r) { form.Instala_ODBC(r); }), Verdadeiro);
    const std::wstring line = kCmd + L" /c \"C:\\Apps\\Brevano\\mysql-connector-odbc-5.1.6-win32.msi\"";
    EXPECT_EQ(rt.events, Events{L"Environ Comspec"} + Wait(line) + Events{L"DoEvents"});
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
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[1], L" /c sc config MySQL start= auto");
    EXPECT_EQ(lines[2], L" /c sc start MySQL");
    EXPECT_EQ(lines[6], test::LinhaImportacao(L"", L"C:\\Apps\\Brevano", L"velto.sql"));
    EXPECT_EQ(lines[8], L" /c \"C:\\Apps\\Brevano\\mysql-connector-odbc-5.1.6-win32.msi\"");
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
