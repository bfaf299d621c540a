#include "setup/Configuracao_Em_Andamento.h"

#include <cwctype>

#include "system/Basic.h"
#include "system/Mensagens.h"

namespace cm {

namespace {

// The first line: whose record this is, and in which form.
constexpr const wchar_t* kMarca = L"Brevano ConfiguraMySQL: configuração em andamento, versão 1";

}  // namespace

std::wstring Configuracao_Em_Andamento::Texto() const {
    return std::wstring(kMarca) + L"\r\ninicio=" + inicio + L"\r\ndrive=" + drive +
           L"\r\netapa=" + std::to_wstring(etapa) + L"\r\npasta=" + pasta + L"\r\n" +
           (pasta_a_criar ? L"pasta_a_criar=sim\r\n" : L"") + (concluida ? L"concluida=sim\r\n" : L"");
}

std::optional<Configuracao_Em_Andamento> Configuracao_Em_Andamento::De(const std::wstring& texto) {
    Configuracao_Em_Andamento registro;
    bool marcado = false;
    for (const std::wstring& linha : Linhas(texto)) {
        if (!marcado) {
            if (linha.empty()) continue;
            if (linha != kMarca) return std::nullopt;
            marcado = true;
            continue;
        }
        const auto igual = linha.find(L'=');
        if (igual == std::wstring::npos) continue;
        const std::wstring chave = linha.substr(0, igual), valor = linha.substr(igual + 1);
        if (chave == L"inicio") {
            registro.inicio = valor;
        } else if (chave == L"drive") {
            registro.drive = valor;
        } else if (chave == L"etapa") {
            registro.etapa = valor.size() == 1 && std::iswdigit(static_cast<wint_t>(valor[0])) ? valor[0] - L'0' : 0;
        } else if (chave == L"pasta") {
            registro.pasta = valor;
        } else if (chave == L"pasta_a_criar") {
            registro.pasta_a_criar = valor == L"sim";
        } else if (chave == L"concluida") {
            registro.concluida = valor == L"sim";
        }
    }
    // Without its drive nothing of it could be found again.
    const bool drive = registro.drive.size() == 2 && std::iswalpha(static_cast<wint_t>(registro.drive[0])) &&
                       registro.drive[1] == L':';
    if (!marcado || !drive) return std::nullopt;
    return registro;
}

std::wstring Configuracao_Em_Andamento::Descricao() const {
    // "AAAA-MM-DD HH:MM:SS" as a Brazilian reads a date.
    std::wstring quando = inicio;
    if (inicio.size() >= 16 && inicio[4] == L'-' && inicio[7] == L'-') {
        quando = inicio.substr(8, 2) + L"/" + inicio.substr(5, 2) + L"/" + inicio.substr(0, 4) + L" " +
                 inicio.substr(11, 5);
    }
    return mensagens::kAnteriorIniciadaEm + quando + mensagens::kAnteriorNaEtapa + std::to_wstring(etapa);
}

}  // namespace cm
