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

// {C} /c {D}\MySql\bin\mysql -h localhost -u root --password={P} -D velto < "{F}\{S}" -f
// The interpreter feeds the script to the client; only the script's path is
// quoted, so that blanks in the folder or the name keep it one argument.
std::wstring Importacao(const std::wstring& drive, const std::wstring& script, const std::wstring& senha) {
    return comandos::Interpretador() + L" /c " + drive + comandos::kCliente + comandos::Login(senha) +
           L" -D velto < \"" + Rt().AppPath() + L"\\" + script + L"\" -f";
}

// Lets the server settle after each change before the next one.
constexpr std::uint32_t kPausaBanco = 2000;

// The client reports each statement it went past (-f) on its error output.
bool RelataErros(const std::wstring& erros) {
    return erros.rfind(L"ERROR", 0) == 0 || erros.find(L"\nERROR") != std::wstring::npos ||
           erros.find(L"\rERROR") != std::wstring::npos;
}

// The script's name goes inside quotes on the interpreter's command line: a
// quote in it would end the quoted path early and let the rest run as further
// commands. Such a name cannot be a file's, so it is refused, not run.
void ExigeNomeDeArquivo(const std::wstring& nome) {
    if (!frmPrincipal::NomeDeArquivoValido(nome)) {
        throw RuntimeError(52, mensagens::kNomeIncorretoDe + nome);
    }
}

}  // namespace

void frmPrincipal::Importa_Banco(const std::wstring& Drive, const std::wstring& Arquivo_Sql, const std::wstring& Senha,
                                 Logico& Resultado) {
    Resultado = Falso;
    WithStandardHandler([&] {
        // Checked before anything runs, so that a refused name leaves the
        // existing database alone.
        ExigeNomeDeArquivo(Arquivo_Sql);
        const std::wstring cliente = Drive + comandos::kClienteBanco;
        // A drop, create or import that failed (server unreachable, script
        // unreadable) leaves no product database: the next must not run.
        modPrincipal::Execucao execucao;
        const auto concluida = [&] { return execucao.Concluida && execucao.Codigo_Saida == 0; };
        Executa_Aguarda(comandos::Executa_Instrucao(cliente, L"DROP DATABASE IF EXISTS velto;", Senha), kJanelaOculta,
                        &execucao);
        if (!concluida()) return Falha_Etapa(mensagens::kFalhaImportacao);
        Rt().DoEvents();
        Rt().Pause(kPausaBanco);

        Executa_Aguarda(comandos::Executa_Instrucao(cliente, L"CREATE DATABASE velto;", Senha), kJanelaOculta,
                        &execucao);
        if (!concluida()) return Falha_Etapa(mensagens::kFalhaImportacao);
        Rt().DoEvents();
        Rt().Pause(kPausaBanco);

        // A large product script may take as long as it needs.
        Executa_Aguarda(Importacao(Drive, Arquivo_Sql, Senha), kJanelaOculta, &execucao, modPrincipal::kSemLimite);
        if (!concluida()) return Falha_Etapa(mensagens::kFalhaImportacao);
        importacao_com_erros_ = RelataErros(execucao.Erros);
        Rt().DoEvents();
        Rt().Pause(kPausaBanco);

        Executa_Aguarda(comandos::Recarga(cliente, Senha), kJanelaOculta, &execucao);
        if (execucao.Encerrada()) return Falha_Etapa(mensagens::kFalhaImportacao);
        Rt().DoEvents();
        Resultado = Verdadeiro;
    });
}

}  // namespace cm
