#include <optional>
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

// 1: {D}\MySQL\bin\mysqld-nt.exe --install MySQL --defaults-file="{D}\MySQL\my.ini"
constexpr const wchar_t* kInstalaServico = L"\\MySQL\\bin\\mysqld-nt.exe --install MySQL --defaults-file=\"";
constexpr const wchar_t* kArquivoIni = L"\\MySQL\\my.ini\"";
// 2: {C} /c sc config MySQL start= auto
constexpr const wchar_t* kInicioAutomatico = L" /c sc config MySQL start= auto";
// 3: {C} /c sc start MySQL
constexpr const wchar_t* kIniciaServico = L" /c sc start MySQL";
// 4: {D}\MySQL\bin\mysql.exe -e status
constexpr const wchar_t* kConsultaStatus = L"\\MySQL\\bin\\mysql.exe -e status";

// Time the freshly registered service, and then the started server, get
// before the next command relies on them.
constexpr std::uint32_t kPausaServico = 20000;

constexpr const wchar_t* kFalhaServico = L"O serviço MySQL não foi iniciado.";

std::wstring Descreve(const std::optional<ServiceState>& estado) {
    if (!estado) return L"não registrado";
    return std::wstring(estado->running ? L"em execução" : L"parado") +
           (estado->automatic ? L", início automático" : L", início não automático");
}

}  // namespace

void frmPrincipal::Cria_Servico(const std::wstring& Drive, Logico& Resultado) {
    Resultado = Falso;
    WithStandardHandler([&] {
        Executa_Aguarda(Drive + kInstalaServico + Drive + kArquivoIni, kJanelaOculta);
        Rt().Pause(kPausaServico);
        Rt().DoEvents();

        Executa_Aguarda(Rt().Environ(L"Comspec") + kInicioAutomatico, kJanelaOculta);
        Executa_Aguarda(Rt().Environ(L"Comspec") + kIniciaServico, kJanelaOculta);
        Rt().DoEvents();

        // Informative only: the server may still be starting.
        Executa_Aguarda(Drive + kConsultaStatus, kJanelaOculta);
        Rt().Pause(kPausaServico);

        // The step's commands may each fail (no rights, a server that stops
        // at once) while the next one still runs: what counts is the service.
        const auto estado = Rt().QueryService(kServico);
        modRegistro::Escreve_Agora(std::wstring(L"Serviço ") + kServico + L": " + Descreve(estado));
        if (!estado || !estado->running || !estado->automatic) return Falha_Etapa(kFalhaServico);
        Resultado = Verdadeiro;
    });
}

}  // namespace cm
