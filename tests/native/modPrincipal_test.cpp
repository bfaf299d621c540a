#include <gtest/gtest.h>

#include "FakeRuntime.h"
#include "system/modPrincipal.h"

namespace cm {
namespace {

using modPrincipal::Diretorio_Sistema;
using modPrincipal::Grava_Ini;
using modPrincipal::Texto_Limpo;

class ModPrincipal : public ::testing::Test {
protected:
    void SetUp() override {
        modPrincipal::Diretorio_Sistema_Cache.clear();
        modPrincipal::Janela_Encontrada = 0;
    }
    test::ScopedFakeRuntime fake;
    test::FakeRuntime& rt = fake.runtime;
};

TEST_F(ModPrincipal, TextoLimpoOfEveryKindOfValue) {
    EXPECT_EQ(Texto_Limpo(Null{}), L"");
    EXPECT_EQ(Texto_Limpo(Empty{}), L"");
    EXPECT_EQ(Texto_Limpo(std::wstring()), L"");
    EXPECT_EQ(Texto_Limpo(std::wstring(L"   ")), L"");
    EXPECT_EQ(Texto_Limpo(std::wstring(L"  C:\\Windows\\  ")), L"C:\\Windows\\");
    // Only blanks are trimmed, not tabs or line breaks.
    EXPECT_EQ(Texto_Limpo(std::wstring(L" \tx\r\n ")), L"\tx\r\n");
    EXPECT_EQ(Texto_Limpo(std::int32_t{1024}), L"1024");
    EXPECT_EQ(Texto_Limpo(-7.25), L"-7.25");
    EXPECT_TRUE(rt.msgboxes.empty());
}

TEST_F(ModPrincipal, TextoLimpoReportsAValueThatCannotBeCompared) {
    EXPECT_EQ(Texto_Limpo(ObjectRef{}), L"");
    ASSERT_EQ(rt.msgboxes.size(), 1u);
    EXPECT_EQ(rt.msgboxes[0].text, L"Tipos incompatíveis");
    EXPECT_EQ(rt.msgboxes[0].style, 0);
    EXPECT_FALSE(rt.msgboxes[0].title);
}

TEST_F(ModPrincipal, DiretorioSistemaAsksThePlatformOnceAndAddsOneBackslash) {
    rt.system_directory = "C:\\WINDOWS\\system32";
    EXPECT_EQ(Diretorio_Sistema(), L"C:\\WINDOWS\\system32\\");
    rt.system_directory = "D:\\elsewhere";
    EXPECT_EQ(Diretorio_Sistema(), L"C:\\WINDOWS\\system32\\");
    EXPECT_EQ(rt.system_directory_calls, 1);
    EXPECT_EQ(modPrincipal::Diretorio_Sistema_Cache, L"C:\\WINDOWS\\system32\\");
}

TEST_F(ModPrincipal, DiretorioSistemaKeepsAnExistingBackslash) {
    rt.system_directory = "C:\\";
    EXPECT_EQ(Diretorio_Sistema(), L"C:\\");
}

TEST_F(ModPrincipal, DiretorioSistemaConvertsFromTheAnsiCodePage) {
    rt.system_directory = "C:\\Sist\xEAma";
    EXPECT_EQ(Diretorio_Sistema(), L"C:\\Sist\u00EAma\\");
}

TEST_F(ModPrincipal, DiretorioSistemaReadsAPathLongerThanItsBufferWhole) {
    rt.system_directory = "C:\\" + std::string(300, 'd');
    const std::wstring expected = L"C:\\" + std::wstring(300, L'd') + L"\\";
    EXPECT_EQ(Diretorio_Sistema(), expected);
    EXPECT_EQ(Diretorio_Sistema(), expected);
    EXPECT_EQ(rt.system_directory_calls, 2);  // the short try and the sized one, then the cache
}

TEST_F(ModPrincipal, DiretorioSistemaCachesTheBareSeparatorWhenThePlatformFails) {
    rt.system_directory = "";
    EXPECT_EQ(Diretorio_Sistema(), L"\\");
    EXPECT_EQ(Diretorio_Sistema(), L"\\");
    EXPECT_EQ(rt.system_directory_calls, 1);
}

TEST_F(ModPrincipal, GravaIniPassesTheFourTextsInAnsi) {
    rt.AddFolder(L"c:\\MySQL");
    Grava_Ini(L"mysqld", L"basedir", L"\"c:/MySQL/\"", L"c:\\MySQL\\my.ini");
    Grava_Ini(L"mysqld", L"basedir", L"\"c:/Ação/\"", L"c:\\MySQL\\my.ini");
    ASSERT_EQ(rt.profile_writes.size(), 2u);
    EXPECT_EQ(rt.profile_writes[0], (std::vector<std::string>{"mysqld", "basedir", "\"c:/MySQL/\"", "c:\\MySQL\\my.ini"}));
    EXPECT_EQ(rt.profile_writes[1][2], "\"c:/A\xE7\xE3o/\"");
    EXPECT_EQ(rt.IniValue(L"C:\\mysql\\MY.INI", L"mysqld", L"basedir"), L"\"c:/A\u00E7\u00E3o/\"");
}

}  // namespace
}  // namespace cm
