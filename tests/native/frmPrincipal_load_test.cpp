#include <gtest/gtest.h>

#include "FakeRuntime.h"
#include "FakeView.h"
#include "app/frmPrincipal.h"
#include "system/modPrincipal.h"

namespace cm {
namespace {

using test::FakeRuntime;
using test::FakeView;
using test::ProgramEnded;

constexpr const wchar_t* kNotInstalled = L"Instale o Velto antes de configurar o servidor.";
constexpr const wchar_t* kAdminNotice = L"Certifique-se de que esteja executando este aplicativo como ADMINISTRADOR!";

class FormLoad : public ::testing::Test {
protected:
    void SetUp() override {
        modPrincipal::Diretorio_Sistema_Cache.clear();
        rt.system_directory = "C:\\WINDOWS\\system32";
        rt.app_path = L"C:\\Brevano";
        rt.AddFolder(L"C:\\WINDOWS\\system32");
        rt.AddFolder(L"C:\\Brevano");
    }
    // Runs the load handler; answers whether the program went on to show the window.
    bool Load() {
        try {
            form.Form_Load();
            return true;
        } catch (const ProgramEnded&) {
            return false;
        }
    }
    test::ScopedFakeRuntime fake;
    FakeRuntime& rt = fake.runtime;
    FakeView view;
    frmPrincipal form{view};
};

TEST_F(FormLoad, MissingComponentShowsItsMessageAndEndsTheProgram) {
    EXPECT_FALSE(Load());
    ASSERT_EQ(rt.msgboxes.size(), 1u);
    EXPECT_EQ(rt.msgboxes[0].text, kNotInstalled);
    EXPECT_EQ(rt.msgboxes[0].style, 64);
    EXPECT_EQ(rt.msgboxes[0].title, L"Atenção");
    EXPECT_EQ(rt.events.back(), L"End 0");
    // The script list was never filled.
    EXPECT_EQ(std::count(rt.events.begin(), rt.events.end(), L"Dir C:\\Brevano\\*.sql"), 0);
}

TEST_F(FormLoad, ComponentFoundUnderAnotherLetterCase) {
    rt.AddFile(L"C:\\WINDOWS\\system32\\lumatrex.ocx");
    EXPECT_TRUE(Load());
    ASSERT_EQ(rt.msgboxes.size(), 1u);
    EXPECT_EQ(rt.msgboxes[0].text, kAdminNotice);
    EXPECT_EQ(rt.msgboxes[0].style, 64);
    EXPECT_EQ(rt.msgboxes[0].title, L"Informativo");
    EXPECT_EQ(rt.events.front(), L"GetSystemDirectoryA");
}

TEST_F(FormLoad, ComponentWithoutArchiveAttributeOrReadOnlyStillCounts) {
    rt.AddFile(L"C:\\WINDOWS\\system32\\LUMATREX.OCX", test::kReadOnly);
    EXPECT_TRUE(Load());
}

TEST_F(FormLoad, HiddenSystemOrFolderComponentIsNotFound) {
    for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(kind);
        test::ScopedFakeRuntime local;
        FakeRuntime& r = local.runtime;
        modPrincipal::Diretorio_Sistema_Cache.clear();
        r.system_directory = "C:\\WINDOWS\\system32";
        const std::wstring path = L"C:\\WINDOWS\\system32\\LUMATREX.OCX";
        if (kind == 0) r.AddFile(path, test::kHidden | test::kArchiveAttr);
        if (kind == 1) r.AddFile(path, test::kSystem);
        if (kind == 2) r.AddFolder(path);
        FakeView v;
        frmPrincipal f{v};
        EXPECT_THROW(f.Form_Load(), ProgramEnded);
        ASSERT_EQ(r.msgboxes.size(), 1u);
        EXPECT_EQ(r.msgboxes[0].text, kNotInstalled);
    }
}

TEST_F(FormLoad, AdminNoticeOnEveryStartThenTheScriptsInSearchOrder) {
    rt.AddFile(L"C:\\WINDOWS\\system32\\LUMATREX.OCX");
    rt.AddFile(L"C:\\Brevano\\zeta.sql");
    rt.AddFile(L"C:\\Brevano\\Alfa.SQL");
    rt.AddFile(L"C:\\Brevano\\notes.txt");
    rt.AddFile(L"C:\\Brevano\\oculto.sql", test::kHidden);
    rt.AddFolder(L"C:\\Brevano\\pasta.sql");
    rt.AddFile(L"C:\\Brevano\\meio.sql", test::kReadOnly);
    view[Control::cboArquivoSql].text = L"leftover";

    EXPECT_TRUE(Load());
    EXPECT_EQ(rt.msgboxes.size(), 1u);
    EXPECT_EQ(view[Control::cboArquivoSql].items, (std::vector<std::wstring>{L"zeta.sql", L"Alfa.SQL", L"meio.sql"}));
    EXPECT_EQ(view[Control::cboArquivoSql].text, L"");  // none selected
    // The notice came before the search.
    const auto notice = std::find(rt.events.begin(), rt.events.end(), std::wstring(L"MsgBox ") + kAdminNotice);
    const auto search = std::find(rt.events.begin(), rt.events.end(), L"Dir C:\\Brevano\\*.sql");
    EXPECT_LT(notice, search);
}

TEST_F(FormLoad, EmptyFolderLeavesListAndTextEmpty) {
    rt.AddFile(L"C:\\WINDOWS\\system32\\LUMATREX.OCX");
    EXPECT_TRUE(Load());
    EXPECT_TRUE(view[Control::cboArquivoSql].items.empty());
    EXPECT_EQ(view[Control::cboArquivoSql].text, L"");
}

TEST_F(FormLoad, ErrorDuringTheFillKeepsTheItemsSoFarAndTheWindowStillOpens) {
    rt.AddFile(L"C:\\WINDOWS\\system32\\LUMATREX.OCX");
    rt.AddFile(L"C:\\Brevano\\a.sql");
    rt.AddFile(L"C:\\Brevano\\b.sql");
    rt.AddFile(L"C:\\Brevano\\c.sql");
    rt.fail_dir_next_at = 2;
    EXPECT_TRUE(Load());
    EXPECT_EQ(view[Control::cboArquivoSql].items, (std::vector<std::wstring>{L"a.sql", L"b.sql"}));
    ASSERT_EQ(rt.msgboxes.size(), 2u);
    EXPECT_EQ(rt.msgboxes[1].text, L"Nome ou número de arquivo incorreto");
    EXPECT_EQ(rt.msgboxes[1].style, 0);
    EXPECT_FALSE(rt.msgboxes[1].title);
}

TEST_F(FormLoad, ErrorInTheSystemDirectoryLeavesTheLoad) {
    struct Failing : FakeRuntime {
        std::uint32_t GetSystemDirectoryA(char*, std::uint32_t) override { throw RuntimeError(5, L"x"); }
    } failing;
    InstallRuntime(&failing);
    EXPECT_THROW(form.Form_Load(), RuntimeError);
    EXPECT_TRUE(failing.msgboxes.empty());
    InstallRuntime(&rt);
}

class HoverHint : public FormLoad {};

TEST_F(HoverHint, ShownOverTheButtonHiddenOnlyByTheWindowItself) {
    EXPECT_FALSE(view[Control::lblRemoverServico].visible);
    form.cmdRemoveServico_MouseMove(0, 0, 10, 10);
    EXPECT_TRUE(view[Control::lblRemoverServico].visible);
    form.cmdRemoveServico_MouseMove(1, 2, 0, 0);
    EXPECT_TRUE(view[Control::lblRemoverServico].visible);
    form.Form_MouseMove(0, 0, 300, 300);
    EXPECT_FALSE(view[Control::lblRemoverServico].visible);
    form.Form_MouseMove(0, 0, 1, 1);
    EXPECT_FALSE(view[Control::lblRemoverServico].visible);
}

TEST_F(FormLoad, CloseButtonEndsAtOnce) {
    EXPECT_THROW(form.cmdFechar_Click(), ProgramEnded);
    EXPECT_TRUE(rt.msgboxes.empty());
}

}  // namespace
}  // namespace cm
