#include <optional>
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

// {D}\MySQL\bin\mysqld-nt.exe --install MySQL --defaults-file="{D}\MySQL\my.ini"
std::wstring Instala_Servico(const std::wstring& drive) {
    return drive + comandos::kServidor + L" --install " + comandos::kServico + L" --defaults-file=\"" + drive +
           comandos::kArquivoIni + L"\"";
}

// Time the freshly registered service, and then the started server, get
// before the next command relies on them.
constexpr std::uint32_t kPausaServico = 20000;

std::wstring Descreve(const std::optional<ServiceState>& estado) {
    if (!estado) return mensagens::kNaoRegistrado;
    return std::wstring(estado->running ? mensagens::kEmExecucao : mensagens::kParado) +
           (estado->automatic ? mensagens::kInicioAutomatico : mensagens::kInicioManual);
}

}  // namespace

void frmPrincipal::Cria_Servico(const std::wstring& Drive, Logico& Resultado) {
    Resultado = Falso;
    WithStandardHandler([&] {
        // A command that had to be ended for taking too long leaves the
        // service in a state nobody can vouch for.
        modPrincipal::Execucao execucao;
        const auto executa = [&](const std::wstring& linha) {
            Executa_Aguarda(linha, kJanelaOculta, &execucao);
            return !execucao.Encerrada();
        };
        // From here on the undo looks for a service that runs this run's
        // server: a registration that timed out, was interrupted or raised
        // an error half-way may still have registered it.
        criado_.servico = true;
        if (!executa(Instala_Servico(Drive))) return Falha_Etapa(mensagens::kFalhaServico);
        const bool instalado = execucao.Concluida && execucao.Codigo_Saida == 0;
        // A service that runs another server (registered by someone else in
        // the meantime, or from another drive) is not ours to use: this
        // setup's grants and its drop of the product database would land on
        // that server's data.
        const auto registrado = Rt().QueryService(comandos::kServico);
        const bool nosso = registrado && comandos::Mesmo_Programa(registrado->program, Drive + comandos::kServidor);
        if (registrado && !nosso) {
            modRegistro::Escreve_Agora(mensagens::kOutroPrograma + registrado->program);
        }
        if (!instalado || !nosso) {
            modRegistro::Escreve_Agora(mensagens::kServicoEstado + (comandos::kServico + (L": " + Descreve(registrado))));
            return Falha_Etapa(mensagens::kFalhaServico);
        }
        Rt().Pause(kPausaServico);
        Rt().DoEvents();

        if (!executa(comandos::Controle_Servico(L"config", L" start= auto")) ||
            !executa(comandos::Controle_Servico(L"start"))) {
            return Falha_Etapa(mensagens::kFalhaServico);
        }
        Rt().DoEvents();

        // Informative only: the server may still be starting.
        if (!executa(Drive + comandos::kClienteStatus + L" -e status")) return Falha_Etapa(mensagens::kFalhaServico);
        Rt().Pause(kPausaServico);

        // The step's commands may each fail (no rights, a server that stops
        // at once) while the next one still runs: what counts is the service.
        const auto estado = Rt().QueryService(comandos::kServico);
        modRegistro::Escreve_Agora(mensagens::kServicoEstado + (comandos::kServico + (L": " + Descreve(estado))));
        if (!estado || !estado->running || !estado->automatic) return Falha_Etapa(mensagens::kFalhaServico);
        Abre_Firewall(Drive);
        Resultado = Verdadeiro;
    });
}

}  // namespace cm
