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

// 1, 2, 4: {D}\MySql\bin\mysql.exe -e "<statement>" -h localhost -u root --password={P}
constexpr const wchar_t* kClienteExe = L"\\MySql\\bin\\mysql.exe";
constexpr const wchar_t* kApagaBanco = L" -e \"DROP DATABASE IF EXISTS velto;\" -h localhost -u root --password=";
constexpr const wchar_t* kCriaBanco = L" -e \"CREATE DATABASE velto;\" -h localhost -u root --password=";
constexpr const wchar_t* kRecarga = L" -e \"FLUSH PRIVILEGES;\" -h localhost -u root --password=";

// 3: {C} /c {D}\MySql\bin\mysql -h localhost -u root --password={P} -D velto < "{F}\{S}" -f
// The interpreter feeds the script to the client; only the script's path is
// quoted, so that blanks in the folder or the name keep it one argument.
constexpr const wchar_t* kInterpretador = L" /c ";
constexpr const wchar_t* kClienteImportacao = L"\\MySql\\bin\\mysql -h localhost -u root --password=";
constexpr const wchar_t* kBancoEntrada = L" -D velto < \"";
constexpr const wchar_t* kSeparador = L"\\";
constexpr const wchar_t* kFimImportacao = L"\" -f";

// Lets the server settle after each change before the next one.
constexpr std::uint32_t kPausaBanco = 2000;

constexpr const wchar_t* kFalhaImportacao = L"Não foi possível importar o banco de dados.";

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
        throw RuntimeError(52, L"Nome ou número de arquivo incorreto: " + nome);
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
        const std::wstring cliente = Drive + kClienteExe;
        // A drop, create or import that failed (server unreachable, script
        // unreadable) leaves no product database: the next must not run.
        modPrincipal::Execucao execucao;
        const auto concluida = [&] { return execucao.Concluida && execucao.Codigo_Saida == 0; };
        Executa_Aguarda(cliente + kApagaBanco + Senha, kJanelaOculta, &execucao);
        if (!concluida()) return Falha_Etapa(kFalhaImportacao);
        Rt().DoEvents();
        Rt().Pause(kPausaBanco);

        Executa_Aguarda(cliente + kCriaBanco + Senha, kJanelaOculta, &execucao);
        if (!concluida()) return Falha_Etapa(kFalhaImportacao);
        Rt().DoEvents();
        Rt().Pause(kPausaBanco);

        const std::wstring interpretador = Rt().Environ(L"Comspec");
        const std::wstring pasta = Rt().AppPath();
        const std::wstring importacao = interpretador + kInterpretador + Drive + kClienteImportacao + Senha +
                                        kBancoEntrada + pasta + kSeparador + Arquivo_Sql + kFimImportacao;
        Executa_Aguarda(importacao, kJanelaOculta, &execucao);
        if (!concluida()) return Falha_Etapa(kFalhaImportacao);
        importacao_com_erros_ = RelataErros(execucao.Erros);
        Rt().DoEvents();
        Rt().Pause(kPausaBanco);

        Executa_Aguarda(cliente + kRecarga + Senha, kJanelaOculta);
        Rt().DoEvents();
        Resultado = Verdadeiro;
    });
}

}  // namespace cm
