#include <array>
#include <string>

#include "app/frmPrincipal.h"
#include "system/ErrorHandling.h"
#include "system/Runtime.h"
#include "system/modPrincipal.h"
#include "system/modRegistro.h"

namespace cm {

namespace {

using modPrincipal::Executa_Aguarda;
using modPrincipal::kJanelaOculta;

// The client, started directly by its path (no extension).
constexpr const wchar_t* kCliente = L"\\MySql\\bin\\mysql";

// {D}\MySql\bin\mysql -e "FLUSH PRIVILEGES;" -h localhost -u root --password={P}
constexpr const wchar_t* kRecarga = L" -e \"FLUSH PRIVILEGES;\" -h localhost -u root --password=";

// {D}\MySql\bin\mysql -e "GRANT ALL PRIVILEGES ON *.* TO {A} IDENTIFIED BY '{P}' WITH GRANT OPTION;" -h localhost -u root
// and, for every grant after the first, --password={P} at the end.
constexpr std::array<const wchar_t*, 6> kConcessoes{
    L" -e \"GRANT ALL PRIVILEGES ON *.* TO root@localhost IDENTIFIED BY '",
    L" -e \"GRANT ALL PRIVILEGES ON *.* TO root@'%' IDENTIFIED BY '",
    L" -e \"GRANT ALL PRIVILEGES ON *.* TO velto@localhost IDENTIFIED BY '",
    L" -e \"GRANT ALL PRIVILEGES ON *.* TO velto@'%' IDENTIFIED BY '",
    L" -e \"GRANT ALL PRIVILEGES ON *.* TO transfer@localhost IDENTIFIED BY '",
    L" -e \"GRANT ALL PRIVILEGES ON *.* TO transfer@'%' IDENTIFIED BY '",
};
// The first grant is the one that gives root@localhost its password, so it
// is the only run that logs in without one.
constexpr const wchar_t* kFimPrimeiraConcessao = L"' WITH GRANT OPTION;\" -h localhost -u root";
constexpr const wchar_t* kFimConcessao = L"' WITH GRANT OPTION;\" -h localhost -u root --password=";

constexpr const wchar_t* kFalhaContas = L"Não foi possível configurar as contas de usuário.";

}  // namespace

void frmPrincipal::Configura_Usuarios(const std::wstring& Drive, const std::wstring& Senha, Logico& Resultado) {
    Resultado = Falso;
    WithStandardHandler([&] {
        const std::wstring cliente = Drive + kCliente;
        // The first grant is refused when root already has the password; the
        // reload after it logs in with the password and proves it works. Any
        // other run that fails leaves an account without its grants.
        const auto executa = [&](const std::wstring& linha, bool conferida) {
            modPrincipal::Execucao execucao;
            Executa_Aguarda(linha, kJanelaOculta, &execucao);
            return !conferida || (execucao.Concluida && execucao.Codigo_Saida == 0);
        };
        for (std::size_t i = 0; i < kConcessoes.size(); ++i) {
            const std::wstring fim = i == 0 ? std::wstring(kFimPrimeiraConcessao) : kFimConcessao + Senha;
            if (!executa(cliente + kConcessoes[i] + Senha + fim, i > 0) || !executa(cliente + kRecarga + Senha, true)) {
                return Falha_Etapa(kFalhaContas);
            }
            Rt().DoEvents();
        }
        Resultado = Verdadeiro;
    });
}

}  // namespace cm
