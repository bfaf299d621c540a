// The standard handler's report: the description in a box, and in the log.
#include "system/ErrorHandling.h"

#include "system/Mensagens.h"
#include "system/Runtime.h"
#include "system/modRegistro.h"

namespace cm {

void ReportError(const RuntimeError& error) {
    modRegistro::Escreve(mensagens::kErro + std::to_wstring(error.Number()) + L": " + error.Description());
    Rt().MsgBox(error.Description(), vbOKOnly);
}

}  // namespace cm
