#include "system/modPrincipal.h"

#include <algorithm>
#include <cstdio>

#include "system/ErrorHandling.h"
#include "system/Mensagens.h"
#include "system/modRegistro.h"

namespace cm::modPrincipal {

std::wstring Diretorio_Sistema_Cache;
WindowHandle Janela_Encontrada = 0;

namespace {

constexpr std::uint32_t kSystemDirectoryBuffer = 255;
// Between two passes over the windows the runner waits on the process and the
// window's messages for at most this long, rather than spin.
constexpr std::uint32_t kIntervaloPassagens = 100;

std::wstring Duracao(std::uint64_t milissegundos) {
    wchar_t texto[32];
    std::swprintf(texto, 32, L"%llu,%llu s", static_cast<unsigned long long>(milissegundos / 1000),
                  static_cast<unsigned long long>(milissegundos % 1000 / 100));
    return texto;
}

void Registra_Fim(const Execucao& execucao, std::uint64_t milissegundos) {
    if (!execucao.Saida.empty()) modRegistro::Escreve_Bloco(std::wstring(L"    ") + mensagens::kSaida, execucao.Saida);
    if (!execucao.Erros.empty()) modRegistro::Escreve_Bloco(std::wstring(L"    ") + mensagens::kErros, execucao.Erros);
    modRegistro::Escreve(std::wstring(L"    ") + mensagens::kDuracao + Duracao(milissegundos) +
                         mensagens::kCodigoSaidaComando + std::to_wstring(execucao.Codigo_Saida));
}

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

bool Grava_Ini(const std::wstring& Secao, const std::wstring& Chave, const std::wstring& Valor,
               const std::wstring& Arquivo) {
    Runtime& rt = Rt();
    const std::string secao = rt.ToAnsi(Secao);
    const std::string chave = rt.ToAnsi(Chave);
    const std::string valor = rt.ToAnsi(Valor);
    const std::string arquivo = rt.ToAnsi(Arquivo);
    return rt.WritePrivateProfileStringA(secao.c_str(), chave.c_str(), valor.c_str(), arquivo.c_str()) != 0;
}

Logico Executa_Aguarda(const std::wstring& Linha_Comando, std::int32_t Estilo_Janela, Execucao* Resultado,
                       std::uint32_t Limite_ms) {
    Logico resultado = Falso;
    Execucao execucao;
    // An interrupted setup starts nothing more: it goes straight to its undo.
    if (Rt().Interrupted()) {
        execucao.Interrompida = true;
        if (Resultado != nullptr) *Resultado = execucao;
        return resultado;
    }
    modRegistro::Escreve_Agora(Linha_Comando);
    const std::uint64_t inicio = Rt().TickCount();
    // How long the program may still take; kForever never runs out.
    const auto restante = [&]() -> std::uint32_t {
        if (Limite_ms == Runtime::kForever) return Runtime::kForever;
        const std::uint64_t passado = Rt().TickCount() - inicio;
        return passado >= Limite_ms ? 0 : static_cast<std::uint32_t>(Limite_ms - passado);
    };
    WithStandardHandler([&] {
        const std::int32_t id_processo = ToLong(Rt().Shell(Linha_Comando, Estilo_Janela));
        // However the wait ends, the command does not outlive it.
        bool terminou = false;
        try {
            Janela_Encontrada = 0;
            Rt().Pause(500);
            // First until a whole pass meets none of the process's windows. The
            // window's handlers may run a command of their own while we wait, so
            // each pass starts from no window found.
            for (;;) {
                Janela_Encontrada = 0;
                Rt().EnumWindows(&Procura_Janela_Processo, id_processo);
                if (Janela_Encontrada == 0 || restante() == 0 || Rt().Interrupted()) break;
                terminou = Rt().WaitForProgram(id_processo, std::min(kIntervaloPassagens, restante()));
            }
            // Then until the process has ended: a program without windows (the
            // command interpreter, a console client) would otherwise still be
            // working when the caller goes on.
            while (!terminou && !Rt().Interrupted()) {
                const std::uint32_t espera = restante();
                if (espera == 0) break;
                terminou = Rt().WaitForProgram(id_processo, espera);
            }
        } catch (...) {
            try {
                Rt().EndProgram(id_processo);
            } catch (...) {
            }
            throw;
        }
        if (!terminou) {
            // A client stuck on a lock or a server that never answers would
            // keep the run, and an unattended one, waiting for ever; and an
            // interrupted run must not wait for it at all.
            const std::wstring como = Rt().EndProgram(id_processo);
            execucao.Interrompida = Rt().Interrupted();
            execucao.Tempo_Esgotado = !execucao.Interrompida;
            modRegistro::Escreve(std::wstring(L"    ") +
                                 (execucao.Interrompida ? mensagens::kInterrompido : mensagens::kTempoEsgotado) +
                                 mensagens::kAposSegundos + Duracao(Rt().TickCount() - inicio) +
                                 mensagens::kProgramaEncerrado + como + L")");
            return;
        }
        const ProgramEnd fim = Rt().EndOfProgram(id_processo);
        execucao = Execucao{true, fim.exit_code, fim.output, fim.errors, false, false};
        resultado = Verdadeiro;
    });
    if (execucao.Concluida) Registra_Fim(execucao, Rt().TickCount() - inicio);
    if (Resultado != nullptr) *Resultado = execucao;
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
