// modPrincipal: the system directory, trimming of loosely typed values,
// configuration-file writes and the command runner.
#pragma once

#include <cstdint>
#include <string>

#include "system/Basic.h"
#include "system/Runtime.h"

namespace cm::modPrincipal {

// The system directory with its trailing backslash, once the first call filled it.
extern std::wstring Diretorio_Sistema_Cache;
// First window of the started process met by the last enumeration pass; 0 for none.
extern WindowHandle Janela_Encontrada;

// The system directory, ending in "\"; asks the platform once per run.
std::wstring Diretorio_Sistema();

// The text of a value without leading and trailing spaces; empty for the
// empty value, null and the empty text.
std::wstring Texto_Limpo(const Variant& valor);

// Sets one key in one section of an INI-style file; false when the platform
// refused the write (a read-only file, a missing folder).
bool Grava_Ini(const std::wstring& Secao, const std::wstring& Chave, const std::wstring& Valor,
               const std::wstring& Arquivo);

// Window style for Executa_Aguarda: the started program's window is hidden.
inline constexpr std::int32_t kJanelaOculta = 0;

// How a command run through Executa_Aguarda ended.
struct Execucao {
    bool Concluida = false;  // it was started and has ended
    std::int32_t Codigo_Saida = -1;
    std::wstring Saida;  // what it wrote to its standard output
    std::wstring Erros;  // and to its standard error
    bool Tempo_Esgotado = false;  // it ran past its time and was ended
    bool Interrompida = false;    // the run was interrupted: ended, or never started
    // Ended before its own end, for either reason: nothing it did can be trusted.
    bool Encerrada() const { return Tempo_Esgotado || Interrompida; }
};

// How long a command may run before the runner ends it; the import, which
// may take as long as a large script needs, runs without a limit.
inline constexpr std::uint32_t kLimiteComando = 5 * 60 * 1000;
inline constexpr std::uint32_t kSemLimite = Runtime::kForever;

// Starts a command line, waits until no top-level window of the started
// process is left and then until the process itself has ended, serving the
// window's messages meanwhile; a program still running after Limite_ms is
// ended. Every command goes to the log with what it wrote, its duration and
// exit code. Once the run is interrupted (Runtime::Interrupt) the command
// under way is ended and no other is started. False after a run-time error
// (already reported), when the time ran out or the run was interrupted; the
// outcome in Resultado when given.
Logico Executa_Aguarda(const std::wstring& Linha_Comando, std::int32_t Estilo_Janela,
                       Execucao* Resultado = nullptr, std::uint32_t Limite_ms = kLimiteComando);

// EnumWindows callback: stops the pass at the first window of the process
// whose id is the application value.
std::int32_t CM_STDCALL Procura_Janela_Processo(WindowHandle hwnd, std::intptr_t lParam);

}  // namespace cm::modPrincipal
