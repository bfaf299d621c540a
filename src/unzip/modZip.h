// modZip: extraction of one archive through unzip32.dll and the answers the
// library asks for while it works (printed text, overwrite and password
// prompts, entry listing).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "system/Basic.h"
#include "unzip32.h"

namespace cm::modZip {

// Everything the library has printed since the program started.
extern std::wstring Zip_Impressao;
// Zip_Impressao as it stood after the last print of the current extraction.
extern std::wstring Zip_Saida;
// Header line and one 80-column line per listed entry, each ended by CR LF.
extern std::wstring Zip_Listagem;
// Entry lines in the listing; 0 while the header is still to be written.
extern std::int16_t Zip_Linhas;
// 1 once the operator left the password empty: no password prompt again.
extern std::int16_t Zip_SenhaCancelada;

// Told on the window's thread, during an extraction, the share of the
// archive's bytes extracted so far (0 to 100), each time it changes. Unset:
// no share is worked out.
extern std::function<void(int)> Progresso;

// The library's callbacks. They never let an error reach the library: a
// statement that fails is skipped and the callback goes on.
std::int32_t UZ_CALL Zip_Imprime(const char* texto, std::int32_t tamanho);
std::int32_t UZ_CALL Zip_Sobrescreve(char* nome);
std::int32_t UZ_CALL Zip_Senha(char* senha, std::int32_t tamanho, const char* aviso, const char* nome);
void UZ_CALL Zip_Lista(std::int32_t tamanho, std::int32_t tamanho_compactado, std::int32_t taxa,
                       std::int32_t mes, std::int32_t dia, std::int32_t ano, std::int32_t hora,
                       std::int32_t minuto, std::int32_t marca, const char* nome, const char* metodo,
                       std::uint32_t crc, std::int32_t criptografado);
std::int32_t UZ_CALL Zip_Servico(const char* nome, std::int32_t tamanho);

// Extracts every entry of the archive into the root of the drive, re-creating
// its folders; answers the library's result (0 when all went well). A
// run-time error is raised again with the source "CodeModule::VBUnzip".
// Bytes: the archive's bytes in all when the caller has listed it already;
// otherwise, with Progresso set, a listing finds them first.
std::int32_t Descompacta_Zip(const Variant& Arquivo_Zip, const std::wstring& Drive_Destino,
                             std::optional<std::uint64_t> Bytes = std::nullopt);

// What an archive holds, as a listing tells it: the entries' names (the
// library's form, native separators) and their bytes in all.
struct Conteudo {
    std::vector<std::wstring> nomes;
    std::uint64_t bytes = 0;
};
// Lists the archive away from the window's thread, writing nothing. An
// archive the library cannot read lists nothing. Run-time errors as
// Descompacta_Zip raises them.
Conteudo Lista_Zip(const Variant& Arquivo_Zip);

// The library's entry points are bound once and kept for the process; tests
// that swap the library in and out call this to have them bound again.
void Esquece_Biblioteca();

}  // namespace cm::modZip
