// The health check of an installed server (/verificar): ten checks in a few
// seconds that answer a shop's "the system does not reach the database",
// each one line on the console and in the log, and an exit code that a
// deployment tool can collect from every shop. It only reads: the client's
// runs log in and ask, nothing is written but the log.
#pragma once

#include <string>

namespace cm {

// Checks the server of drive ("C:"; empty: the drive of the registered
// MySQL service's program) and answers the exit code: kSaidaConcluida when
// no check failed (warnings allowed), otherwise kSaidaServidor + the number
// of the first that failed. A check that needs one that failed is listed as
// not checked.
int Verifica_Servidor(const std::wstring& drive);

}  // namespace cm
