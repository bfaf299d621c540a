// Puts modZip's process-wide state back to how a fresh process has it.
#pragma once

#include "unzip/modZip.h"

namespace cm::test {

inline void ResetZipModule() {
    modZip::Zip_Impressao.clear();
    modZip::Zip_Saida.clear();
    modZip::Zip_Listagem.clear();
    modZip::Zip_Linhas = 0;
    modZip::Zip_SenhaCancelada = 0;
}

}  // namespace cm::test
