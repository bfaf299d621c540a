#include <gtest/gtest.h>

#include <algorithm>
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
    EXPECT_EQ(rt.events.back(), L"DoEvents");
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
// anything outside it is refused before a byte is written.
TEST_F(InstalaMysql, OnlyAnArchiveWhollyInsideTheServerFolderIsExtracted) {
    using Listing = std::vector<std::pair<std::string, std::uint32_t>>;
    const Listing server{{"MySQL/", 0}, {"MySQL\\bin\\mysqld-nt.exe", 10}, {"mysql/my.ini", 1}};
    Listing many = server;
    for (int i = 0; i < 12; ++i) many.emplace_back("outros\\f" + std::to_string(i), 1);
    struct Case {
        const char* name;
        Listing listing;
        std::string outside;  // the log's names, one a line; empty: extracted
    };
    const Case cases[] = {
        {"every entry inside, in any letter case and either slash",
         {{"MySQL/", 0}, {"MYSQL\\Data\\ibdata1", 5}, {"./mysql/bin/mysql.exe", 2}}, ""},
        {"the server's own top folder", {{"mysql-5.0.96-win32\\bin\\mysqld-nt.exe", 9}, {"MySQL\\my.ini", 1}},
         "mysql-5.0.96-win32\\bin\\mysqld-nt.exe\r\n"},
        {"a program for the start-up folder among the server's files",
         {server[1], {"ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\x.exe", 3}, server[2]},
         "ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\x.exe\r\n"},
        {"names that only look like the folder's",
         {server[1], {"MySQLx\\a.txt", 1}, {"MySQL", 1}, {"\\MySQL\\bin\\a.dll", 1}},
         "MySQLx\\a.txt\r\n        MySQL\r\n        \\MySQL\\bin\\a.dll\r\n"},
        {"more than ten names", many,
         "outros\\f0\r\n        outros\\f1\r\n        outros\\f2\r\n        outros\\f3\r\n        "
         "outros\\f4\r\n        outros\\f5\r\n        outros\\f6\r\n        outros\\f7\r\n        "
         "outros\\f8\r\n        outros\\f9\r\n        (e mais 2)\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedFakeRuntime fresh;
        test::FakeRuntime& r = fresh.runtime;
        test::InstallFakeUnzip(r);
        modZip::Esquece_Biblioteca();
        g_fake_unzip.listing = c.listing;
        modRegistro::Inicia(L"Configuração do servidor MySQL", {});
        const bool inside = c.outside.empty();
        EXPECT_EQ(Run(L"c:"), inside ? Verdadeiro : Falso);
        EXPECT_EQ(g_fake_unzip.unzip_calls, inside ? 1 : 0);
        if (inside) continue;
        EXPECT_TRUE(r.made_folders.empty());
        EXPECT_FALSE(r.Exists(L"c:\\MySQL"));
        ASSERT_EQ(r.msgboxes.size(), 1u);
        EXPECT_EQ(r.msgboxes[0].text.rfind(L"Não foi possível descompactar o arquivo Mysql.zip.\r\n", 0), 0u);
        const std::string log = r.FileContent(L"C:\\Apps\\Brevano\\ConfiguraMySQL.log");
        EXPECT_NE(log.find("    O arquivo Mysql.zip tem arquivos fora da pasta MySQL:\r\n        " + c.outside +
                           "[2026-12-08 10:00:00] Falha: Não foi possível descompactar o arquivo Mysql.zip."),
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
