// The codes the program ends with; a run from the command line hands them to
// whoever started it (a deployment tool, a batch file).
#pragma once

namespace cm {

inline constexpr int kSaidaConcluida = 0;  // also when the import went past failing statements
inline constexpr int kSaidaLinhaInvalida = 1;
inline constexpr int kSaidaVerificacao = 2;  // a start-up or press check stopped it
inline constexpr int kSaidaAdministrador = 3;
inline constexpr int kSaidaOutraCopia = 4;  // another copy of the program is running
inline constexpr int kSaidaErroInterno = 5;  // an error nothing else handled ended the program
inline constexpr int kSaidaInterrompida = 6;  // the setup was interrupted (and undone)
inline constexpr int kSaidaEtapa = 10;  // + the number of the step that failed
inline constexpr int kSaidaRemocao = 20;
inline constexpr int kSaidaServidor = 30;  // + the number of the first check of /verificar that failed

}  // namespace cm
