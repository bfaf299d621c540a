#include "app/frmPrincipal.h"

#include "system/ErrorHandling.h"
#include "system/Runtime.h"
#include "system/modPrincipal.h"

namespace cm {

void frmPrincipal::Form_Load() {
    // No handler here: an error while loading is the platform's to report.
    const std::wstring componente = modPrincipal::Diretorio_Sistema() + kComponenteArquivo;
    if (Rt().Dir(componente, vbArchive).empty()) {
        Rt().MsgBox(L"Instale o Velto antes de configurar o servidor.", 64, L"Atenção");
        Rt().End();
    }
    Rt().MsgBox(L"Certifique-se de que esteja executando este aplicativo como ADMINISTRADOR!", 64,
                L"Informativo");
    Preenche_Combo_ArquivosSql();
}

void frmPrincipal::Preenche_Combo_ArquivosSql() {
    WithStandardHandler([&] {
        std::wstring arquivo = Rt().Dir(Rt().AppPath() + L"\\*.sql", vbArchive);
        view_.Clear(Control::cboArquivoSql);
        while (!arquivo.empty()) {
            view_.AddItem(Control::cboArquivoSql, arquivo);
            arquivo = Rt().DirNext();
        }
    });
}

void frmPrincipal::cmdRemoveServico_MouseMove(int, int, float, float) {
    view_.SetVisible(Control::lblRemoverServico, true);
}

void frmPrincipal::Form_MouseMove(int, int, float, float) {
    view_.SetVisible(Control::lblRemoverServico, false);
}

void frmPrincipal::cmdFechar_Click() { Rt().End(); }

}  // namespace cm
