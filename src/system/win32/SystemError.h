// Failures of the runtime's Win32 calls, reported as the core's errors.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "system/Mensagens.h"
#include "system/RuntimeError.h"

namespace cm::win32 {

// The system's error number goes into the description: it is what tells one
// refusal from another when an operator sends the log.
[[noreturn]] inline void RaiseSystemError(std::int32_t number, const std::wstring& what,
                                          DWORD error = GetLastError()) {
    throw RuntimeError(number, what + mensagens::kErroDoSistema + std::to_wstring(error) + L")");
}

}  // namespace cm::win32
