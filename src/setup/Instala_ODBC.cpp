#include <string>

#include "app/frmPrincipal.h"
#include "system/ErrorHandling.h"
#include "system/Runtime.h"
#include "system/modPrincipal.h"

namespace cm {

namespace {

// {C} /c "{F}\mysql-connector-odbc-5.1.6-win32.msi": the interpreter opens the
// package through the system's file association.
constexpr const wchar_t* kAbrePacote = L" /c \"";
constexpr const wchar_t* kPacote = L"\\mysql-connector-odbc-5.1.6-win32.msi\"";

}  // namespace

void frmPrincipal::Instala_ODBC(Logico& Resultado) {
    Resultado = Falso;
    WithStandardHandler([&] {
        const std::wstring interpretador = Rt().Environ(L"Comspec");
        const std::wstring pasta = Rt().AppPath();
        modPrincipal::Executa_Aguarda(interpretador + kAbrePacote + pasta + kPacote, modPrincipal::kJanelaOculta);
        Rt().DoEvents();
        Resultado = Verdadeiro;
    });
}

}  // namespace cm
