// The start button against the fake runtime and a fake extraction library:
// its six checks, the run of the five steps, and what other handlers may do
// while the steps let the window's queue run.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "FakeRuntime.h"
#include "FakeUnzip.h"
#include "FakeView.h"
#include "SetupLines.h"
#include "app/LinhaComando.h"
#include "app/frmPrincipal.h"
#include "system/modRegistro.h"
#include "unzip/modZip.h"

namespace cm {
namespace {

using test::g_fake_unzip;
using test::kStepLabels;

const std::wstring kApp = L"C:\\Apps\\Brevano";
const std::wstring kLog = kApp + L"\\ConfiguraMySQL.log";
const std::wstring kVejaRegistro = L"\r\n\r\nVeja os detalhes em: " + kLog;
// The question when ordinary users may replace what runs as administrator,
// before and after the files' lines.
const std::wstring kQuestion =
    L"Usuários comuns desta máquina podem alterar ou substituir arquivos que este programa usa como "
    L"ADMINISTRADOR:\r\n\r\n";
const std::wstring kQuestionEnd =
    L"\r\n\r\nQualquer um deles poderia trocar o servidor MySQL por um programa seu, que o Windows executaria com "
    L"todos os direitos sobre esta máquina. Guarde o programa numa pasta que só administradores podem alterar (por "
    L"exemplo, dentro de C:\\Program Files); veja o LEIA-ME.txt.\r\n\r\nDeseja continuar mesmo assim?";

// A machine ready for a setup on drive c:: archive, library and one script
// beside the program; the extraction gives the tree the later steps expect.
struct Machine {
    Machine() {
        modZip::Esquece_Biblioteca();
        test::InstallFakeUnzip(rt);
        rt.SetEnv(L"COMSPEC", test::kCmd);
        rt.AddFile(kApp + L"\\Mysql.zip");
        rt.AddFile(kApp + L"\\unzip32.dll");
        rt.AddFile(kApp + L"\\velto.sql");
        view[Control::cboArquivoSql].items = {L"velto.sql"};
        view[Control::cboArquivoSql].text = L"velto.sql";
        g_fake_unzip.during = [this](UzCallbacks&) { rt.AddFile(L"c:\\MySQL\\my.ini"); };
        // The service controller as Windows has it: registered on demand
        // start, then set to start automatically, then running.
        rt.program_for = [this](const std::wstring& line) {
            const test::FakeProgram program = program_for ? program_for(line) : test::FakeProgram{};
            auto& service = rt.services;
            if (program.exit_code != 0) return program;
            if (line.find(L"--install MySQL") != std::wstring::npos) {
                service[L"mysql"] = {false, false, true, line.substr(0, line.find(L".exe") + 4)};
            }
            if (!service.count(L"mysql")) return program;
            auto& mysql = service[L"mysql"];
            if (line.ends_with(L"sc config MySQL start= auto")) mysql.automatic = true;
            if (line.ends_with(L"sc start MySQL")) mysql.running = !(mysql.stopped = false);
            if (line.ends_with(L"sc stop MySQL")) mysql.stopped = !(mysql.running = false);
            if (line.ends_with(L"sc delete MySQL")) service.erase(L"mysql");
            return program;
        };
    }
    ~Machine() { modZip::Esquece_Biblioteca(); }

    std::vector<std::wstring> Lines() const {
        std::vector<std::wstring> lines;
        for (const auto& s : rt.shells) lines.push_back(s.command_line);
        return lines;
    }
    // The command lines containing this text exit with this code.
    void ExitWith(const std::wstring& text, std::int32_t code) {
        program_for = [text, code](const std::wstring& line) {
            return test::FakeProgram{0, line.find(text) != std::wstring::npos ? code : 0, L"", L""};
        };
    }
    // Raises a run-time error at the n-th time the runtime records this event.
    void FailAt(const std::wstring& event, int occurrence) {
        rt.on_event = [this, event, occurrence, seen = 0](const std::wstring& e) mutable {
            if (e == event && ++seen == occurrence) throw RuntimeError(7, L"Memória insuficiente");
        };
    }
    // What a run killed during its import left: its folder, its running
    // service and its record.
    void LeftByARunCutShort() {
        rt.MakeFolder(L"c:\\MySQL", FolderAccess::Server);
        rt.services[L"mysql"] = {true, true, false, L"c:\\MySQL\\bin\\mysqld-nt.exe"};
        rt.run_record =
            Configuracao_Em_Andamento{L"2026-12-08 09:30:00", L"c:", 5, rt.FolderIdentity(L"c:\\MySQL")}.Texto();
    }
    bool Marked(Control label) const {
        auto& v = const_cast<test::FakeView&>(view);
        return v[label].fore_color == kGreen && v[label].text == std::wstring(SpecOf(label).caption) + L" - OK!";
    }
    // The code the process ended with, not what unwinding left behind.
    int EndedWith() const {
        const auto end = std::find_if(rt.events.rbegin(), rt.events.rend(),
                                      [](const std::wstring& e) { return e.starts_with(L"End "); });
        return std::stoi(end->substr(4));
    }
    bool Untouched(Control label) const {
        auto& v = const_cast<test::FakeView&>(view);
        return v[label].fore_color == kDarkBlue && v[label].text == SpecOf(label).caption;
    }

    test::ScopedFakeRuntime fake;
    test::FakeRuntime& rt = fake.runtime;
    test::FakeView view;
    frmPrincipal form{view};
    // What the programs do beyond the service controller's part.
    std::function<test::FakeProgram(const std::wstring&)> program_for;
};

std::vector<std::wstring> WholeSetup(const std::wstring& script = L"velto.sql") {
    return test::LinhasSetup(test::kCmd, kApp, script);
}

// ---- the checks -----------------------------------------------------------------

TEST(StartButtonChecks, EachStopsWithItsOwnMessageAndChangesNothing) {
    const std::wstring exists = L"O MySQL já existe nessa máquina.\r\nA instalação será interrompida!";
    const std::wstring no_archive = L"O arquivo de instalação do Mysql não foi encontrado!";
    const std::wstring no_script = L"Arquivo de banco de dados não encontrado!";
    struct Case {
        const char* name;
        std::function<void(Machine&)> arrange;
        std::wstring text;
        int style;
    };
    const Case cases[] = {
        {"no drive", [](Machine& m) { m.view[Control::cboDrive].text = L""; },
         L"Informe o drive onde será instalado o Mysql.", 64},
        {"server folder there", [](Machine& m) { m.rt.AddFolder(L"c:\\MySQL"); }, exists, 64},
        // Not found by a listing, but there all the same.
        {"a hidden server folder", [](Machine& m) { m.rt.AddFolder(L"c:\\MySQL", test::kHidden); }, exists, 64},
        {"a system file of that name", [](Machine& m) { m.rt.AddFile(L"c:\\MySQL", test::kSystem); }, exists, 64},
        {"no archive", [](Machine& m) { m.rt.AddFile(kApp + L"\\Mysql.zip", test::kHidden); }, no_archive, 64},
        {"archive is a folder", [](Machine& m) { m.rt.AddFile(kApp + L"\\Mysql.zip", test::kDirectoryAttr); }, no_archive, 64},
        {"archive and library missing",
         [](Machine& m) {
             m.rt.AddFile(kApp + L"\\Mysql.zip", test::kHidden);
             m.rt.AddFile(kApp + L"\\unzip32.dll", test::kSystem);
         },
         no_archive, 64},
        {"no library", [](Machine& m) { m.rt.AddFile(kApp + L"\\unzip32.dll", test::kSystem); },
         L"A DLL Unzip32.dll não foi encontrada na pasta do aplicativo.", 48},
        {"no script, though one is listed", [](Machine& m) { m.view[Control::cboArquivoSql].text = L""; },
         L"Informe o arquivo de banco de dados!", 64},
        {"script not found", [](Machine& m) { m.view[Control::cboArquivoSql].text = L"outro.sql"; }, no_script, 64},
        {"spaces are a name, not nothing", [](Machine& m) { m.view[Control::cboArquivoSql].text = L"   "; },
         no_script, 64},
        {"a pattern is not a file", [](Machine& m) { m.view[Control::cboArquivoSql].text = L"*.sql"; }, no_script,
         64},
        {"a quote is not in any file name",
         [](Machine& m) { m.view[Control::cboArquivoSql].text = L"velto.sql\" & echo"; }, no_script, 64},
        {"the interpreter would expand a percent sign",
         [](Machine& m) {
             m.rt.AddFile(kApp + L"\\%TEMP%.sql");
             m.view[Control::cboArquivoSql].text = L"%TEMP%.sql";
         },
         no_script, 64},
        {"and so would a delayed-expansion exclamation mark",
         [](Machine& m) {
             m.rt.AddFile(kApp + L"\\!x!.sql");
             m.view[Control::cboArquivoSql].text = L"!x!.sql";
         },
         no_script, 64},
        // The folder goes on the interpreter's command line as well.
        {"a percent sign in the program's folder", [](Machine& m) { m.rt.app_path = L"C:\\100%\\Brevano"; },
         L"A pasta do programa não pode conter os caracteres % ou !.", 48},
        {"an exclamation mark in the program's folder", [](Machine& m) { m.rt.app_path = L"C:\\Ola!\\Brevano"; },
         L"A pasta do programa não pode conter os caracteres % ou !.", 48},
        // FAT and exFAT drop the server folder's access list.
        {"a drive without access lists", [](Machine& m) { m.rt.drives_without_acls = {L"c:"}; },
         L"O drive c: não guarda permissões de acesso (NTFS). Escolha outro drive.", 48},
        {"a drive whose root ordinary users may empty",
         [](Machine& m) { m.rt.root_open_to[L"c:"] = {L"Usuários autenticados", L"Todos"}; },
         L"O drive c: permite que usuários comuns (Usuários autenticados, Todos) apaguem ou mudem as permissões do "
         L"que está na sua raiz: a pasta MySQL poderia ser trocada por outra. Escolha outro drive.",
         48},
        // A server registered from another drive: its grants and its product
        // database would be this setup's to overwrite.
        {"a MySQL service is registered", [](Machine& m) { m.rt.services[L"mysql"] = {}; }, exists, 64},
        // A server that finds its port taken stops at once: the service step
        // would fail after its pauses. The port is my.ini's, read from the
        // archive before anything is made.
        {"the port is taken", [](Machine& m) { m.rt.listeners[3306] = {{1234, L"C:\\xampp\\mysql\\bin\\mysqld.exe"}}; },
         L"A porta 3306 já está em uso pelo programa mysqld.exe (processo 1234). Pare ou remova o servidor que usa essa "
         L"porta, ou feche o programa que a ocupa, e tente novamente.", 48},
        {"my.ini's own port is taken, by a program the system does not name",
         [](Machine& m) {
             g_fake_unzip.listing.emplace_back("mysql\\My.ini", 40);
             g_fake_unzip.contents["mysql\\My.ini"] = "[client]\r\nport=3306\r\n[mysqld]\r\nport=3307\r\n";
             m.rt.listeners = {{3306, {{1234, L"mysqld.exe"}}}, {3307, {{0, L""}}}};
         },
         L"A porta 3307 já está em uso por outro programa. Pare ou remova o servidor que usa essa porta, ou feche o "
         L"programa que a ocupa, e tente novamente.", 48},
        {"not run as administrator", [](Machine& m) { m.rt.administrator = false; },
         L"Este aplicativo precisa ser executado como ADMINISTRADOR.\r\nA instalação será interrompida!", 48},
        // Asked, No the default and the answer.
        {"files ordinary users may replace",
         [](Machine& m) {
             m.rt.replaceable_by[test::Lower(kApp + L"\\unzip32.dll")] = {L"Todos"};
             m.rt.replaceable_by[test::Lower(kApp + L"\\velto.sql")] = {L"Usuários"};
         },
         kQuestion + L"unzip32.dll (Todos)\r\nvelto.sql (Usuários)" + kQuestionEnd, 48 + 4 + 256},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        c.arrange(m);
        m.form.cmdConfigurar_Click();
        ASSERT_EQ(m.rt.msgboxes.size(), 1u);
        EXPECT_EQ(m.rt.msgboxes[0].text, c.text);
        EXPECT_EQ(m.rt.msgboxes[0].style, c.style);
        EXPECT_EQ(m.rt.msgboxes[0].title, L"Atenção");
        EXPECT_TRUE(m.view[Control::cmdConfigurar].enabled);
        EXPECT_TRUE(m.view[Control::cmdFechar].enabled);
        EXPECT_TRUE(m.rt.pointer_history.empty());
        EXPECT_TRUE(m.rt.shells.empty());
        EXPECT_EQ(g_fake_unzip.unzip_calls, 0);
        // The library, which may be anyone's, is loaded only once the others have passed.
        EXPECT_EQ(g_fake_unzip.list_calls > 0, c.text.starts_with(L"A porta"));
        // What was made to read the archive, the administrators' alone, is gone again.
        for (const auto& [folder, access] : m.rt.made_folders) {
            EXPECT_FALSE(m.rt.Exists(folder));
            EXPECT_EQ(access, FolderAccess::Private);
        }
        // The log says why in a short section of its own, and nothing more.
        const std::string log = m.rt.FileContent(m.rt.app_path + L"\\ConfiguraMySQL.log");
        EXPECT_NE(log.find("\r\n" + modRegistro::Utf8(L"Mensagem (Atenção): " + c.text.substr(0, c.text.find(L'\r')))),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find(modRegistro::Utf8(L"Configuração do servidor MySQL barrada nas verificações iniciais")),
                  std::string::npos);
        EXPECT_EQ(log.find(modRegistro::Utf8(L"Resposta: Não; nada foi alterado.")) != std::string::npos,
                  (c.style & vbYesNo) != 0);
        EXPECT_EQ(log.find("Etapa"), std::string::npos);
        for (Control label : kStepLabels) EXPECT_TRUE(m.Untouched(label));
    }
}

// An error on the way through the checks (a drive without its medium, a
// record that cannot be written) is logged in the same short section, not
// in the last run's; a press that passes them leaves no such section.
TEST(StartButtonChecks, AnErrorDuringTheChecksIsLoggedInASectionOfItsOwn) {
    Machine m;
    m.form.cmdConfigurar_Click();
    const std::string before = m.rt.FileContent(kLog);
    EXPECT_EQ(before.find(modRegistro::Utf8(L"barrada")), std::string::npos);
    m.rt.services.clear();
    m.rt.RemoveFolder(L"c:\\MySQL");
    m.rt.run_record_fails = true;
    m.form.cmdConfigurar_Click();
    const std::string after = m.rt.FileContent(kLog).substr(before.size());
    const auto titulo = after.find(modRegistro::Utf8(L"Configuração do servidor MySQL barrada nas verificações iniciais"));
    EXPECT_NE(titulo, std::string::npos) << after;
    EXPECT_GT(after.find("Erro 75: Erro de acesso ao caminho/arquivo"), titulo) << after;
    EXPECT_EQ(m.form.Codigo_Configuracao(), 2);
    EXPECT_EQ(m.rt.shells.size(), WholeSetup().size());  // the first press's only
}

TEST(StartButtonChecks, ATypedScriptNotInTheListPassesWhenTheFileExists) {
    Machine m;
    m.rt.AddFile(kApp + L"\\Outro Banco.SQL");
    m.view[Control::cboArquivoSql].text = L"outro banco.sql";
    m.form.cmdConfigurar_Click();
    EXPECT_EQ(m.Lines(), WholeSetup(L"outro banco.sql"));
}

// ---- the run --------------------------------------------------------------------

TEST(StartButtonRun, AllFiveStepsMarkTheirLabelsAndTheSetupCompletes) {
    Machine m;
    m.rt.on_event = [&](const std::wstring& e) {
        if (e != L"MsgBox Concluído a instalação do servidor MySQL!") return;
        // The window is already in its final state when the message shows.
        EXPECT_EQ(m.rt.MousePointer(), vbDefault);
        EXPECT_TRUE(m.view[Control::cmdFechar].enabled);
        EXPECT_FALSE(m.view[Control::cmdConfigurar].enabled);
    };
    // While the archive is extracted, its label tells how far it is.
    std::vector<std::wstring> during;
    // 6 GiB in all, as the first step's listing gives them: the second
    // entry's size is all in its high bits.
    g_fake_unzip.listing = {{"MySQL\\x", 2ull << 30}, {"MySQL\\y", 4ull << 30}};
    g_fake_unzip.during = [&](UzCallbacks& library) {
        for (const char* name : {"MySQL\\x", "MySQL\\y"}) {
            library.service(name, name[6] == 'x' ? std::int32_t{INT32_MIN} : 0);
            during.push_back(m.view[Control::lblInstalacaoMysql].text);
        }
        m.rt.AddFile(L"c:\\MySQL\\my.ini");
    };
    m.form.cmdConfigurar_Click();

    EXPECT_EQ(during, (std::vector<std::wstring>{L"1. Instalação do Mysql (0%)", L"1. Instalação do Mysql (33%)"}));
    EXPECT_EQ(m.Lines(), WholeSetup());
    EXPECT_EQ(g_fake_unzip.archive, "C:\\Apps\\Brevano\\Mysql.zip");
    EXPECT_EQ(g_fake_unzip.folder, "c:\\");
    for (Control label : kStepLabels) EXPECT_TRUE(m.Marked(label)) << SpecOf(label).name;
    EXPECT_FALSE(m.view[Control::lblInstalacaoODBC].visible);
    ASSERT_EQ(m.rt.msgboxes.size(), 1u);
    EXPECT_EQ(m.rt.msgboxes[0].style, 64);
    EXPECT_EQ(m.rt.msgboxes[0].title, L"Concluído");
    EXPECT_EQ(m.rt.pointer_history, (std::vector<int>{vbHourglass, vbDefault}));
    EXPECT_FALSE(m.view[Control::cmdConfigurar].enabled);
    EXPECT_TRUE(m.view[Control::cmdFechar].enabled);
    // Pauses of the steps (40 s, 6 s) and the runner's 500 ms for each of the twenty-one lines.
    EXPECT_EQ(m.rt.clock_ms, 56500u);
}

TEST(StartButtonRun, TheDriveIsTakenOnceInTheLetterCaseOfTheList) {
    Machine m;
    m.view[Control::cboDrive].text = L"D: [DADOS]";
    g_fake_unzip.during = [&](UzCallbacks&) { m.rt.AddFile(L"D:\\MySQL\\my.ini"); };
    m.form.cmdConfigurar_Click();
    EXPECT_EQ(m.rt.events[0], L"Dir D:\\Mysql\\");
    EXPECT_EQ(g_fake_unzip.folder, "D:\\");
    EXPECT_EQ(m.rt.IniValue(L"D:\\MySQL\\my.ini", L"mysqld", L"basedir"), L"\"D:/MySQL/\"");
    ASSERT_EQ(m.rt.shells.size(), 21u);
    EXPECT_EQ(m.rt.shells[0].command_line,
              L"D:\\MySQL\\bin\\mysqld-nt.exe --install MySQL --defaults-file=\"D:\\MySQL\\my.ini\"");
    EXPECT_EQ(m.rt.shells[20].command_line,
              L"D:\\MySql\\bin\\mysql.exe -e \"FLUSH PRIVILEGES;\" -h localhost -u root --password=KQLum4816");
}

// A step turns green only when its work is done: a program that failed, or
// a service that is not running, stops the run with that step's message.
// The run then takes back what it made (the service, then the server folder),
// the labels start over, and a new press needs no cleanup by hand.
TEST(StartButtonRun, EachFailingStepIsUndoneAndSaysSo) {
    struct Case {
        const char* name;
        int step;  // 1-based
        std::function<void(Machine&)> arrange;
        std::size_t lines_run;  // by the steps before, and by the failing one before it failed
        std::wstring reason;    // shown by the failing step; empty for a run-time error
        bool registered = true;  // the service was this run's, and is taken off again
    };
    const std::wstring accounts = L"Não foi possível configurar as contas de usuário.";
    const std::wstring import = L"Não foi possível importar o banco de dados.";
    const std::wstring service = L"Não foi possível iniciar o serviço MySQL.";
    const Case cases[] = {
        {"damaged archive", 1, [](Machine&) { g_fake_unzip.unzip_answer = UZ_NOT_ZIP; }, 0,
         L"Não foi possível descompactar o arquivo Mysql.zip.", false},
        {"no my.ini", 2, [](Machine&) { g_fake_unzip.during = nullptr; }, 0,
         L"A etapa de instalação do MySQL Falhou!\r\n\r\nVerifique se:\r\n"
         L" - O arquivo Mysql.zip contém o arquivo MySQL\\my.ini.\r\n\r\nInicie o processo novamente.", false},
        {"my.ini refuses a key", 2, [](Machine& m) { m.rt.refuse_profile_write_at = 2; }, 0,
         L"Não foi possível gravar o arquivo my.ini.", false},
        // A program that has just ended may hold its file for a moment.
        {"the folder is held for a few seconds", 2,
         [](Machine& m) {
             m.rt.refuse_profile_write_at = 1;
             m.rt.on_event = [&m, held = 4](const std::wstring& e) mutable {
                 if (e == L"RemoveFolder c:\\MySQL" && held-- > 0) throw RuntimeError(75, L"em uso");
             };
         },
         0, L"Não foi possível gravar o arquivo my.ini.", false},
        {"the registration fails", 3, [](Machine& m) { m.ExitWith(L"--install", 1); }, 1, service, false},
        {"another server's service turns up", 3,
         [](Machine& m) {
             m.program_for = [&m](const std::wstring& line) {
                 if (line.find(L"--install") != std::wstring::npos) {
                     m.rt.services[L"mysql"] = {true, true, false, L"d:\\Outro\\bin\\mysqld.exe"};
                     return test::FakeProgram{0, 1, L"", L"The service already exists!"};
                 }
                 return test::FakeProgram{};
             };
         },
         1, service, false},
        {"the service does not start", 3, [](Machine& m) { m.ExitWith(L"sc start", 1); }, 4, service},
        {"the service is not set to start automatically", 3, [](Machine& m) { m.ExitWith(L"sc config", 5); }, 4,
         service},
        {"error inside the service step", 3, [](Machine& m) { m.FailAt(L"Pause 20000", 1); }, 1, L""},
        // However the registration ends, a service it left that runs this
        // run's server is taken off: the service manager may name the
        // program in its own letter case and without ".exe".
        {"the registration times out, having registered the service", 3,
         [](Machine& m) {
             m.program_for = [](const std::wstring& line) {
                 return test::FakeProgram{0, 0, L"", L"", line.find(L"--install") != std::wstring::npos};
             };
         },
         1, service},
        {"the service look-up fails after the registration", 3, [](Machine& m) { m.FailAt(L"QueryService MySQL", 2); },
         1, L""},
        {"the service's program in other letter case, without .exe", 3,
         [](Machine& m) {
             m.program_for = [&m](const std::wstring& line) {
                 if (line.find(L"--install") != std::wstring::npos) {
                     m.rt.services[L"mysql"] = {false, false, true, L"C:\\MYSQL\\BIN\\MYSQLD-NT"};
                 }
                 return test::FakeProgram{0, line.ends_with(L"sc start MySQL") ? 1 : 0, L"", L""};
             };
         },
         4, service},
        // The record would no longer say what the run made: it stops.
        {"the run's record cannot be updated", 4, [](Machine& m) { m.FailAt(L"WriteRunRecord", 7); }, 5,
         L"Não foi possível atualizar o registro da configuração em andamento: Memória insuficiente"},
        {"root's password does not work", 4, [](Machine& m) { m.ExitWith(L"FLUSH PRIVILEGES", 1); }, 7, accounts},
        {"a later grant is refused", 4, [](Machine& m) { m.ExitWith(L"TO velto@'%'", 1); }, 12, accounts},
        // The first step yields once and the third three times: the fifth
        // yield is the first of the accounts step.
        {"error inside the accounts step", 4, [](Machine& m) { m.FailAt(L"DoEvents", 5); }, 7, L""},
        {"the drop cannot reach the server", 5, [](Machine& m) { m.ExitWith(L"DROP DATABASE", 1); }, 18, import},
        {"the script cannot be read", 5, [](Machine& m) { m.ExitWith(L"-D velto <", 1); }, 20, import},
        {"error inside the import step", 5, [](Machine& m) { m.FailAt(L"Pause 2000", 1); }, 18, L""},
    };
    const std::wstring undone = L"A instalação foi desfeita. Corrija o problema e tente novamente.\r\nVeja os detalhes em: " + kLog;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        c.arrange(m);
        m.form.cmdConfigurar_Click();
        const auto whole = WholeSetup();
        std::vector<std::wstring> lines(whole.begin(), whole.begin() + static_cast<long>(c.lines_run));
        if (c.registered) lines.insert(lines.end(), {test::kCmd + L" /c sc stop MySQL", test::kCmd + L" /c sc delete MySQL"});
        // The firewall rule the service step added goes as well.
        if (c.step > 3) lines.push_back(test::LinhaApagaRegra());
        EXPECT_EQ(m.Lines(), lines);
        for (Control label : kStepLabels) EXPECT_TRUE(m.Untouched(label));
        std::vector<std::wstring> shown;
        for (const auto& box : m.rt.msgboxes) shown.push_back(box.text);
        const std::vector<std::wstring> expected =
            c.reason.empty() ? std::vector<std::wstring>{L"Memória insuficiente", undone}
                             : std::vector<std::wstring>{c.reason + L"\r\n\r\n" + undone};
        EXPECT_EQ(shown, expected);
        EXPECT_EQ(m.rt.msgboxes.back().style, 48);
        EXPECT_EQ(m.rt.msgboxes.back().title, L"Atenção");
        EXPECT_TRUE(m.view[Control::cmdConfigurar].enabled);
        EXPECT_FALSE(m.view[Control::cmdFechar].enabled);
        EXPECT_EQ(m.rt.pointer_history, (std::vector<int>{vbHourglass, vbDefault}));
        EXPECT_FALSE(m.rt.Exists(L"c:\\MySQL")) << "the server folder after a failed step";
        // Someone else's service is never ours to take off.
        EXPECT_EQ(m.rt.services.count(L"mysql"), c.name == std::string("another server's service turns up") ? 1u : 0u);
        EXPECT_EQ(m.form.Codigo_Configuracao(), 10 + c.step);
        EXPECT_EQ(m.rt.ExitCode(), 0) << "only a quit mid-run ends with the step's code";
        EXPECT_TRUE(m.rt.shutdown_reason.empty());
    }
}

// What a failed run cannot take back stays, and both the operator and the
// log are told what.
TEST(StartButtonRun, AnUndoThatCannotFinishSaysWhatIsLeft) {
    Machine m;
    // The server does not start, and the service manager refuses the
    // delete: the service stays, and so does the folder its program is in.
    m.program_for = [](const std::wstring& line) {
        const int code = line.ends_with(L"sc start MySQL") ? 1 : line.ends_with(L"sc delete MySQL") ? 5 : 0;
        return test::FakeProgram{0, code, L"", L""};
    };
    m.form.cmdConfigurar_Click();
    ASSERT_EQ(m.rt.msgboxes.size(), 1u);
    EXPECT_EQ(m.rt.msgboxes[0].text, L"Não foi possível iniciar o serviço MySQL.\r\n\r\n"
                                     L"Não foi possível desfazer a instalação por completo.\r\nVeja os detalhes em: " + kLog);
    EXPECT_EQ(m.rt.services.count(L"mysql"), 1u);
    EXPECT_TRUE(m.rt.Exists(L"c:\\MySQL"));
    const std::string log = m.rt.FileContent(kLog);
    for (const char* expected : {"Restou: o serviço MySQL, ainda registrado", "Restou: a pasta c:\\MySQL",
                                 "Não desfeita por completo"}) {
        EXPECT_NE(log.find(expected), std::string::npos) << expected;
    }
    EXPECT_EQ(m.form.Codigo_Configuracao(), 13);
}

TEST(StartButtonRun, APressAfterAFailedRunStartsAfreshAndCanComplete) {
    Machine m;
    m.ExitWith(L"sc start", 1);
    m.form.cmdConfigurar_Click();
    m.program_for = nullptr;
    m.form.cmdConfigurar_Click();
    EXPECT_EQ(g_fake_unzip.unzip_calls, 2);
    ASSERT_EQ(m.rt.msgboxes.size(), 2u);
    EXPECT_EQ(m.rt.msgboxes[1].title, L"Concluído");
    for (Control label : kStepLabels) EXPECT_TRUE(m.Marked(label));
    EXPECT_EQ(m.form.Codigo_Configuracao(), 0);
}

// A command that never returns (a client waiting on a lock) is ended after
// five minutes; the step fails and the run is undone. The import alone may
// take as long as the script needs.
TEST(StartButtonRun, ACommandThatNeverReturnsIsEndedAndTheImportMayTakeHours) {
    for (const std::wstring stuck : {L"-e status", L"TO velto@localhost", L"FLUSH PRIVILEGES", L"-D velto <"}) {
        SCOPED_TRACE(std::string(stuck.begin(), stuck.end()));
        Machine m;
        const bool import = stuck == L"-D velto <";
        m.program_for = [&](const std::wstring& line) {
            test::FakeProgram program;
            if (line.find(stuck) != std::wstring::npos) {
                if (import) program.runs_ms = 3 * 3600 * 1000;
                program.never_ends = !import;
            }
            return program;
        };
        m.form.cmdConfigurar_Click();
        if (import) {
            EXPECT_EQ(m.form.Codigo_Configuracao(), 0);
            EXPECT_TRUE(m.rt.ended_programs.empty());
            continue;
        }
        ASSERT_EQ(m.rt.ended_programs.size(), 1u);
        EXPECT_NE(m.rt.ended_programs[0].find(stuck), std::wstring::npos);
        EXPECT_NE(m.rt.FileContent(kLog).find("tempo esgotado após 300,0 s"), std::string::npos);
        EXPECT_GT(m.form.Codigo_Configuracao(), 10);
        EXPECT_FALSE(m.rt.Exists(L"c:\\MySQL"));
        EXPECT_EQ(m.rt.services.count(L"mysql"), 0u);
    }
}

// Closing the window during a setup asks whether to interrupt it. Yes ends
// the command under way with what it started, no pause or wait goes on, and
// the run is undone; no lets it go on.
TEST(StartButtonRun, AnInterruptedRunEndsItsCommandAndIsUndone) {
    struct Case {
        const char* name;
        const wchar_t* at;  // the event the close comes at, in the command that contains it
        int answer;
        std::size_t lines_run;  // before the undo's
        bool ended;             // the command under way was ended
    };
    const Case cases[] = {
        {"at a pause of the service step", L"Pause 20000", vbYes, 1, false},
        {"during a grant", L"TO velto@localhost", vbYes, 10, true},
        {"during the import", L"-D velto <", vbYes, 20, true},
        {"answered no during the import", L"-D velto <", vbNo, 21, false},
    };
    const std::wstring interrupted = L"A configuração foi interrompida.\r\n\r\nA instalação foi desfeita. Corrija o "
                                     L"problema e tente novamente.\r\nVeja os detalhes em: " + kLog;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        const std::wstring at = c.at;
        const bool pause = at.starts_with(L"Pause");
        // The import alone has no time limit: it would wait for ever.
        m.program_for = [&](const std::wstring& line) {
            test::FakeProgram program;
            program.never_ends = !pause && line.find(at) != std::wstring::npos && c.answer == vbYes;
            program.runs_ms = program.never_ends ? 0 : line.find(at) != std::wstring::npos ? 3600000 : 0;
            return program;
        };
        m.rt.msgbox_answers = {c.answer};
        bool asked = false;
        std::uint64_t interrupted_at = 0;
        m.rt.on_event = [&](const std::wstring& e) {
            const bool now = pause ? e == at
                                   : e == L"WaitForProgram" && !m.rt.shells.empty() &&
                                         m.rt.shells.back().command_line.find(at) != std::wstring::npos;
            if (!now || asked) return;
            asked = true;
            interrupted_at = m.rt.clock_ms;
            bool cancel = false;
            m.form.Form_QueryUnload(cancel);
            EXPECT_TRUE(cancel);
        };
        m.form.cmdConfigurar_Click();

        EXPECT_EQ(m.rt.msgboxes.at(0).text, L"Deseja interromper a configuração? O que já foi feito será desfeito.");
        EXPECT_EQ(m.rt.msgboxes.at(0).style, 36);
        const auto whole = WholeSetup();
        std::vector<std::wstring> lines(whole.begin(), whole.begin() + static_cast<long>(c.lines_run));
        if (c.answer == vbNo) {
            EXPECT_EQ(m.Lines(), lines);
            EXPECT_EQ(m.form.Codigo_Configuracao(), 0);
            continue;
        }
        lines.insert(lines.end(), {test::kCmd + L" /c sc stop MySQL", test::kCmd + L" /c sc delete MySQL"});
        if (c.lines_run > test::LinhasServico().size()) lines.push_back(test::LinhaApagaRegra());
        EXPECT_EQ(m.Lines(), lines);
        EXPECT_EQ(m.rt.ended_programs.size(), c.ended ? 1u : 0u);
        // Nothing waited once the run was interrupted but the undo's commands.
        EXPECT_LE(m.rt.clock_ms - interrupted_at, 500u * (lines.size() - c.lines_run));
        ASSERT_EQ(m.rt.msgboxes.size(), 2u);
        EXPECT_EQ(m.rt.msgboxes[1].text, interrupted);
        EXPECT_EQ(m.form.Codigo_Configuracao(), 6);
        EXPECT_FALSE(m.rt.Exists(L"c:\\MySQL"));
        EXPECT_EQ(m.rt.services.count(L"mysql"), 0u);
        EXPECT_FALSE(m.rt.run_record);
        EXPECT_TRUE(m.view[Control::cmdConfigurar].enabled);
        const std::string log = m.rt.FileContent(kLog);
        EXPECT_NE(log.find("Resultado: interrompida a pedido na etapa "), std::string::npos);
        EXPECT_EQ(log.find("Falha: "), std::string::npos);
    }
}

// A run the program could not finish (a power cut, a kill) is found at the
// next start from its record. Only what it made is taken back, and its
// folder is never deleted: set aside under a new name, with whatever a shop
// put in it since.
TEST(StartButtonRun, ARunCutShortIsFoundAndUndoneAtTheNextStart) {
    const auto question = [](int step) {
        return L"A configuração anterior do MySQL não terminou (iniciada em 08/12/2026 10:00, na etapa " +
               std::to_wstring(step) + L"). Deseja desfazer o que ela fez?";
    };
    const std::wstring aside = L"c:\\MySQL.desfeita-20261208-100000";
    const std::wstring kept =
        L"\r\n\r\nA pasta c:\\MySQL será guardada como " + aside + L", com tudo o que houver nela: nada será apagado.";
    const std::wstring veja = L"Veja os detalhes em: " + kLog;
    const std::wstring done = L"A configuração anterior foi desfeita.\r\n" + veja;
    const std::wstring done_aside =
        L"A configuração anterior foi desfeita.\r\nA pasta c:\\MySQL foi guardada como " + aside + L".\r\n" + veja;
    const std::wstring exists = L"O MySQL já existe nessa máquina.\r\nA instalação será interrompida!";
    const std::wstring on_record = exists + L"\r\n\r\nA configuração anterior do MySQL não terminou (iniciada em "
                                            L"08/12/2026 10:00, na etapa 5). Abra o programa de novo e responda Sim "
                                            L"para desfazer o que ela fez.";
    const std::wstring completed = L"Concluído a instalação do servidor MySQL!";
    struct Case {
        const char* name;
        const wchar_t* cut_at;  // the run is killed at this event (#n: its n-th); none: the machine as arranged
        std::function<void(Machine&)> since;  // what happened to the machine after the cut
        int answer;                           // to the question at the start, when there is one
        std::vector<std::wstring> shown;      // after the administrator reminder
        bool service_undone;                  // the undo stopped and deleted the service
        bool record_stays;
        const char* logged = nullptr;
    };
    const auto nothing = [](Machine&) {};
    const Case cases[] = {
        {"undone, the shop's data set aside", L"-D velto <", nothing, vbYes,
         {question(5) + kept, done_aside, completed}, true, false,
         "Desfeito: a pasta c:\\MySQL foi guardada como c:\\MySQL.desfeita-20261208-100000"},
        {"kept, and a press refused", L"-D velto <", nothing, vbNo, {question(5) + kept, on_record}, false, true},
        {"a shop's server without a record", nullptr,
         [](Machine& m) {
             m.rt.AddFolder(L"c:\\MySQL\\bin");
             m.rt.services[L"mysql"] = {true, true, false, L"c:\\MySQL\\bin\\mysqld-nt.exe"};
         },
         vbYes, {exists}, false, false},
        // The record of a run that completed outlived it: its server is
        // the shop's, and nothing asks to undo it.
        {"a completed run's record that could not be removed", nullptr,
         [](Machine& m) {
             m.rt.run_record_stays = true;
             m.form.cmdConfigurar_Click();
             ASSERT_EQ(m.form.Codigo_Configuracao(), 0);
             ASSERT_TRUE(m.rt.run_record);
             m.rt.run_record_stays = false;
         },
         vbYes, {exists}, false, false},
        // From the service step on, the service is that run's to take off.
        {"cut at the service step", L"sc config MySQL", nothing, vbYes, {question(3) + kept, done_aside, completed},
         true, false},
        {"cut between making the folder and recording it", L"WriteRunRecord#4", nothing, vbYes,
         {question(1) + kept, done_aside, completed}, false, false},
        // Made again by hand at the same path, for the same service: the
        // shop's server, not that run's.
        {"the folder made again since, with the same service", L"-D velto <",
         [](Machine& m) {
             m.rt.RemoveFolder(L"c:\\MySQL");
             m.rt.AddFolder(L"c:\\MySQL\\bin");
         },
         vbYes, {question(5), done, exists}, false, false,
         "Não tocada: a pasta c:\\MySQL, que não é a que aquela configuração criou"},
        {"a record without the folder's identity", nullptr,
         [](Machine& m) {
             m.LeftByARunCutShort();
             m.rt.run_record = Configuracao_Em_Andamento{L"2026-12-08 10:00:00", L"c:", 5, L""}.Texto();
         },
         vbYes, {question(5), done, exists}, false, false, "Não tocado: o serviço MySQL"},
        {"another service runs from the folder", L"-D velto <",
         [](Machine& m) { m.rt.services[L"backup"] = {true, true, false, L"c:\\MySQL\\bin\\backup.exe"}; }, vbYes,
         {L"Nada da configuração anterior foi desfeito: o serviço backup (c:\\MySQL\\bin\\backup.exe) usa a pasta "
          L"c:\\MySQL.\r\n" + veja,
          on_record},
         false, true, "Não tocada: a pasta c:\\MySQL, usada pelo serviço backup"},
        // Anyone could have written it, naming a folder for us to take.
        {"a record others may change", nullptr,
         [](Machine& m) {
             m.LeftByARunCutShort();
             m.rt.run_record_open = true;
         },
         vbYes,
         {L"O registro da configuração anterior (HKLM\\SOFTWARE\\Brevano\\ConfiguraMySQL) pode ser alterado por "
          L"usuários que não são administradores: ele foi ignorado e nada foi desfeito.\r\n" + veja,
          exists},
         false, true},
        {"an undo that cannot finish stays on record", L"-D velto <", [](Machine& m) { m.ExitWith(L"sc delete", 5); },
         vbYes, {question(5) + kept, L"Não foi possível desfazer a instalação por completo.\r\n" + veja, on_record},
         true, true, "Restou: a pasta c:\\MySQL, usada pelo serviço MySQL"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        m.rt.AddFile(L"C:\\WINDOWS\\system32\\LUMATREX.OCX");
        if (c.cut_at != nullptr) {
            const std::wstring cut = c.cut_at, at = cut.substr(0, cut.find(L'#'));
            m.rt.on_event = [&m, at, count = at == cut ? 1 : std::stoi(cut.substr(at.size() + 1))](
                                const std::wstring& e) mutable {
                if (e.find(at) != std::wstring::npos && --count == 0) throw test::ProgramEnded{};
            };
            EXPECT_THROW(m.form.cmdConfigurar_Click(), test::ProgramEnded);
            m.rt.on_event = nullptr;
            ASSERT_TRUE(m.rt.run_record);
        }
        c.since(m);
        // What the shop has written into the server since.
        if (m.rt.Exists(L"c:\\MySQL")) m.rt.AppendToFile(L"c:\\MySQL\\Data\\loja\\vendas.MYD", "dados");
        const std::size_t before = m.rt.shells.size();
        m.rt.msgboxes.clear();
        test::FakeView view;
        frmPrincipal started{view};
        m.rt.msgbox_answers = {vbOK, c.answer};
        started.Form_Load();
        view[Control::cboArquivoSql].text = L"velto.sql";
        started.cmdConfigurar_Click();

        std::vector<std::wstring> shown;
        for (std::size_t i = 1; i < m.rt.msgboxes.size(); ++i) shown.push_back(m.rt.msgboxes[i].text);
        EXPECT_EQ(shown, c.shown);
        const bool setup = c.shown.back() == completed, set_aside = c.shown.size() > 1 && c.shown[1] == done_aside;
        // The service goes with the firewall rule that run may have added.
        auto expected = c.service_undone ? std::vector<std::wstring>{test::kCmd + L" /c sc stop MySQL",
                                                                     test::kCmd + L" /c sc delete MySQL",
                                                                     test::LinhaApagaRegra()}
                                         : std::vector<std::wstring>{};
        if (setup) std::ranges::copy(WholeSetup(), std::back_inserter(expected));
        const auto all = m.Lines();
        EXPECT_EQ(std::vector<std::wstring>(all.begin() + static_cast<long>(before), all.end()), expected);
        EXPECT_EQ(started.Codigo_Configuracao(), setup ? 0 : 2);
        EXPECT_EQ(m.rt.run_record.has_value(), c.record_stays);
        EXPECT_EQ(m.rt.Exists(aside), set_aside);
        EXPECT_EQ(m.rt.FileContent((set_aside ? aside : L"c:\\MySQL") + L"\\Data\\loja\\vendas.MYD"), "dados");
        EXPECT_EQ(m.rt.services.count(L"mysql"), 1u);  // the shop's, or the one set up afresh
        if (c.logged != nullptr) {
            EXPECT_NE(m.rt.FileContent(kLog).find(c.logged), std::string::npos) << c.logged;
        }
    }
}

// ---- other handlers during the steps' yields ----------------------------------

// Taking the service away under a setup would leave it reporting a server
// that is gone: [ ! ] says a run is under way, at any yield, and removes nothing.
TEST(StartButtonReentrancy, TheRemovalButtonDuringASetupRemovesNothing) {
    const std::wstring busy = L"A configuração está em andamento. Aguarde o seu término.";
    Machine m;
    m.rt.msgbox_answers = {vbYes, vbYes, vbYes, vbYes};
    m.rt.on_event = [&](const std::wstring& e) {
        if (e == L"DoEvents" || e == L"Pause 2000") m.form.cmdRemoveServico_Click();
    };
    m.form.cmdConfigurar_Click();
    m.rt.on_event = nullptr;

    EXPECT_EQ(m.Lines(), WholeSetup());
    ASSERT_GE(m.rt.msgboxes.size(), 2u);
    for (std::size_t i = 0; i + 1 < m.rt.msgboxes.size(); ++i) {
        EXPECT_EQ(m.rt.msgboxes[i].text, busy);
        EXPECT_EQ(m.rt.msgboxes[i].style, 64);
    }
    EXPECT_EQ(m.rt.msgboxes.back().title, L"Concluído");
    EXPECT_EQ(m.form.Codigo_Configuracao(), 0);
    EXPECT_EQ(m.rt.services.count(L"mysql"), 1u);
    for (Control label : kStepLabels) EXPECT_TRUE(m.Marked(label));
}

TEST(StartButtonReentrancy, TheScriptIsReadAgainForTheImportButTheDriveIsNot) {
    Machine m;
    m.rt.AddFile(kApp + L"\\outro banco.sql");
    m.rt.on_event = [&](const std::wstring& e) {
        if (e != L"Pause 20000") return;
        m.view[Control::cboArquivoSql].text = L"outro banco.sql";
        m.view[Control::cboDrive].text = L"e: [OUTRO]";
    };
    m.form.cmdConfigurar_Click();
    EXPECT_EQ(m.Lines(), WholeSetup(L"outro banco.sql"));
}

TEST(StartButtonReentrancy, APressDuringTheRunStartsNothing) {
    Machine m;
    bool pressed = false;
    m.rt.on_event = [&](const std::wstring& e) {
        if (e != L"DoEvents" || pressed) return;
        pressed = true;
        const std::size_t before = m.rt.events.size();
        m.form.cmdConfigurar_Click();
        EXPECT_EQ(m.rt.events.size(), before);
    };
    m.form.cmdConfigurar_Click();
    EXPECT_TRUE(pressed);
    EXPECT_EQ(m.Lines(), WholeSetup());
    EXPECT_EQ(g_fake_unzip.unzip_calls, 1);
    EXPECT_EQ(m.rt.msgboxes.size(), 1u);
}

// The waits serve the window's messages, so a close request or a press can
// come while a setup or a removal runs: neither may end or nest it.
TEST(StartButtonReentrancy, ACloseRequestOrAnotherPressDuringARunChangesNothing) {
    const std::wstring busy = L"A configuração está em andamento. Aguarde o seu término.";
    Machine m;
    std::vector<bool> cancelled;
    const auto close_and_press = [&] {
        bool cancel = false;
        m.form.Form_QueryUnload(cancel);
        cancelled.push_back(cancel);
        m.form.cmdFechar_Click();  // greyed during a setup, but not during a removal
        const std::size_t before = m.rt.shells.size();
        m.form.cmdRemoveServico_Click();
        m.form.cmdConfigurar_Click();
        EXPECT_EQ(m.rt.shells.size(), before);
    };
    // During a setup's wait, then during a removal's.
    m.rt.on_event = [&, pauses = 0](const std::wstring& e) mutable {
        if (e == L"Pause 20000" && ++pauses == 1) close_and_press();
    };
    m.form.cmdConfigurar_Click();
    m.rt.on_event = nullptr;
    m.rt.msgbox_answers = {vbYes};
    m.program_for = [&, inner = false](const std::wstring& line) mutable {
        if (line.ends_with(L"sc stop MySQL") && !inner) {
            inner = true;
            close_and_press();
        }
        return test::FakeProgram{};
    };
    m.form.cmdRemoveServico_Click();

    EXPECT_EQ(cancelled, (std::vector<bool>{true, true}));
    EXPECT_EQ(std::count_if(m.rt.events.begin(), m.rt.events.end(), [](const auto& e) { return e.starts_with(L"End"); }),
              0);
    std::vector<std::wstring> shown;
    for (const auto& box : m.rt.msgboxes) shown.push_back(box.text.substr(0, 20));
    const std::wstring b = busy.substr(0, 20);
    // A close during the setup asks whether to interrupt it (answered no,
    // it goes on); during the removal it is refused.
    const std::wstring q = L"Deseja interromper a";
    // A second [ ! ] during the removal says why nothing happens, too.
    EXPECT_EQ(shown, (std::vector<std::wstring>{q, q, b, L"Concluído a instalaç", L"Remover o serviço do", b, b, b,
                                                 L"O Serviço MySQL foi "}));
    EXPECT_EQ(m.rt.msgboxes[0].style, 36);
    EXPECT_EQ(m.rt.msgboxes[0].title, L"Atenção");
    EXPECT_EQ(m.rt.msgboxes[2].style, 64);
    EXPECT_EQ(m.rt.services.count(L"mysql"), 0u);

    bool cancel = true;
    m.form.Form_QueryUnload(cancel);
    EXPECT_FALSE(cancel);
}

// The log of a whole setup: what was asked, every command with what it wrote,
// each step, the outcome; the password nowhere, not even in what a program
// echoed. A client that went past failing statements completes the setup
// with a word about it.
TEST(SetupLog, AWholeRunIsLoggedWithoutThePassword) {
    Machine m;
    m.view[Control::chkBinario].value = 1;
    m.rt.hashes[test::Lower(kApp + L"\\Mysql.zip")] = L"5f70bf18a086007016e948b04aed3b82103a36bea41755b6cddfaf10ace3c6ef";
    m.rt.changeable_by[test::Lower(kApp)] = {L"Usuários"};
    m.rt.changeable_by[test::Lower(kApp + L"\\Mysql.zip")] = {L"Usuários", L"Todos"};
    // Other servers of the family: one that starts with Windows is named,
    // one stopped and started by hand is not.
    m.rt.services[L"mariadb"] = {false, true, true, L"C:\\Program Files\\MariaDB 10.6\\bin\\mysqld"};
    m.rt.services[L"antigo"] = {false, false, true, L"D:\\antigo\\bin\\mysqld-nt.exe"};
    m.rt.replaceable_by[test::Lower(kApp + L"\\ConfiguraMySQL.exe")] = {L"Usuários"};
    m.rt.replaceable_by[test::Lower(kApp + L"\\Mysql.zip")] = {L"Usuários", L"Todos"};
    m.rt.msgbox_answers = {vbYes};
    m.program_for = [](const std::wstring& line) {
        test::FakeProgram program{250, 0, L"", L""};
        if (line.find(L"TO root@localhost") != std::wstring::npos) {
            program.exit_code = 1;  // root had the password already: tolerated
            program.errors = L"ERROR 1045 (28000): Access denied for user 'root'@'localhost' (using password: NO)";
        }
        if (line.find(L"-D velto <") != std::wstring::npos) {
            program.output = L"eco: " + line;
            program.errors = L"ERROR 1146 (42S02) at line 7: Table 'velto.nao_existe' doesn't exist\r\n";
        }
        return program;
    };
    m.form.cmdConfigurar_Click();

    ASSERT_EQ(m.rt.msgboxes.size(), 2u);
    EXPECT_EQ(m.rt.msgboxes[0].text,
              kQuestion + L"ConfiguraMySQL.exe (Usuários)\r\nMysql.zip (Usuários, Todos)" + kQuestionEnd);
    EXPECT_EQ(m.rt.msgboxes[1].text, L"Concluído a instalação do servidor MySQL!\r\n\r\n"
                                     L"A importação do banco de dados terminou com erros. Veja os detalhes em: " + kLog);
    EXPECT_EQ(m.rt.msgboxes[1].style, 48);
    for (Control label : kStepLabels) EXPECT_TRUE(m.Marked(label));

    const std::string log = m.rt.FileContent(kLog);
    ASSERT_EQ(log.rfind("\xEF\xBB\xBF", 0), 0u) << "no byte-order mark";
    EXPECT_EQ(log.find("KQLum4816"), std::string::npos);
    EXPECT_EQ(log.find("\n", 3), log.find("\r\n", 2) + 1) << "lines end in CR LF";
    for (const char* expected :
         {"2026-12-08 10:00:00  Configuração do servidor MySQL", "Programa: Brevano MySQL 1.0.0", "Drive: c:",
          "Arquivo do banco de dados: velto.sql", "Log binário: sim",
          "[2026-12-08 10:00:00] c:\\MySql\\bin\\mysql -e \"FLUSH PRIVILEGES;\" -h localhost -u root --password=********",
          "        ERROR 1045 (28000): Access denied", "    duração 0,5 s; código de saída 1",
          "Etapa 3. Criação de serviço Mysql: concluída", "Serviço MySQL: em execução, inicialização automática",
          "        eco: C:\\WINDOWS\\system32\\cmd.exe /c c:\\MySql\\bin\\mysql -h localhost -u root "
          "--password=******** -D velto",
          "        ERROR 1146 (42S02) at line 7", "Resultado: concluída; a importação terminou com erros",
          "] Aviso: outro servidor MySQL ou MariaDB nesta máquina: serviço mariadb (C:\\Program Files\\MariaDB "
          "10.6\\bin\\mysqld), parado, inicialização automática\r\n"}) {
        EXPECT_NE(log.find(expected), std::string::npos) << expected;
    }
    // What ran as administrator, and who else could have changed it.
    for (const char* expected :
         {"Mysql.zip (SHA-256): 5f70bf18a086007016e948b04aed3b82103a36bea41755b6cddfaf10ace3c6ef\r\n",
          "unzip32.dll (SHA-256): não foi possível ler\r\n", "Aviso: podem alterar a pasta do programa: Usuários\r\n",
          "Aviso: podem alterar Mysql.zip: Usuários, Todos\r\n",
          "Arquivos que usuários comuns podem alterar: ConfiguraMySQL.exe (Usuários), Mysql.zip (Usuários, Todos); "
          "Sim respondido por LOJA\\tecnico\r\n"}) {
        EXPECT_NE(log.find(expected), std::string::npos) << expected;
    }
    EXPECT_EQ(log.find("podem alterar unzip32.dll"), std::string::npos);
    EXPECT_EQ(log.find("antigo"), std::string::npos);
    // Every one of the twenty commands, in order.
    std::size_t at = 0;
    for (const auto& line : WholeSetup()) {
        const std::string masked = modRegistro::Utf8(modRegistro::Mascara(line));
        at = log.find("] " + masked + "\r\n", at);
        EXPECT_NE(at, std::string::npos) << modRegistro::Utf8(line);
    }
}

TEST(SetupLog, GoesToTheTemporaryFolderWhenTheProgramsFolderCannotBeWritten) {
    Machine m;
    m.rt.SetEnv(L"TEMP", L"C:\\Users\\João\\AppData\\Local\\Temp\\");
    m.rt.read_only_folders = {kApp};
    m.ExitWith(L"sc start", 1);
    m.form.cmdConfigurar_Click();
    const std::wstring temp_log = L"C:\\Users\\João\\AppData\\Local\\Temp\\ConfiguraMySQL.log";
    ASSERT_EQ(m.rt.msgboxes.size(), 1u);
    EXPECT_EQ(m.rt.msgboxes[0].text, L"Não foi possível iniciar o serviço MySQL.\r\n\r\nA instalação foi desfeita. "
                                     L"Corrija o problema e tente novamente.\r\nVeja os detalhes em: " + temp_log);
    const std::string log = m.rt.FileContent(temp_log);
    EXPECT_NE(log.find("Serviço MySQL: parado, inicialização automática"), std::string::npos);
    EXPECT_NE(log.find("Resultado: interrompida na etapa 3. Criação de serviço Mysql"), std::string::npos);
    EXPECT_EQ(log.find("GRANT"), std::string::npos);
}

}  // namespace
}  // namespace cm

namespace cm {
namespace {

// ---- unattended, from the command line -------------------------------------

TEST(CommandLine, OptionsAreReadIgnoringCaseWithEitherPrefix) {
    using Modo = Opcoes::Modo;
    struct Case {
        std::vector<std::wstring> args;
        Modo modo;
        std::wstring drive, banco;
        bool logbin;
    };
    const Case cases[] = {
        {{}, Modo::Janela, L"", L"", false},
        {{L"/instalar", L"/drive=C:", L"/banco=Banco Novo.sql", L"/logbin"}, Modo::Instalar, L"C:", L"Banco Novo.sql", true},
        {{L"-INSTALAR", L"-Banco=velto.sql", L"-DRIVE=d:"}, Modo::Instalar, L"d:", L"velto.sql", false},
        {{L"/Remover"}, Modo::Remover, L"", L"", false},
        {{L"/?"}, Modo::Ajuda, L"", L"", false},
        {{L"/instalar", L"/drive=C:"}, Modo::Invalida, L"", L"", false},
        {{L"/instalar", L"/drive=C", L"/banco=velto.sql"}, Modo::Invalida, L"", L"", false},
        {{L"/instalar", L"/remover", L"/drive=C:", L"/banco=velto.sql"}, Modo::Invalida, L"", L"", false},
        {{L"/remover", L"/logbin"}, Modo::Invalida, L"", L"", false},
        {{L"/instalar", L"/drive=C:", L"/banco=velto.sql", L"/silencioso"}, Modo::Invalida, L"", L"", false},
        {{L"instalar"}, Modo::Invalida, L"", L"", false},
        {{L"/logbin=1", L"/instalar", L"/drive=C:", L"/banco=velto.sql"}, Modo::Invalida, L"", L"", false},
        {{L"/verificar"}, Modo::Verificar, L"", L"", false},
        {{L"-VERIFICAR", L"/Drive=d:"}, Modo::Verificar, L"d:", L"", false},
        {{L"/verificar", L"/drive=D"}, Modo::Invalida, L"", L"", false},
        {{L"/verificar", L"/remover"}, Modo::Invalida, L"", L"", false},
        {{L"/verificar", L"/verificar"}, Modo::Invalida, L"", L"", false},
    };
    for (const auto& c : cases) {
        std::wstring shown;
        for (const auto& a : c.args) shown += a + L" ";
        SCOPED_TRACE(modRegistro::Utf8(shown));
        const Opcoes o = Interpreta_Linha_Comando(c.args);
        EXPECT_EQ(o.modo, c.modo);
        if (c.modo == Modo::Invalida) {
            EXPECT_FALSE(o.erro.empty());
            continue;
        }
        EXPECT_EQ(o.drive, c.drive);
        EXPECT_EQ(o.banco, c.banco);
        EXPECT_EQ(o.logbin, c.logbin);
    }
}

// What an unattended run ends with, as its exit code; nothing is ever shown
// or asked, and every text that would have been a box is in the log.
TEST(CommandLine, EachOutcomeHasItsExitCodeAndNothingIsShown) {
    struct Case {
        const char* name;
        std::vector<std::wstring> args;
        std::function<void(Machine&)> arrange;
        int code;
        const char* logged;  // in the log
        const char* absent = nullptr;  // not in the log
    };
    const std::vector<std::wstring> install{L"/instalar", L"/drive=c:", L"/banco=velto.sql", L"/logbin"};
    const Case cases[] = {
        {"completed", install, [](Machine&) {}, 0, "Resultado: concluída\r\n"},
        {"completed with import errors", install,
         [](Machine& m) {
             m.program_for = [](const std::wstring& line) {
                 return test::FakeProgram{0, 0, L"", line.find(L"-D velto") != std::wstring::npos ? L"ERROR 1064" : L""};
             };
         },
         0, "A importação do banco de dados terminou com erros"},
        {"bad command line", {L"/instalar", L"/banco=velto.sql"}, [](Machine&) {}, 1, "Linha de comando inválida"},
        {"usage", {L"/?"}, [](Machine&) {}, 0, "Execução pela linha de comando"},
        {"product missing", install, [](Machine& m) { m.rt.RemoveFolder(L"C:\\WINDOWS\\system32"); }, 2,
         "Instale o Velto antes de configurar o servidor."},
        {"script missing", {L"/instalar", L"/drive=c:", L"/banco=sumiu.sql"}, [](Machine&) {}, 2,
         "Arquivo de banco de dados não encontrado!"},
        {"not administrator", install, [](Machine& m) { m.rt.administrator = false; }, 3, "ADMINISTRADOR"},
        {"a file ordinary users may replace", install,
         [](Machine& m) { m.rt.replaceable_by[test::Lower(kApp + L"\\Mysql.zip")] = {L"Todos"}; }, 2,
         "Mysql.zip (Todos)\r\n\r\nQualquer um deles poderia trocar o servidor MySQL por um programa seu"},
        {"the service does not start", install, [](Machine& m) { m.ExitWith(L"sc start", 1); }, 13,
         "Não foi possível iniciar o serviço MySQL."},
        {"a replace question is answered no",
         install,
         [](Machine&) {
             g_fake_unzip.during = [](UzCallbacks& t) {
                 char name[] = "c:\\MySQL\\my.ini";
                 EXPECT_EQ(t.replace(name), 100);  // not replaced
             };
         },
         12, "Overwrite c:\\MySQL\\my.ini?"},
        {"removed", {L"/remover"}, [](Machine& m) { m.rt.services[L"mysql"] = {true, true, false, L"c:\\MySQL\\bin\\mysqld-nt.exe"}; }, 0,
         "não está mais registrado"},
        {"removal refused", {L"/REMOVER"},
         [](Machine& m) {
             m.rt.services[L"mysql"] = {true, true, false, L"c:\\MySQL\\bin\\mysqld-nt.exe"};
             m.ExitWith(L"sc delete", 5);
         },
         20, "ainda está registrado"},
        // Another copy holds the machine: nothing is done, not even a log section.
        {"another copy is running", install, [](Machine& m) { m.rt.other_copy = true; }, 4, nullptr},
        {"another copy is running, removal", {L"/remover"}, [](Machine& m) { m.rt.other_copy = true; }, 4, nullptr},
        // A quit message or the end of the Windows session ends the program
        // mid-run: whoever started it must not read success.
        {"ended during the service step", install,
         [](Machine& m) {
             m.rt.on_event = [&m](const std::wstring& e) {
                 if (e.ends_with(L"sc start MySQL")) m.rt.End();
             };
         },
         13, "Etapa 3. Criação de serviço Mysql\r\n"},
        {"ended while the press's check lists the archive", install,
         [](Machine& m) {
             m.rt.on_event = [&m](const std::wstring& e) {
                 if (e == L"RunInBackground") m.rt.End();
             };
         },
         6, "Execução pela linha de comando"},
        {"ended while the log's header reads the archive", install,
         [](Machine& m) {
             m.rt.on_event = [&m, n = 0](const std::wstring& e) mutable {
                 if (e == L"RunInBackground" && ++n == 2) m.rt.End();
             };
         },
         6, "Execução pela linha de comando"},
        // The server answers on this machine either way.
        {"the firewall refuses the rule", install, [](Machine& m) { m.ExitWith(L"advfirewall firewall add", 1); }, 0,
         "Aviso: o firewall do Windows não criou a regra 'Brevano MySQL (porta 3306)' (o firewall está "
         "desligado ou não permitiu a regra): os terminais da loja podem não alcançar o servidor"},
        {"interrupted (Ctrl+C) during the import", install,
         [](Machine& m) {
             m.program_for = [](const std::wstring& line) {
                 return test::FakeProgram{0, 0, L"", L"", line.find(L"-D velto <") != std::wstring::npos};
             };
             m.rt.on_event = [&m](const std::wstring& e) {
                 if (e == L"WaitForProgram" && m.rt.shells.back().command_line.find(L"-D velto <") != std::wstring::npos) {
                     EXPECT_TRUE(m.rt.Interrupt());
                 }
             };
         },
         6, "Resultado: interrompida a pedido na etapa 5. Importação do banco novo"},
        {"a run cut short before is undone first", install,
         [](Machine& m) { m.LeftByARunCutShort(); }, 0, "Desfazer a configuração anterior do MySQL"},
        {"a run cut short before, another service in its folder", install,
         [](Machine& m) {
             m.LeftByARunCutShort();
             m.rt.services[L"backup"] = {true, true, false, L"c:\\MySQL\\bin\\backup.exe"};
         },
         2, "Nada da configuração anterior foi desfeito: o serviço backup (c:\\MySQL\\bin\\backup.exe)", "sc stop"},
        // The undo finishes, and nothing more is started.
        {"Ctrl+C during the undo of a run cut short", install,
         [](Machine& m) {
             m.LeftByARunCutShort();
             m.rt.on_event = [&m](const std::wstring& e) {
                 if (e.ends_with(L"sc stop MySQL")) m.rt.RequestInterrupt();
             };
         },
         6, "Desfeita: nada da configuração anterior ficou na máquina", "Etapa 1."},
        {"interrupted (Ctrl+C) during the extraction", install,
         [](Machine& m) {
             g_fake_unzip.unzip_answer = UZ_ABORTED;
             g_fake_unzip.during = [&m](UzCallbacks& t) {
                 m.rt.RequestInterrupt();
                 EXPECT_NE(t.service("MySQL\\bin\\mysqld-nt.exe", 1000), 0);
             };
         },
         6, "Desfeito: a pasta c:\\MySQL foi apagada", "Etapa 2."},
        {"a run cut short before that cannot be undone", install,
         [](Machine& m) {
             m.LeftByARunCutShort();
             m.ExitWith(L"sc delete", 5);
         },
         2, "Não foi possível desfazer a instalação por completo."},
        {"ended during the removal", {L"/remover"},
         [](Machine& m) {
             m.rt.services[L"mysql"] = {true, true, false, L"c:\\MySQL\\bin\\mysqld-nt.exe"};
             m.rt.on_event = [&m](const std::wstring& e) {
                 if (e.ends_with(L"sc delete MySQL")) m.rt.End();
             };
         },
         20, "sc stop MySQL"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        m.rt.AddFile(L"C:\\WINDOWS\\system32\\LUMATREX.OCX");
        c.arrange(m);
        int code = -1;
        try {
            code = Executa_Desatendido(Interpreta_Linha_Comando(c.args), m.form, m.view, L"ConfiguraMySQL.exe");
        } catch (const test::ProgramEnded&) {
            code = m.EndedWith();
        }
        EXPECT_EQ(code, c.code);
        EXPECT_TRUE(m.rt.msgboxes.empty());
        EXPECT_TRUE(m.rt.input_prompts.empty());
        ASSERT_FALSE(m.rt.console.empty());
        if (c.logged == nullptr) {
            EXPECT_EQ(m.rt.console, std::vector<std::wstring>{L"O configurador do MySQL já está em execução nesta máquina."});
            EXPECT_TRUE(m.rt.FileContent(kLog).empty());
            EXPECT_TRUE(m.rt.shells.empty());
            continue;
        }
        EXPECT_NE(m.rt.FileContent(kLog).find(c.logged), std::string::npos) << c.logged;
        if (c.absent != nullptr) {
            EXPECT_EQ(m.rt.FileContent(kLog).find(c.absent), std::string::npos) << c.absent;
        }
        EXPECT_EQ(m.rt.console.front(), L"Arquivo de log: " + kLog);
    }
}

TEST(CommandLine, ASecondCopyOfTheWindowSaysSoAndTheSessionWaitsForARun) {
    Machine m;
    EXPECT_TRUE(Copia_Unica());
    m.rt.other_copy = true;
    EXPECT_FALSE(Copia_Unica());
    ASSERT_EQ(m.rt.msgboxes.size(), 1u);
    EXPECT_EQ(m.rt.msgboxes[0].text, L"O configurador do MySQL já está em execução nesta máquina.");
    EXPECT_EQ(m.rt.msgboxes[0].style, 48);
    EXPECT_EQ(m.rt.msgboxes[0].title, L"Atenção");

    // While a setup or a removal runs, ending the session has to wait.
    std::vector<std::wstring> reasons;
    m.rt.on_event = [&](const std::wstring& e) {
        if (e.starts_with(L"Shell")) reasons.push_back(m.rt.shutdown_reason);
    };
    m.form.cmdConfigurar_Click();
    m.rt.msgbox_answers = {vbYes};
    m.form.cmdRemoveServico_Click();
    EXPECT_EQ(reasons.size(), WholeSetup().size() + 3);
    for (const auto& reason : reasons) EXPECT_EQ(reason, L"Configuração do MySQL em andamento");
    EXPECT_TRUE(m.rt.shutdown_reason.empty());
}

// ---- /verificar ------------------------------------------------------------------

// What a real MariaDB client (-N -B) answers, and a real MariaDB error log.
const std::wstring kRecusa = L"ERROR 1045 (28000): Access denied for user 'transfer'@'localhost' (using password: YES)\n";
const std::wstring kSemServidor = L"ERROR 2002 (HY000): Can't connect to server on '127.0.0.1' (115)\n";
const std::string kInicioMariaDB = "0 [Note] Starting MariaDB 10.11.19-MariaDB-0+deb12u1 source revision "
                                   "5843d8475120241667a7ce0f8a1abb6c9b43a273 server_uid DDZGjTOKc7Ta2YNNK5sOhfpPEGE= "
                                   "as process ";
const std::string kProntoMariaDB = "0 [Note] /usr/sbin/mariadbd: ready for connections.\n"
                                   "Version: '10.11.19-MariaDB-0+deb12u1'  socket: '/tmp/cmcap.QDCf/sock'  port: 3399  "
                                   "Debian 12\n";
const std::string kLogLimpo = "2026-12-09  2:21:43 " + kInicioMariaDB + "11507\n2026-12-09  2:21:43 " + kProntoMariaDB;

// A shop's server on drive C: as a setup left it; each row changes one thing.
struct Loja {
    std::string my_ini = "[mysqld]\r\nport=3306\r\nbasedir=\"C:/MySQL/\"\r\ndatadir=\"C:/MySQL/Data/\"\r\nlog-bin= \r\n";
    std::string log_erros = kLogLimpo;
    std::wstring velto = L"1\t2\n";  // the database there, with two tables
    std::wstring log_bin = L"log_bin\tON\n";
    std::wstring recusada;  // the account the server refuses
    bool sem_servidor = false;
    std::wstring regra = L"(porta 3306)";  // the firewall rule that is there
};

TEST(ServerCheck, EachOutcomeHasItsLinesAndExitCode) {
    struct Case {
        const char* name;
        std::vector<std::wstring> args;
        std::function<void(Machine&, Loja&)> arrange;
        const char* checks;  // per check: O OK, F FALHA, A AVISO, - not checked
        int code;
        std::vector<std::wstring> shown;  // console lines that contain these
        std::vector<std::wstring> hidden{};
    };
    const std::vector<std::wstring> c{L"/verificar", L"/drive=C:"};
    std::string aberto = "2026-12-09  2:22:12 " + kInicioMariaDB + "11828\n"
                         "2026-12-09  2:22:12 0 [ERROR] mariadbd: Can't open shared library '/usr/lib/mysql/plugin/"
                         "nao_existe.so' (errno: 2, cannot open shared object file: No such file or directory)\n"
                         "2026-12-09  2:22:12 0 [ERROR] Couldn't load plugins from 'nao_existe.so'.\n";
    // Read from its end in pieces: the last start lies a few pieces back.
    for (int i = 0; i < 12000; ++i) aberto += "2026-12-09  2:22:12 0 [Note] InnoDB: Compressed tables use zlib 1.2.13\n";
    // A line longer than a piece is quoted by its beginning.
    aberto += "2026-12-09  2:22:13 0 [ERROR] Slave SQL: Error 'Duplicate entry' on query. Query: 'INSERT INTO loja VALUES ";
    for (int i = 0; i < 60000; ++i) aberto += "(1,'Matriz'),";
    aberto += "'\n";
    const std::string mariadb = kLogLimpo + "2026-12-09  2:22:08 0 [Note] /usr/sbin/mariadbd: Shutdown complete\n"
                                "2026-12-09  2:22:11 " + kInicioMariaDB + "11820\n"
                                "2026-12-09  2:22:12 0 [ERROR] /usr/sbin/mariadbd: unknown variable 'nao-existe=1'\n"
                                "2026-12-09  2:22:12 0 [ERROR] Aborting\n" + aberto + "2026-12-09  2:22:13 " + kProntoMariaDB;
    // MySQL 5.0 writes no line when it starts; after a crash InnoDB's recovery does.
    const std::string mysql50 =
        "090312 18:02:41 [Note] C:\\MySQL\\bin\\mysqld-nt: ready for connections.\r\n"
        "090312 18:20:07 [ERROR] C:\\MySQL\\bin\\mysqld-nt: Table '.\\velto\\loja' is marked as crashed\r\n"
        "InnoDB: Database was not shut down normally!\r\n"
        "090313  8:01:55 [ERROR] Cannot find table velto/produto from the internal data dictionary of InnoDB\r\n"
        "090313  8:01:56 [Note] C:\\MySQL\\bin\\mysqld-nt: ready for connections.\r\n"
        "090313  9:10:01 [ERROR] C:\\MySQL\\bin\\mysqld-nt: Can't open file: 'produto.MYI' (errno: 145)\r\n";
    std::string seis = kLogLimpo;
    for (char n = '1'; n <= '6'; ++n) seis += std::string("2026-12-09  3:00:0") + n + " 0 [ERROR] erro " + n + "\n";
    const Case cases[] = {
        {"in order, the drive from the service", {L"/verificar"}, [](Machine&, Loja&) {}, "OOOOOOOOOOOO", 0,
         {L"Verificação 1. Serviço MySQL registrado: OK (C:\\MySQL\\bin\\mysqld-nt.exe)",
          L"Verificação 4. Arquivo my.ini: OK (porta 3306, log binário: sim)",
          L"Verificação 6. Banco de dados velto: OK (2 tabelas)",
          L"Verificação 11. Porta do servidor: OK (porta 3306, C:\\MySQL\\bin\\mysqld-nt.exe)",
          L"Verificação 12. Firewall: OK (Brevano MySQL (porta 3306))\nServidor MySQL em ordem.\nVeja os detalhes em: " + kLog},
         {L"antiga"}},
        {"no service", c,
         [](Machine& m, Loja& l) {
             m.rt.services.clear();
             l.sem_servidor = true;
         },
         "F--OF--OOOOO", 31,
         {L"1. Serviço MySQL registrado: FALHA: não há serviço MySQL registrado\n", L"2 falha(s)",
          L"Verificação 2. Início automático do serviço: não verificado (depende da verificação 1)",
          L"responde às contas do produto: FALHA: o servidor não responde em localhost (ERROR 2002 (HY000)"}},
        {"another program", c,
         [](Machine& m, Loja&) { m.rt.services[L"mysql"].program = L"D:\\Outro\\bin\\mysqld.exe"; }, "F--OOOOOOOOO", 31,
         {L"FALHA: o serviço executa D:\\Outro\\bin\\mysqld.exe, não C:\\MySQL\\bin\\mysqld-nt.exe"}},
        {"manual start", c, [](Machine& m, Loja&) { m.rt.services[L"mysql"].automatic = false; }, "OFOOOOOOOOOO", 32,
         {L"2. Início automático do serviço: FALHA: o serviço não inicia com o Windows"}},
        {"stopped", c,
         [](Machine& m, Loja& l) {
             m.rt.services[L"mysql"] = {false, true, true, L"C:\\MySQL\\bin\\mysqld-nt.exe"};
             m.rt.listeners.clear();
             l.sem_servidor = true;
             // Its last run is the one that ended.
             l.log_erros = "2026-12-09  2:21:40 0 [ERROR] antes\n2026-12-09  2:21:41 0 [Note] mariadbd: Shutdown "
                           "complete\n" + kLogLimpo + "2026-12-09  2:22:00 0 [ERROR] mariadbd: Disk full\n"
                           "2026-12-09  2:22:08 0 [Note] InnoDB: Shutdown completed; log sequence number 50856\n"
                           "2026-12-09  2:22:08 0 [Note] /usr/sbin/mariadbd: Shutdown complete\n\n";
         },
         "OOFOF--OOAOO", 33,
         {L"3. Serviço em execução: FALHA: o serviço está parado", L"[ERROR] mariadbd: Disk full",
          L"11. Porta do servidor: OK (porta 3306 livre, o serviço não está em execução)"},
         {L"antes"}},
        {"no my.ini", c, [](Machine&, Loja& l) { l.my_ini.clear(); }, "OOOFOO-OOO--", 34,
         {L"4. Arquivo my.ini: FALHA: não há o arquivo C:\\MySQL\\my.ini",
          L"7. Log binário: não verificado (depende da verificação 4)"}},
        {"an account refused", c, [](Machine&, Loja& l) { l.recusada = L"transfer"; }, "OOOOF--OOOOO", 35,
         {L"FALHA: a senha do produto foi recusada para transfer (ERROR 1045 (28000): Access denied for user "
          L"'transfer'@'localhost' (using password: YES))"}},
        {"no velto", c, [](Machine&, Loja& l) { l.velto = L"0\t0\n"; }, "OOOOOFOOOOOO", 36,
         {L"6. Banco de dados velto: FALHA: não há o banco velto"}},
        {"binary log differs", c, [](Machine&, Loja& l) { l.log_bin = L"log_bin\tOFF\n"; }, "OOOOOOAOOOOO", 0,
         {L"AVISO: o servidor está com o log binário desligado e o my.ini pede ligado: falta reiniciar o serviço "
          L"MySQL"}},
        {"writable folder", c,
         [](Machine& m, Loja&) { m.rt.changeable_by[L"c:\\mysql\\bin"] = {L"Usuários", L"Todos"}; }, "OOOOOOOAOOOO",
         0, {L"8. Permissões da pasta do servidor: AVISO: podem alterar C:\\MySQL\\bin: Usuários, Todos"}},
        {"low space", c, [](Machine& m, Loja&) { m.rt.free_space = 512u << 20; }, "OOOOOOOOAOOO", 0,
         {L"9. Espaço livre no drive: AVISO: restam 512 MB livres no drive C:"}},
        {"error lines since the last start", c, [&](Machine&, Loja& l) { l.log_erros = mariadb; }, "OOOOOOOOOAOO", 0,
         {L"10. Log de erros do servidor: AVISO: as últimas linhas com [ERROR] desde o último início, em "
          L"C:\\MySQL\\Data\\loja.err:",
          L"    2026-12-09  2:22:12 0 [ERROR] mariadbd: Can't open shared library '/usr/lib/mysql/plugin/nao_existe.so'",
          L"    2026-12-09  2:22:12 0 [ERROR] Couldn't load plugins from 'nao_existe.so'.\n"
          L"    2026-12-09  2:22:13 0 [ERROR] Slave SQL: Error 'Duplicate entry' on query. Query: 'INSERT INTO loja"},
         {L"unknown variable", L"Aborting"}},
        {"error lines of a MySQL 5.0 restarted after a crash", c, [&](Machine&, Loja& l) { l.log_erros = mysql50; },
         "OOOOOOOOOAOO", 0, {L"    090313  8:01:55 [ERROR] Cannot find", L"    090313  9:10:01 [ERROR] C:"},
         {L"marked as crashed"}},
        {"the last five error lines", c, [&](Machine&, Loja& l) { l.log_erros = seis; }, "OOOOOOOOOAOO", 0,
         {L"    2026-12-09  3:00:02 0 [ERROR] erro 2", L"    2026-12-09  3:00:06 0 [ERROR] erro 6"}, {L"erro 1"}},
        {"no drive given and no service", {L"/verificar"}, [](Machine& m, Loja&) { m.rt.services.clear(); },
         "F-----------", 31, {L"FALHA: não há serviço MySQL registrado; informe o drive com /drive=X:"}},
        {"no administrator rights", c, [](Machine& m, Loja&) { m.rt.administrator = false; }, "OOOOOOOAOAOO", 0,
         {L"AVISO: sem direitos de administrador, C:\\MySQL\\Data não foi verificada",
          L"AVISO: sem direitos de administrador, C:\\MySQL\\Data não pode ser lida"}},
        // A check only reads: it runs beside a setup or a window.
        {"another copy is running", c, [](Machine& m, Loja&) { m.rt.other_copy = true; }, "OOOOOOOOOOOO", 0, {}},
        // Another server took the port, and it starts with Windows.
        {"another program holds the port", c,
         [](Machine& m, Loja&) {
             m.rt.listeners[3306] = {{5555, L"C:\\xampp\\mysql\\bin\\mysqld.exe"}};
             m.rt.services[L"mysqlxampp"] = {false, true, true, L"C:\\xampp\\mysql\\bin\\mysqld.exe"};
         },
         "OOOOOOOOOOFO", 41,
         {L"11. Porta do servidor: FALHA: a porta 3306 está em uso por C:\\xampp\\mysql\\bin\\mysqld.exe (processo 5555)\n",
          L"12. Firewall: OK (Brevano MySQL (porta 3306))\nAviso: outro servidor MySQL ou MariaDB nesta máquina: serviço "
          L"mysqlxampp (C:\\xampp\\mysql\\bin\\mysqld.exe), parado, inicialização automática\nO servidor MySQL tem "
          L"problemas: 1 falha(s)."}},
        // my.ini names the port: the one on 3306 is not the server's.
        {"another port, nothing on it, no rule for it", c,
         [](Machine&, Loja& l) { l.my_ini = "[mysqld]\r\nport = 3307\r\nlog-bin\r\n"; }, "OOOOOOOOOOAA", 0,
         {L"11. Porta do servidor: AVISO: nada atende na porta 3307, com o serviço MySQL em execução",
          L"12. Firewall: AVISO: não há a regra 'Brevano MySQL (porta 3307)' no firewall"}},
        // Ended half-way (a quit message, the session's end), a check vouches for nothing.
        {"ended during a check", c,
         [](Machine& m, Loja&) {
             m.rt.on_event = [&m](const std::wstring& e) {
                 if (e.starts_with(L"Shell ")) m.rt.End();
             };
         },
         "OOOO", 6, {}},
        // MySQL 5.0 after a normal stop and start: the run before is not this one.
        {"an error of MySQL 5.0's run before its last start", c,
         [](Machine&, Loja& l) {
             l.log_erros = "090312 18:20:07 [ERROR] C:\\MySQL\\bin\\mysqld-nt: Table '.\\velto\\loja' is marked as "
                           "crashed\r\n090312 19:00:00 [Note] C:\\MySQL\\bin\\mysqld-nt: Shutdown complete\r\n\r\n"
                           "090313  8:01:56 [Note] C:\\MySQL\\bin\\mysqld-nt: ready for connections.\r\n";
         },
         "OOOOOOOOOOOO", 0, {L"10. Log de erros do servidor: OK (nenhum erro"}, {L"marked as crashed"}},
        {"product missing", c, [](Machine& m, Loja&) { m.rt.RemoveFolder(L"C:\\WINDOWS\\system32"); }, "", 2,
         {L"Instale o Velto antes de configurar o servidor."}},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        Machine m;
        Loja loja;
        m.rt.AddFile(L"C:\\WINDOWS\\system32\\LUMATREX.OCX");
        m.rt.services[L"mysql"] = {true, true, false, L"C:\\MySQL\\bin\\mysqld-nt.exe"};
        m.rt.AddFile(L"C:\\MySQL\\bin\\mysqld-nt.exe");
        m.rt.AddFile(L"C:\\MySQL\\bin\\mysql.exe");
        m.rt.listeners[3306] = {{4321, L"C:\\MySQL\\bin\\mysqld-nt.exe"}};
        t.arrange(m, loja);
        if (!loja.my_ini.empty()) m.rt.AppendToFile(L"C:\\MySQL\\my.ini", loja.my_ini);
        // After a rename of the machine: the older log is not the server's.
        m.rt.AppendToFile(L"C:\\MySQL\\Data\\antiga.err", "2026-01-01 0 [ERROR] antiga\n");
        m.rt.AppendToFile(L"C:\\MySQL\\Data\\loja.err", loja.log_erros);
        m.rt.write_times[L"c:\\mysql\\data\\loja.err"] = 2;
        m.program_for = [&loja](const std::wstring& line) {
            if (line.find(L"netsh") != std::wstring::npos) return test::FakeProgram{0, line.ends_with(loja.regra + L"\"") ? 0 : 1, L"", L""};
            if (loja.sem_servidor) return test::FakeProgram{0, 1, L"", kSemServidor};
            if (!loja.recusada.empty() && line.find(L" -u " + loja.recusada + L" ") != std::wstring::npos) {
                return test::FakeProgram{0, 1, L"", kRecusa};
            }
            if (line.find(L"information_schema") != std::wstring::npos) return test::FakeProgram{0, 0, loja.velto, L""};
            if (line.find(L"'log_bin'") != std::wstring::npos) return test::FakeProgram{0, 0, loja.log_bin, L""};
            return test::FakeProgram{0, 0, L"1\n", L""};
        };
        int code = -1;
        try {
            code = Executa_Desatendido(Interpreta_Linha_Comando(t.args), m.form, m.view, L"ConfiguraMySQL.exe");
        } catch (const test::ProgramEnded&) {
            code = m.EndedWith();
        }
        EXPECT_EQ(code, t.code);
        std::string checks;
        std::wstring console;
        for (const auto& line : m.rt.console) {
            console += line + L"\n";
            if (!line.starts_with(L"Verificação ")) continue;
            const auto colon = line.find(L": ");
            checks += line.find(L": OK", colon) == colon       ? 'O'
                      : line.find(L": FALHA:", colon) == colon ? 'F'
                      : line.find(L": AVISO:", colon) == colon ? 'A'
                                                               : '-';
        }
        EXPECT_EQ(checks, t.checks) << modRegistro::Utf8(console);
        for (const auto& text : t.shown) EXPECT_NE(console.find(text), std::wstring::npos) << modRegistro::Utf8(text);
        for (const auto& text : t.hidden) EXPECT_EQ(console.find(text), std::wstring::npos) << modRegistro::Utf8(text);
        const std::string log = m.rt.FileContent(kLog);
        EXPECT_EQ(console.find(L"KQLum4816"), std::wstring::npos);
        EXPECT_EQ(log.find("KQLum4816"), std::string::npos);
        EXPECT_EQ(log.find("Verificação do servidor MySQL") != std::string::npos, t.code != 2);
        // Read only: the client and the firewall ask, nothing else runs, nothing is made.
        for (const auto& shell : m.rt.shells) {
            EXPECT_TRUE(shell.command_line.starts_with(L"C:\\MySQL\\bin\\mysql.exe -N -B --connect_timeout=5 -e \""
                                                       L"S") ||
                        shell.command_line.starts_with(test::kCmd + L" /c netsh advfirewall firewall show rule name="))
                << modRegistro::Utf8(shell.command_line);
        }
        EXPECT_TRUE(m.rt.made_folders.empty() && m.rt.profile_writes.empty());
    }
}

}  // namespace
}  // namespace cm
