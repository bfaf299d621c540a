// modRegistro: the setup log. Each setup and each removal appends a section
// to ConfiguraMySQL.log beside the program (in %TEMP% when that folder cannot
// be written): what was asked, every command with what it wrote, each step's
// result and the outcome. UTF-8 with a byte-order mark and CR LF, so that
// Notepad shows the accents. Secrets never reach the file.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cm::modRegistro {

inline constexpr const wchar_t* kArquivo = L"ConfiguraMySQL.log";
inline constexpr const wchar_t* kMascara = L"********";

// From now on this text is written as kMascara wherever it would appear.
void Oculta(const std::wstring& segredo);
std::wstring Mascara(std::wstring texto);

// Begins a section: picks the file and writes the title with the date and
// time, then one "name: value" line per field.
void Inicia(const std::wstring& titulo, const std::vector<std::pair<std::wstring, std::wstring>>& campos);
// Begins a section that is written only once a line is written to it (a
// press stopped by its checks logs why; one that goes on begins its own
// section instead). Inicia drops it, and so does Descarta_Preparada.
void Prepara(const std::wstring& titulo, const std::vector<std::pair<std::wstring, std::wstring>>& campos);
void Descarta_Preparada();
// The fields a section of a run opens with: the program's and Windows'
// versions, then those given.
std::vector<std::pair<std::wstring, std::wstring>> Campos(
    std::vector<std::pair<std::wstring, std::wstring>> mais = {});

// Appends text, masked, line by line, once a section has begun in this run.
void Escreve(const std::wstring& texto);
// The same, after the date and time: "[AAAA-MM-DD HH:MM:SS] texto".
void Escreve_Agora(const std::wstring& texto);
// The same, each line after the first indented (for what a program wrote).
void Escreve_Bloco(const std::wstring& titulo, const std::wstring& texto);

// The full path of the log; empty before the first section of the run.
const std::wstring& Caminho();
// Back to the state at program start (tests).
void Esquece();

// UTF-8 of a wide text (UTF-16 or UTF-32, whichever wchar_t holds); a lone
// surrogate becomes U+FFFD.
std::string Utf8(const std::wstring& texto);
// The same, or nothing when the text holds what UTF-8 cannot carry exactly.
std::optional<std::string> Utf8Exato(const std::wstring& texto);
// The wide text of UTF-8 bytes; what is not UTF-8 becomes U+FFFD, and
// exato, when given, tells whether anything did.
std::wstring DeUtf8(const std::string& bytes, bool* exato = nullptr);

}  // namespace cm::modRegistro
