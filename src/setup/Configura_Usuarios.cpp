#include <array>
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

using modPrincipal::Executa_Aguarda;
using modPrincipal::kJanelaOculta;

// The accounts the product uses, each from this machine and from any other.
constexpr std::array<const wchar_t*, 6> kContas{
    L"root@localhost", L"root@'%'", L"velto@localhost", L"velto@'%'", L"transfer@localhost", L"transfer@'%'",
};

// {D}\MySql\bin\mysql -e "GRANT ALL PRIVILEGES ON *.* TO {A} IDENTIFIED BY '{P}' WITH GRANT OPTION;" -h localhost
// -u root, and --password={P} after every grant but the first: that one gives
// root@localhost its password, so it is the only run that logs in without one.
std::wstring Concessao(const std::wstring& cliente, const wchar_t* conta, const std::wstring& senha, bool primeira) {
    const std::wstring login = primeira ? std::wstring(comandos::kLoginSemSenha) : comandos::Login(senha);
    return cliente + L" -e \"GRANT ALL PRIVILEGES ON *.* TO " + conta + L" IDENTIFIED BY '" + senha +
           L"' WITH GRANT OPTION;\"" + login;
}

}  // namespace

void frmPrincipal::Configura_Usuarios(const std::wstring& Drive, const std::wstring& Senha, Logico& Resultado) {
    Resultado = Falso;
    WithStandardHandler([&] {
        const std::wstring cliente = Drive + comandos::kCliente;
        // The first grant is refused when root already has the password; the
        // reload after it logs in with the password and proves it works. Any
        // other run that fails leaves an account without its grants.
        const auto executa = [&](const std::wstring& linha, bool conferida) {
            modPrincipal::Execucao execucao;
            Executa_Aguarda(linha, kJanelaOculta, &execucao);
            if (execucao.Encerrada()) return false;
            return !conferida || (execucao.Concluida && execucao.Codigo_Saida == 0);
        };
        for (std::size_t i = 0; i < kContas.size(); ++i) {
            if (!executa(Concessao(cliente, kContas[i], Senha, i == 0), i > 0) ||
                !executa(comandos::Recarga(cliente, Senha), true)) {
                return Falha_Etapa(mensagens::kFalhaContas);
            }
            Rt().DoEvents();
        }
        Resultado = Verdadeiro;
    });
}

}  // namespace cm
