#include "system/modRegistro.h"

#include <algorithm>
#include <optional>

#include "system/Basic.h"
#include "system/Mensagens.h"
#include "system/Runtime.h"

namespace cm::modRegistro {

namespace {

std::vector<std::wstring> g_segredos;
std::wstring g_caminho;
bool g_ativo = false;
// The beginning of a section that is written with its first line, if any.
std::optional<std::string> g_preparada;

constexpr const char* kMarcaBom = "\xEF\xBB\xBF";
constexpr const wchar_t* kSeparador =
    L"======================================================================";

std::string Bytes(const std::vector<std::wstring>& linhas) {
    std::string bytes;
    for (const auto& linha : linhas) bytes += Utf8(Mascara(linha)) + "\r\n";
    return bytes;
}

bool Acrescenta(const std::wstring& caminho, const std::string& bytes) {
    // A new or empty file starts with the mark that tells Notepad it is UTF-8.
    const auto tamanho = Rt().FileLength(caminho);
    const std::string inicio = (!tamanho || *tamanho == 0) ? kMarcaBom : "";
    return Rt().AppendToFile(caminho, inicio + bytes);
}

std::wstring PastaTemporaria() {
    std::wstring pasta = Rt().Environ(L"TEMP");
    if (pasta.empty()) pasta = Rt().Environ(L"TMP");
    while (!pasta.empty() && (pasta.back() == L'\\' || pasta.back() == L'/')) pasta.pop_back();
    return pasta;
}

}  // namespace

void Oculta(const std::wstring& segredo) {
    if (segredo.empty()) return;
    for (const auto& s : g_segredos) {
        if (s == segredo) return;
    }
    g_segredos.push_back(segredo);
}

std::wstring Mascara(std::wstring texto) {
    for (const auto& segredo : g_segredos) {
        for (auto at = texto.find(segredo); at != std::wstring::npos; at = texto.find(segredo, at)) {
            texto.replace(at, segredo.size(), kMascara);
            at += std::wstring(kMascara).size();
        }
    }
    return texto;
}

namespace {

std::string Cabecalho(const std::wstring& titulo, const std::vector<std::pair<std::wstring, std::wstring>>& campos) {
    std::vector<std::wstring> linhas{L"", kSeparador, Rt().Now() + L"  " + titulo};
    for (const auto& [nome, valor] : campos) linhas.push_back(nome + L": " + valor);
    linhas.push_back(kSeparador);
    return Bytes(linhas);
}

void Abre(const std::string& bytes) {
    // The program's folder may be read-only for this user, or on a medium
    // that cannot be written; the log then goes where every user can write.
    g_caminho = Rt().AppPath() + L"\\" + kArquivo;
    g_ativo = Acrescenta(g_caminho, bytes);
    if (!g_ativo) {
        const std::wstring pasta = PastaTemporaria();
        if (!pasta.empty()) {
            g_caminho = pasta + L"\\" + kArquivo;
            g_ativo = Acrescenta(g_caminho, bytes);
        }
    }
}

// Whether lines are written now; a prepared section begins with the first.
bool Ativo() {
    if (g_preparada) {
        const std::string bytes = std::move(*g_preparada);
        g_preparada.reset();
        Abre(bytes);
    }
    return g_ativo;
}

}  // namespace

void Inicia(const std::wstring& titulo, const std::vector<std::pair<std::wstring, std::wstring>>& campos) {
    g_preparada.reset();
    Abre(Cabecalho(titulo, campos));
}

void Prepara(const std::wstring& titulo, const std::vector<std::pair<std::wstring, std::wstring>>& campos) {
    g_preparada = Cabecalho(titulo, campos);
}

void Descarta_Preparada() { g_preparada.reset(); }

std::vector<std::pair<std::wstring, std::wstring>> Campos(std::vector<std::pair<std::wstring, std::wstring>> mais) {
    mais.insert(mais.begin(), {{mensagens::kCampoPrograma, Rt().ProgramVersion()}, {mensagens::kCampoWindows, Rt().SystemVersion()}});
    return mais;
}

void Escreve(const std::wstring& texto) {
    if (!Ativo()) return;
    Acrescenta(g_caminho, Bytes(Linhas(texto)));
}

void Escreve_Agora(const std::wstring& texto) {
    if (Ativo()) Escreve(L"[" + Rt().Now() + L"] " + texto);
}

void Escreve_Bloco(const std::wstring& titulo, const std::wstring& texto) {
    if (!Ativo()) return;
    std::vector<std::wstring> linhas{titulo};
    for (const auto& linha : Linhas(texto)) linhas.push_back(L"        " + linha);
    Acrescenta(g_caminho, Bytes(linhas));
}

const std::wstring& Caminho() { return g_caminho; }

void Esquece() {
    g_segredos.clear();
    g_caminho.clear();
    g_ativo = false;
    g_preparada.reset();
}

namespace {

// UTF-8 of texto; a lone surrogate (or a value beyond Unicode) becomes
// U+FFFD, or, when exato, ends it with nothing.
std::optional<std::string> Codifica(const std::wstring& texto, bool exato) {
    std::string out;
    for (std::size_t i = 0; i < texto.size(); ++i) {
        auto c = static_cast<std::uint32_t>(texto[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < texto.size()) {
                const auto baixo = static_cast<std::uint32_t>(texto[i + 1]);
                if (baixo >= 0xDC00 && baixo <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (baixo - 0xDC00);
                    ++i;
                }
            }
        }
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            if (exato) return std::nullopt;
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

std::string Utf8(const std::wstring& texto) { return *Codifica(texto, false); }

std::optional<std::string> Utf8Exato(const std::wstring& texto) { return Codifica(texto, true); }

std::wstring DeUtf8(const std::string& bytes, bool* exato) {
    std::wstring out;
    bool inteiro = true;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const int seguem = b < 0x80 ? 0 : b >= 0xC2 && b < 0xE0 ? 1 : b >= 0xE0 && b < 0xF0 ? 2 : b >= 0xF0 && b < 0xF5 ? 3 : -1;
        std::uint32_t c = seguem == 0 ? b : seguem == 1 ? b & 0x1F : seguem == 2 ? b & 0x0F : b & 0x07;
        int lidos = 0;
        while (seguem > 0 && lidos < seguem && i + 1 + lidos < bytes.size() &&
               (static_cast<unsigned char>(bytes[i + 1 + lidos]) & 0xC0) == 0x80) {
            c = (c << 6) | (static_cast<unsigned char>(bytes[i + 1 + lidos]) & 0x3F);
            ++lidos;
        }
        // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
        const std::uint32_t menor[] = {0, 0x80, 0x800, 0x10000};
        if (seguem < 0 || lidos < seguem || c < menor[seguem] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            out += L'\uFFFD';
            inteiro = false;
            i += 1 + static_cast<std::size_t>(std::max(lidos, 0));
            continue;
        }
        i += 1 + static_cast<std::size_t>(seguem);
        if (sizeof(wchar_t) == 2 && c >= 0x10000) {
            out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
    }
    if (exato != nullptr) *exato = inteiro;
    return out;
}

}  // namespace cm::modRegistro
