// The descriptions the runtime gives its error numbers.
#include "system/RuntimeError.h"

namespace cm {

std::wstring DescribeError(std::int32_t number) {
    switch (number) {
        case kErrInvalidCall: return L"Chamada de procedimento ou argumento inválido";
        case kErrOverflow: return L"Estouro";
        case kErrOutOfMemory: return L"Memória insuficiente";
        case kErrTypeMismatch: return L"Tipos incompatíveis";
        case kErrDllLoad: return L"Erro ao carregar a DLL";
        case kErrInternal: return L"Erro interno";
        case kErrFileNotFound: return L"Arquivo não encontrado";
        case kErrDllEntryPoint: return L"Ponto de entrada de DLL não encontrado";
        default: return L"Erro definido pelo aplicativo ou pelo objeto";
    }
}

}  // namespace cm
