#include <string>

#include "app/frmPrincipal.h"
#include "system/ErrorHandling.h"
#include "system/Runtime.h"
#include "system/modPrincipal.h"

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

}  // namespace

void frmPrincipal::Cria_Servico(const std::wstring& Drive, Logico& Resultado) {
    Resultado = Falso;
    WithStandardHandler([&] {
        Executa_Aguarda(Drive + kInstalaServico + Drive + kArquivoIni, kJanelaOculta);
        Rt().Sleep(kPausaServico);
        Rt().DoEvents();

        Executa_Aguarda(Rt().Environ(L"Comspec") + kInicioAutomatico, kJanelaOculta);
        Executa_Aguarda(Rt().Environ(L"Comspec") + kIniciaServico, kJanelaOculta);
        Rt().DoEvents();

        Executa_Aguarda(Drive + kConsultaStatus, kJanelaOculta);
        Rt().Sleep(kPausaServico);
        Resultado = Verdadeiro;
    });
}

}  // namespace cm
