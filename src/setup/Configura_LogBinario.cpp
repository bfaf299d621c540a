#include <string>

#include "app/frmPrincipal.h"
#include "setup/Comandos.h"
#include "system/ErrorHandling.h"
#include "system/Mensagens.h"
#include "system/Runtime.h"
#include "system/modPrincipal.h"
#include "system/modRegistro.h"

namespace cm {

namespace {

constexpr const wchar_t* kSecao = L"mysqld";

// A key and its value; the folders' values come after the drive designator,
// keep the quotes and use forward slashes, as the server reads them.
struct Chave {
    const wchar_t* nome;
    const wchar_t* valor;
};
constexpr Chave kBase{L"basedir", L"/MySQL/\""};
constexpr Chave kDados{L"datadir", L"/MySQL/Data/\""};
constexpr Chave kLogBinario{L"log-bin", L" "};

constexpr int kMarcado = 1;


}  // namespace

void frmPrincipal::Configura_LogBinario(const std::wstring& Drive, Logico& Resultado) {
    Resultado = Falso;
    WithStandardHandler([&] {
        const std::wstring arquivo = Drive + comandos::kArquivoIni;
        // A configuration file that is not there means the extraction did not
        // give the tree we expect; writing keys would create a file that only
        // hides that.
        if (Rt().Dir(arquivo, vbArchive).empty()) return Falha_Etapa(mensagens::kMensagemSemIni);
        // A server started from a file without these keys would look for its
        // data where there is none.
        const auto grava = [&](const wchar_t* chave, const std::wstring& valor) {
            const bool gravada = modPrincipal::Grava_Ini(kSecao, chave, valor, arquivo);
            modRegistro::Escreve(L"    " + arquivo + L" [" + kSecao + L"] " + chave + L"=" + valor +
                                 (gravada ? L"" : mensagens::kIniRecusado));
            return gravada;
        };
        bool gravadas =
            grava(kBase.nome, L"\"" + Drive + kBase.valor) && grava(kDados.nome, L"\"" + Drive + kDados.valor);
        if (gravadas && view_.Value(Control::chkBinario) == kMarcado) {
            gravadas = grava(kLogBinario.nome, kLogBinario.valor);
        }
        if (!gravadas) return Falha_Etapa(mensagens::kFalhaGravacaoIni);
        Resultado = Verdadeiro;
    });
}

}  // namespace cm
