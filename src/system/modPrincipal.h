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

// Sets one key in one section of an INI-style file.
void Grava_Ini(const std::wstring& Secao, const std::wstring& Chave, const std::wstring& Valor,
               const std::wstring& Arquivo);

// Window style for Executa_Aguarda: the started program's window is hidden.
inline constexpr std::int32_t kJanelaOculta = 0;

// Starts a command line and returns once no top-level window of the started
// process is left. False after a run-time error (already reported).
Logico Executa_Aguarda(const std::wstring& Linha_Comando, std::int32_t Estilo_Janela);

// EnumWindows callback: stops the pass at the first window of the process
// whose id is the application value.
std::int32_t CM_STDCALL Procura_Janela_Processo(WindowHandle hwnd, std::intptr_t lParam);

}  // namespace cm::modPrincipal
