// modZip: extraction of one archive through unzip32.dll and the answers the
// library asks for while it works (printed text, overwrite and password
// prompts, entry listing). Paths go to the library, and its texts come
// back, in UTF-8, so that nothing is ever changed on the way (a character
// the code page lacks, or only has a look-alike of); only the password
// keeps the code page's bytes, the ones an archive's password was made of.
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

// What an archive holds, as the library's listing tells it.
struct Entrada {
    // Where the extraction writes it, relative to the folder, with the
    // platform's separators: a folder's ends with one, "." is the folder
    // itself. Nothing when the library would not write it as it is named.
    std::optional<std::wstring> caminho;
    std::wstring nome;  // as the archive names it
    std::uint64_t bytes = 0;
    bool exata = true;  // both came as text that can be read exactly
};
struct Conteudo {
    std::int32_t codigo = UZ_OK;    // the listing's result
    std::uint64_t contidas = 0;     // the entries the archive holds
    std::vector<Entrada> entradas;  // as many as it named, in its order
    std::uint64_t bytes = 0;        // theirs in all
    std::wstring saida;             // what the library said about the archive
};
// Lists the archive away from the window's thread, writing nothing.
// Run-time errors as Descompacta_Zip raises them.
Conteudo Lista_Zip(const Variant& Arquivo_Zip);

// Extracts every entry of the archive into the root of the drive, re-creating
// its folders; answers the library's result (0 when all went well). A
// run-time error is raised again with the source "CodeModule::VBUnzip",
// also for a path the library cannot be given exactly. Listado: the
// archive as the caller has listed it already; otherwise, with Progresso
// set, a listing comes first, for the bytes each entry adds.
std::int32_t Descompacta_Zip(const Variant& Arquivo_Zip, const std::wstring& Drive_Destino,
                             const Conteudo* Listado = nullptr);

// Extracts the one entry the archive names so straight into a folder (not
// its own folders), asking nothing: no file is replaced, an encrypted entry
// is skipped. Run-time errors as Descompacta_Zip raises them.
void Extrai_Entrada(const Variant& Arquivo_Zip, const std::wstring& Entrada, const std::wstring& Pasta);

// The library's entry points are bound once and kept for the process; tests
// that swap the library in and out call this to have them bound again.
void Esquece_Biblioteca();

}  // namespace cm::modZip
