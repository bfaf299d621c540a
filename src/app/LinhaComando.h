// The unattended setup, removal and check from the command line:
//   ConfiguraMySQL.exe /instalar /drive=C: /banco=velto.sql [/logbin]
//   ConfiguraMySQL.exe /remover
//   ConfiguraMySQL.exe /verificar [/drive=C:]
//   ConfiguraMySQL.exe /?
// Without options the program is the window, as always.
#pragma once

#include <string>
#include <vector>

#include "app/CodigosSaida.h"
#include "app/FormView.h"
#include "app/frmPrincipal.h"

namespace cm {

struct Opcoes {
    enum class Modo { Janela, Instalar, Remover, Verificar, Ajuda, Invalida };
    Modo modo = Modo::Janela;
    std::wstring drive;
    std::wstring banco;
    bool logbin = false;
    std::wstring erro;  // what is wrong with an invalid command line
};

// Options are matched ignoring case, with "/" or "-" before them.
Opcoes Interpreta_Linha_Comando(const std::vector<std::wstring>& argumentos);

// The usage, with the exit codes.
std::wstring Uso();

// Claims the machine for this copy of the program. Two copies would both
// pass the press's checks before either registers the service, and the
// second would then import over the first one's database. When another copy
// runs, says so (a box, or the console with nobody at the window) and
// answers false: the program then ends with kSaidaOutraCopia.
bool Copia_Unica();

// Runs what the options ask with nobody at the window (no box, no question:
// each text goes to the log and the console) and answers the exit code.
// The window's load handler runs first, as at every start.
int Executa_Desatendido(const Opcoes& opcoes, frmPrincipal& form, FormView& view,
                        const std::wstring& linha_comando);

}  // namespace cm
