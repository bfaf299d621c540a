// The firewall rule that lets the shop's terminals reach the server: added
// once the service runs, taken back by the undo and by the removal. Through
// the runner and the command interpreter like the service's commands, so
// that the log holds each command line and what the firewall answered.
#include <string>

#include "app/frmPrincipal.h"
#include "setup/Comandos.h"
#include "setup/Porta_Servidor.h"
#include "system/Mensagens.h"
#include "system/Runtime.h"
#include "system/modPrincipal.h"
#include "system/modRegistro.h"

namespace cm {

using namespace mensagens;

namespace {

bool Executa(const std::wstring& linha) {
    modPrincipal::Execucao execucao;
    modPrincipal::Executa_Aguarda(linha, modPrincipal::kJanelaOculta, &execucao);
    return execucao.Concluida && execucao.Codigo_Saida == 0;
}

}  // namespace

void frmPrincipal::Abre_Firewall(const std::wstring& Drive) {
    // The port the server reads, from the my.ini it was started with.
    const std::wstring porta = Porta_Do_Servidor(Drive);
    // Set before the command: one that times out may still have added it.
    criado_.regra = porta;
    // The server answers on this machine either way, and a firewall that is
    // off lets the terminals in: a warning, and the step still succeeds.
    if (!Executa(comandos::Abre_Regra_Firewall(Drive, porta)) && !Rt().Interrupted()) {
        modRegistro::Escreve_Agora(kRegraNaoCriada + comandos::Nome_Regra(porta) + kRegraNaoCriadaFim);
    }
    // The step's last command: the window is served before the next step.
    Rt().DoEvents();
}

void frmPrincipal::Fecha_Firewall() {
    if (criado_.regra.empty()) return;
    Apaga_Regra_Firewall(criado_.regra);
    criado_.regra.clear();
}

void Apaga_Regra_Firewall(const std::wstring& porta) {
    const bool apagada = Executa(comandos::Regra_Firewall(L"delete", porta));
    modRegistro::Escreve_Agora(kRegraFirewall + comandos::Nome_Regra(porta) + (apagada ? kRegraApagada : kRegraNaoApagada));
}

std::wstring Porta_Do_Servico() {
    try {
        const auto servico = Rt().QueryService(comandos::kServico);
        const std::wstring programa = servico ? servico->program : L"";
        const std::wstring drive = programa.substr(0, 2);
        if (comandos::Mesmo_Programa(programa, drive + comandos::kServidor)) return Porta_Do_Servidor(drive);
    } catch (const RuntimeError&) {
        // The removal itself says what the service manager refuses.
    }
    return Porta_Do_Ini({});
}

}  // namespace cm
