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

void frmPrincipal::cmdRemoveServico_Click() {
    WithStandardHandler([&] {
        const int resposta = Rt().MsgBox(
            L"Remover o serviço do MySQL impedirá o funcionamento do sistema Velto!\r\n\r\n"
            L"Deseja proseguir com a remoção do serviço?",
            36, L"Atenção");
        if (resposta != vbYes) return;
        // The interpreter is looked up afresh for each command; the delete
        // starts only once the stop's interpreter has no window left.
        modPrincipal::Executa_Aguarda(Rt().Environ(L"Comspec") + L" /c sc stop MySQL", 0);
        modPrincipal::Executa_Aguarda(Rt().Environ(L"Comspec") + L" /c sc delete MySQL", 0);
        Rt().MsgBox(L"O Serviço MySQL foi removido!", 0, L"Brevano");
    });
}

}  // namespace cm
