// The descriptions the runtime gives its error numbers.
#include "system/RuntimeError.h"

#include "system/Mensagens.h"

namespace cm {

std::wstring DescribeError(std::int32_t number) {
    switch (number) {
        case kErrInvalidCall: return mensagens::kErroChamada;
        case kErrOverflow: return mensagens::kErroEstouro;
        case kErrOutOfMemory: return mensagens::kErroMemoria;
        case kErrTypeMismatch: return mensagens::kErroTipos;
        case kErrDllLoad: return mensagens::kErroCarregarDll;
        case kErrInternal: return mensagens::kErroInterno;
        case kErrFileNotFound: return mensagens::kArquivoNaoEncontrado;
        case kErrDllEntryPoint: return mensagens::kErroPontoEntrada;
        default: return mensagens::kErroAplicativo;
    }
}

}  // namespace cm
