#include "system/modPrincipal.h"


#include "system/ErrorHandling.h"

namespace cm::modPrincipal {

std::wstring Diretorio_Sistema_Cache;
WindowHandle Janela_Encontrada = 0;

namespace {

constexpr std::uint32_t kSystemDirectoryBuffer = 255;

bool IsBlank(const std::wstring& text) { return text.find_first_not_of(L' ') == std::wstring::npos; }

std::wstring TrimSpaces(const std::wstring& text) {
    const auto first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) return L"";
    const auto last = text.find_last_not_of(L' ');
    return text.substr(first, last - first + 1);
}

}  // namespace

std::wstring Diretorio_Sistema() {
    if (!Texto_Limpo(Diretorio_Sistema_Cache).empty()) return Diretorio_Sistema_Cache;

    std::string buffer(kSystemDirectoryBuffer, ' ');
    std::uint32_t count = Rt().GetSystemDirectoryA(buffer.data(), kSystemDirectoryBuffer);
    if (count > kSystemDirectoryBuffer) {
        // The path does not fit: the platform answered the size it needs
        // (terminator included). Ask again with room for all of it rather
        // than keeping a truncated or stale buffer.
        buffer.assign(count, ' ');
        count = Rt().GetSystemDirectoryA(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
        if (count >= buffer.size()) count = 0;
    }
    buffer.resize(count);

    std::wstring directory = Rt().FromAnsi(buffer);
    if (directory.empty() || directory.back() != L'\\') directory += L'\\';
    Diretorio_Sistema_Cache = directory;
    return Diretorio_Sistema_Cache;
}

std::wstring Texto_Limpo(const Variant& valor) {
    std::wstring texto;
    WithStandardHandler([&] {
        // Null and the empty value compare as no text; objects cannot be compared at all.
        if (std::holds_alternative<Null>(valor) || std::holds_alternative<Empty>(valor)) return;
        if (std::holds_alternative<ObjectRef>(valor)) {
            throw RuntimeError(kErrTypeMismatch, DescribeError(kErrTypeMismatch));
        }
        const std::wstring text = VariantToText(valor);
        if (text.empty() || IsBlank(text)) return;
        texto = TrimSpaces(text);
    });
    return texto;
}

void Grava_Ini(const std::wstring& Secao, const std::wstring& Chave, const std::wstring& Valor,
               const std::wstring& Arquivo) {
    Runtime& rt = Rt();
    const std::string secao = rt.ToAnsi(Secao);
    const std::string chave = rt.ToAnsi(Chave);
    const std::string valor = rt.ToAnsi(Valor);
    const std::string arquivo = rt.ToAnsi(Arquivo);
    rt.WritePrivateProfileStringA(secao.c_str(), chave.c_str(), valor.c_str(), arquivo.c_str());
}

Logico Executa_Aguarda(const std::wstring& Linha_Comando, std::int32_t Estilo_Janela) {
    Logico resultado = Falso;
    WithStandardHandler([&] {
        const std::int32_t id_processo = ToLong(Rt().Shell(Linha_Comando, Estilo_Janela));
        Janela_Encontrada = 0;
        Rt().Sleep(500);
        // No pause and no message processing between passes: the command has
        // finished for us once a whole pass meets none of its windows.
        do {
            Rt().EnumWindows(&Procura_Janela_Processo, id_processo);
        } while (Janela_Encontrada != 0);
        resultado = Verdadeiro;
    });
    return resultado;
}

std::int32_t CM_STDCALL Procura_Janela_Processo(WindowHandle hwnd, std::intptr_t lParam) {
    std::int32_t id_processo = 0;
    Rt().GetWindowThreadProcessId(hwnd, &id_processo);
    if (id_processo == static_cast<std::int32_t>(lParam)) {
        Janela_Encontrada = hwnd;
        return 0;
    }
    Janela_Encontrada = 0;
    return -1;
}

}  // namespace cm::modPrincipal
