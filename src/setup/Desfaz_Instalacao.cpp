// Taking the MySQL service off the machine, for the removal and for a setup
// that failed, and taking back the server folder a failed setup made.
#include <functional>
#include <optional>
#include <string>

#include "app/frmPrincipal.h"
#include "setup/Comandos.h"
#include "system/Mensagens.h"
#include "system/Runtime.h"
#include "system/modPrincipal.h"
#include "system/modRegistro.h"

namespace cm {

namespace {

using modPrincipal::Executa_Aguarda;
using modPrincipal::kJanelaOculta;

// How long the server may take to stop (it writes its tables out first),
// and the service manager to let go of a deleted service.
constexpr std::uint32_t kEsperaParada = 60000;
constexpr std::uint32_t kEsperaRemocao = 30000;
constexpr std::uint32_t kIntervaloConsulta = 500;
// Windows refuses a stop while the service is still on its way up (just
// after its start, or after a reboot): it is asked again this often.
constexpr std::uint32_t kIntervaloReenvio = 5000;
constexpr int kTentativasPasta = 20;

// Asks the service manager until the service is as wanted or the time is
// up, serving the window's messages meanwhile; answers whether it is.
bool Aguarda_Servico(const std::function<bool(const std::optional<ServiceState>&)>& como, std::uint32_t limite) {
    const std::uint64_t inicio = Rt().TickCount();
    for (;;) {
        if (como(Rt().QueryService(comandos::kServico))) return true;
        if (Rt().TickCount() - inicio >= limite) return false;
        Rt().Pause(kIntervaloConsulta);
    }
}

std::wstring Segundos(std::uint32_t milissegundos) { return std::to_wstring(milissegundos / 1000) + L" s"; }

}  // namespace

bool frmPrincipal::Para_E_Apaga_Servico() {
    const auto para = [] {
        Executa_Aguarda(comandos::Controle_Servico(L"stop"), kJanelaOculta);
        return Rt().TickCount();
    };
    std::uint64_t enviada = para();
    // The stop command returns once the stop is asked for; a delete while
    // the server is still stopping, or after a stop that failed, only marks
    // the service for deletion at the next restart, while it stays
    // registered and running until then.
    const bool parado = Aguarda_Servico(
        [&](const auto& estado) {
            if (!estado || estado->stopped) return true;
            if ((estado->running || estado->starting) && Rt().TickCount() - enviada >= kIntervaloReenvio) {
                enviada = para();
            }
            return false;
        },
        kEsperaParada);
    if (!parado) {
        modRegistro::Escreve_Agora(mensagens::kNaoParou + Segundos(kEsperaParada) + mensagens::kNaoApagado);
        modRegistro::Escreve_Agora(mensagens::kResultadoRegistrado);
        return false;
    }
    Executa_Aguarda(comandos::Controle_Servico(L"delete"), kJanelaOculta);
    const bool removido = Aguarda_Servico([](const auto& estado) { return !estado; }, kEsperaRemocao);
    modRegistro::Escreve_Agora(removido ? mensagens::kResultadoRemovido
                                        : mensagens::kResultadoRegistrado + (mensagens::kAposSegundos +
                                                                             Segundos(kEsperaRemocao)));
    return removido;
}

bool frmPrincipal::Remove_Pasta_Criada() {
    if (!criado_.pasta) return true;
    const std::wstring pasta = criado_.drive + comandos::kPastaServidor;
    const std::wstring guardar_como = criado_.guardar_como;
    // A program that has just ended (the server, a command the run ended)
    // may hold its file for a moment yet, and so may an antivirus scanning
    // what was just written: a few tries before giving up.
    for (int tentativa = 1;; ++tentativa) {
        try {
            if (guardar_como.empty()) {
                Rt().RemoveFolder(pasta);
            } else {
                Rt().RenameFolder(pasta, guardar_como);
            }
            break;
        } catch (const RuntimeError& erro) {
            if (tentativa == kTentativasPasta) {
                modRegistro::Escreve_Agora(mensagens::kRestouPasta + pasta + L" (" + erro.Description() + L")");
                return false;
            }
            Rt().Pause(kIntervaloConsulta);
        }
    }
    criado_.pasta = false;
    modRegistro::Escreve_Agora(mensagens::kDesfeitoPasta + pasta +
                               (guardar_como.empty() ? mensagens::kFoiApagada
                                                     : mensagens::kFoiGuardadaComo + guardar_como));
    return true;
}

bool frmPrincipal::Desfaz_Instalacao() {
    if (criado_.servico) {
        // Looked up now, whatever the step knew: the registration may have
        // gone through although its command timed out or the look-up failed.
        // Only a service that runs this run's server is this run's.
        const std::wstring servidor = criado_.drive + comandos::kServidor;
        try {
            const auto estado = Rt().QueryService(comandos::kServico);
            if (!estado || !comandos::Mesmo_Programa(estado->program, servidor)) {
                criado_.servico = false;
            } else {
                modRegistro::Escreve_Agora(mensagens::kDesfazendoServico);
                criado_.servico = !Para_E_Apaga_Servico();
                modRegistro::Escreve_Agora(criado_.servico ? mensagens::kRestouServico : mensagens::kDesfeitoServico);
            }
        } catch (const RuntimeError& erro) {
            modRegistro::Escreve_Agora(mensagens::kErroRemoverServico + erro.Description());
            modRegistro::Escreve_Agora(mensagens::kRestouServicoTalvez);
        }
    }
    Fecha_Firewall();
    if (criado_.pasta) {
        // The service would be left pointing at nothing, and a server still
        // running holds its files open: the folder stays with the service.
        if (criado_.servico) {
            modRegistro::Escreve_Agora(mensagens::kRestouPasta + criado_.drive + comandos::kPastaServidor +
                                       mensagens::kUsadaPeloServico);
        } else {
            Remove_Pasta_Criada();
        }
    }
    return !criado_.servico && !criado_.pasta;
}

}  // namespace cm
