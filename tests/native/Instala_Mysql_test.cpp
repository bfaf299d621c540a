#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "FakeRuntime.h"
#include "FakeUnzip.h"
#include "FakeView.h"
#include "app/frmPrincipal.h"
#include "system/modRegistro.h"
#include "unzip/modZip.h"

namespace cm {
namespace {

using test::g_fake_unzip;

class InstalaMysql : public ::testing::Test {
protected:
    void SetUp() override {
        modZip::Esquece_Biblioteca();
        test::InstallFakeUnzip(rt);
    }
    void TearDown() override { modZip::Esquece_Biblioteca(); }

    Logico Run(const std::wstring& drive, const std::wstring& archive = L"C:\\Apps\\Brevano\\Mysql.zip") {
        Logico result = 123;
        form.Instala_Mysql(drive, archive, result);
        return result;
    }
    // Runs the step on a given Path and answers the Path it left.
    std::wstring PathAfter(const std::wstring& path, const std::wstring& drive) {
        rt.RemoveFolder(drive + L"\\MySQL");  // left by the run before
        rt.SetEnv(L"Path", path);
        EXPECT_EQ(Run(drive), Verdadeiro);
        return rt.Env(L"PATH").value_or(L"<unset>");
    }
    int Count(const std::wstring& event) const {
        return static_cast<int>(std::count(rt.events.begin(), rt.events.end(), event));
    }

    test::ScopedFakeRuntime fake;
    test::FakeRuntime& rt = fake.runtime;
    test::FakeView view;
    frmPrincipal form{view};
};

TEST_F(InstalaMysql, ExtractsTheArchiveIntoTheDriveRoot) {
    rt.SetEnv(L"Path", L"C:\\WINDOWS");
    EXPECT_EQ(Run(L"d:", L"C:\\Apps\\Brevano\\Mysql.zip"), Verdadeiro);
    EXPECT_EQ(g_fake_unzip.unzip_calls, 1);
    EXPECT_EQ(g_fake_unzip.archive, "C:\\Apps\\Brevano\\Mysql.zip");
    EXPECT_EQ(g_fake_unzip.folder, "d:\\");
    // Made before the extraction, so that what is extracted inherits their access.
    EXPECT_EQ(rt.made_folders, (std::vector<std::pair<std::wstring, FolderAccess>>{
                                   {L"d:\\MySQL", FolderAccess::Server}, {L"d:\\MySQL\\Data", FolderAccess::Private}}));
    EXPECT_TRUE(rt.removed_folders.empty());
    EXPECT_TRUE(rt.msgboxes.empty());
    EXPECT_EQ(rt.doevents_count, 1);
    EXPECT_EQ(rt.events.end()[-2], L"DoEvents");
    EXPECT_EQ(rt.events.back(), L"ReleaseFile C:\\Apps\\Brevano\\Mysql.zip");
}

TEST_F(InstalaMysql, FolderAlreadyOnThePathInAnyCaseIsWrittenBackUnchanged) {
    const std::wstring path = L"C:\\WINDOWS;c:\\mysql\\BIN;D:\\tools";
    EXPECT_EQ(PathAfter(path, L"C:"), path);
    EXPECT_EQ(Count(L"SetEnvironmentVariableA"), 1);
    EXPECT_EQ(rt.doevents_count, 1);
}

TEST_F(InstalaMysql, LongerFolderNamesCountAsFound) {
    for (const std::wstring path : {L"c:\\MySQL\\bin2", L"X;c:\\MySQL\\bin\\extra;Y"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(PathAfter(path, L"c:"), path);
    }
}

TEST_F(InstalaMysql, MissingFolderIsAppendedWithTheDriveInCapitals) {
    EXPECT_EQ(PathAfter(L"A;B", L"d:"), L"A;B;D:\\MySQL\\bin");
    // Another drive's server folder is not this one.
    EXPECT_EQ(PathAfter(L"C:\\MySQL\\bin", L"e:"), L"C:\\MySQL\\bin;E:\\MySQL\\bin");
    // A trailing separator still gets one of its own.
    EXPECT_EQ(PathAfter(L"A;", L"d:"), L"A;;D:\\MySQL\\bin");
    // Characters of the code page come back as they were.
    EXPECT_EQ(PathAfter(L"C:\\Programas\\Configura\u00E7\u00E3o", L"c:"),
              L"C:\\Programas\\Configura\u00E7\u00E3o;C:\\MySQL\\bin");
}

TEST_F(InstalaMysql, MissingOrEmptyPathIsLeftAlone) {
    rt.UnsetEnv(L"Path");
    EXPECT_EQ(Run(L"c:"), Verdadeiro);
    EXPECT_FALSE(rt.Env(L"Path"));

    rt.SetEnv(L"Path", L"");
    rt.RemoveFolder(L"c:\\MySQL");
    EXPECT_EQ(Run(L"c:"), Verdadeiro);
    EXPECT_EQ(rt.Env(L"Path"), L"");

    EXPECT_EQ(Count(L"SetEnvironmentVariableA"), 0);
    EXPECT_EQ(rt.doevents_count, 2);
}

TEST_F(InstalaMysql, LongPathIsReadWholeAndExtended) {
    for (std::size_t length : {1023u, 1024u, 1025u, 4000u, 32766u}) {
        SCOPED_TRACE(length);
        std::wstring path;
        for (std::size_t i = 0; path.size() < length; ++i) path += L"C:\\dir" + std::to_wstring(i) + L";";
        path.resize(length, L'x');
        EXPECT_EQ(PathAfter(path, L"c:"), path + L";C:\\MySQL\\bin");
        // Already there at the far end of a long value: nothing added.
        EXPECT_EQ(PathAfter(path + L";c:\\MySQL\\bin", L"c:"), path + L";c:\\MySQL\\bin");
    }
}

// What a broken extraction left must not stop the next press at the check
// for an existing server folder.
TEST_F(InstalaMysql, FailedExtractionRemovesTheFolderItMadeSaysSoAndLeavesThePath) {
    rt.SetEnv(L"Path", L"A;B");
    g_fake_unzip.unzip_answer = UZ_NOT_ZIP;
    g_fake_unzip.during = [&](UzCallbacks& t) {
        rt.AddFile(L"c:\\MySQL\\bin\\mysqld-nt.exe");
        t.print("meia.zip: nao e um arquivo zip", 30);
    };
    EXPECT_EQ(Run(L"c:"), Falso);
    EXPECT_EQ(rt.Env(L"Path"), L"A;B");
    EXPECT_FALSE(rt.Exists(L"c:\\MySQL"));
    EXPECT_EQ(rt.removed_folders, std::vector<std::wstring>{L"c:\\MySQL"});
    ASSERT_EQ(rt.msgboxes.size(), 1u);
    EXPECT_EQ(rt.msgboxes[0].text, L"Não foi possível descompactar o arquivo Mysql.zip.\r\n\r\nVeja os detalhes em: ");
    EXPECT_EQ(rt.msgboxes[0].style, 48);
    EXPECT_EQ(Count(L"GetEnvironmentVariableA"), 0);
    EXPECT_EQ(Count(L"SetEnvironmentVariableA"), 0);
    EXPECT_EQ(rt.doevents_count, 1);
}

// Only {drive}\MySQL is the run's to make and to take back: a package with
// anything outside it, by the paths the library writes, is refused before
// a byte is written, and so is one the listing does not wholly show.
TEST_F(InstalaMysql, OnlyAnArchiveWhollyInsideTheServerFolderIsExtracted) {
    using Listing = std::vector<test::FakeUnzip::Listed>;
    const Listing server{{"MySQL\\", 0}, {"MySQL\\bin\\mysqld-nt.exe", 10}, {"mysql\\my.ini", 1}};
    Listing many = server;
    for (int i = 0; i < 12; ++i) many.push_back({"outros\\f" + std::to_string(i), 1});
    const std::string fora = "    O arquivo Mysql.zip tem arquivos fora da pasta MySQL:\r\n        ";
    struct Case {
        const char* name;
        Listing listing;
        std::string logged;  // the log's lines before the failure, UTF-8; empty: extracted
        std::function<void(test::FakeRuntime&)> arrange = nullptr;
    };
    const Case cases[] = {
        {"every entry inside, in any letter case, and the folder itself",
         {{"MySQL\\", 0}, {"MYSQL\\Data\\ibdata1", 5}, {".", 0}, {"mysql/bin/mysql.exe", 2}}, ""},
        {"the server's own top folder", {{"mysql-5.0.96-win32\\bin\\mysqld-nt.exe", 9}, {"MySQL\\my.ini", 1}},
         fora + "mysql-5.0.96-win32\\bin\\mysqld-nt.exe\r\n"},
        {"a program for the start-up folder among the server's files",
         {server[1], {"ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\x.exe", 3}, server[2]},
         fora + "ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\x.exe\r\n"},
        // A fullwidth M and a fullwidth slash: written as they are, beside MySQL.
        {"names that only look like the folder's",
         {server[1], {"MySQLx\\a.txt", 1}, {"MySQL", 1}, {"\xEF\xBC\xADySQL\\a.dll", 1}, {"MySQL\xEF\xBC\x8F" "a.dll", 1}},
         fora + "MySQLx\\a.txt\r\n        MySQL\r\n        \xEF\xBC\xADySQL\\a.dll\r\n        MySQL\xEF\xBC\x8F" "a.dll\r\n"},
        {"more than ten names", many,
         fora + "outros\\f0\r\n        outros\\f1\r\n        outros\\f2\r\n        outros\\f3\r\n        "
                "outros\\f4\r\n        outros\\f5\r\n        outros\\f6\r\n        outros\\f7\r\n        "
                "outros\\f8\r\n        outros\\f9\r\n        (e mais 2)\r\n"},
        {"names the library would not write as they are, or not read exactly",
         {server[1], {"", 1, "MySQL/../../evil.dll"}, {"MySQL\\\xC0\xAF", 1}},
         "    O arquivo Mysql.zip tem nomes que a unzip32.dll n\xC3\xA3o gravaria exatamente como est\xC3\xA3o:\r\n"
         "        MySQL/../../evil.dll\r\n        MySQL\\\xEF\xBF\xBD\xEF\xBF\xBD\r\n"},
        {"a listing that failed", server,
         "    a listagem do arquivo Mysql.zip pela unzip32.dll retornou o c\xC3\xB3" "digo 2:\r\n"
         "        error: the fake listing failed\r\n",
         [](test::FakeRuntime&) { g_fake_unzip.list_answer = UZ_BAD_ARCHIVE; }},
        {"a listing that named fewer entries than the archive holds", server,
         "    a listagem do arquivo Mysql.zip pela unzip32.dll nomeou 3 das 4 entradas que ele cont\xC3\xA9m\r\n",
         [](test::FakeRuntime&) { g_fake_unzip.held = 4; }},
        {"an archive another program writes", server,
         "    N\xC3\xA3o foi poss\xC3\xADvel abrir o arquivo Mysql.zip de modo que nenhum outro programa o altere "
         "durante a instala\xC3\xA7\xC3\xA3o\r\n",
         [](test::FakeRuntime& r) { r.unholdable = {L"c:\\apps\\brevano\\mysql.zip"}; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedFakeRuntime fresh;
        test::FakeRuntime& r = fresh.runtime;
        test::InstallFakeUnzip(r);
        modZip::Esquece_Biblioteca();
        g_fake_unzip.listing = c.listing;
        if (c.arrange) c.arrange(r);
        modRegistro::Inicia(L"Configuração do servidor MySQL", {});
        const bool inside = c.logged.empty();
        EXPECT_EQ(Run(L"c:"), inside ? Verdadeiro : Falso);
        EXPECT_EQ(g_fake_unzip.unzip_calls, inside ? 1 : 0);
        // Held from before the listing to the end of the step.
        const auto held = std::find(r.events.begin(), r.events.end(), L"HoldFile C:\\Apps\\Brevano\\Mysql.zip");
        EXPECT_LT(held, std::find(r.events.begin(), r.events.end(), L"RunInBackground"));
        EXPECT_TRUE(r.events.back() == L"ReleaseFile C:\\Apps\\Brevano\\Mysql.zip" || !r.unholdable.empty());
        if (inside) continue;
        EXPECT_TRUE(r.made_folders.empty());
        EXPECT_FALSE(r.Exists(L"c:\\MySQL"));
        ASSERT_EQ(r.msgboxes.size(), 1u);
        EXPECT_EQ(r.msgboxes[0].text.rfind(L"Não foi possível descompactar o arquivo Mysql.zip.\r\n", 0), 0u);
        const std::string log = r.FileContent(L"C:\\Apps\\Brevano\\ConfiguraMySQL.log");
        EXPECT_NE(log.find(c.logged + "[2026-12-08 10:00:00] Falha: Não foi possível descompactar o arquivo Mysql.zip."),
                  std::string::npos)
            << log;
    }
}

TEST_F(InstalaMysql, AFolderOfThatNameThatIsNotOursIsLeftAlone) {
    rt.AddFile(L"c:\\MySQL");  // a file: the start button's folder check lets it through
    EXPECT_EQ(Run(L"c:"), Falso);
    EXPECT_TRUE(rt.Exists(L"c:\\MySQL"));
    EXPECT_TRUE(rt.removed_folders.empty());
    EXPECT_EQ(g_fake_unzip.unzip_calls, 0);
    ASSERT_EQ(rt.msgboxes.size(), 1u);
    EXPECT_EQ(rt.msgboxes[0].text.rfind(L"Não foi possível criar a pasta c:\\MySQL", 0), 0u);
}

TEST_F(InstalaMysql, DriverErrorIsShownAndReportsFalse) {
    test::ScopedFakeRuntime without_library;
    test::FakeRuntime& r = without_library.runtime;
    r.SetEnv(L"Path", L"A;B");
    EXPECT_EQ(Run(L"c:"), Falso);
    ASSERT_EQ(r.msgboxes.size(), 1u);
    EXPECT_EQ(r.msgboxes[0].text, L"Arquivo não encontrado: unzip32.dll");
    EXPECT_EQ(r.msgboxes[0].style, 0);
    EXPECT_FALSE(r.msgboxes[0].title);
    EXPECT_EQ(r.Env(L"Path"), L"A;B");
    EXPECT_FALSE(r.Exists(L"c:\\MySQL"));
    EXPECT_EQ(r.doevents_count, 0);
}

}  // namespace
}  // namespace cm
