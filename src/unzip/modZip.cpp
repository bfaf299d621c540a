#include "unzip/modZip.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <new>

#include "system/Mensagens.h"
#include "system/Runtime.h"
#include "system/RuntimeError.h"
#include "system/modRegistro.h"

namespace cm::modZip {

std::wstring Zip_Impressao;
std::wstring Zip_Saida;
std::wstring Zip_Listagem;
std::int16_t Zip_Linhas = 0;
std::int16_t Zip_SenhaCancelada = 0;
std::function<void(int)> Progresso;

namespace {

// The library only ever prints up to this many bytes at once and names files
// in at most this many; never trust its length beyond that.
constexpr std::int32_t kLimiteImpressao = 32801;
constexpr std::int32_t kLimiteNome = 256;
// The password buffer is never written past this many bytes, whatever size
// the library claims.
constexpr std::int32_t kLimiteSenha = 257;

constexpr int kLarguraLinha = 80;

constexpr const wchar_t* kBiblioteca = L"unzip32.dll";
constexpr const wchar_t* kOrigemErro = L"CodeModule::VBUnzip";

// The progress of the extraction under way: the bytes of the whole archive,
// those of the entries begun, the share last told, and each entry's bytes
// in full by the name the library gives it before writing it (its callbacks
// carry only the low 32 bits).
std::uint64_t g_total = 0;
std::uint64_t g_feito = 0;
int g_parte = -1;
std::map<std::string, std::deque<std::uint64_t>> g_tamanhos;

UzpVersion2Fn g_UzpVersion2 = nullptr;
Wiz_SingleEntryUnzipFn g_Wiz_SingleEntryUnzip = nullptr;
UzListEntriesFn g_UzListEntries = nullptr;

// One statement of a callback: whatever it raises is dropped and the
// callback goes on with the next one, so nothing ever unwinds into the
// library's C frames.
template <class Statement>
void Resume(Statement&& statement) {
    try {
        statement();
    } catch (...) {
    }
}

// A zero-terminated UTF-8 buffer from the library, read up to the first
// zero and never past the limit, its bytes converted together so that a
// character of several stays whole.
std::string Bytes(const char* buffer, std::int32_t limite) {
    if (buffer == nullptr) return {};
    std::string bytes;
    for (std::int32_t i = 0; i < limite && buffer[i] != '\0'; ++i) bytes += buffer[i];
    return bytes;
}
std::wstring LeBuffer(const char* buffer, std::int32_t limite) { return modRegistro::DeUtf8(Bytes(buffer, limite)); }

// A name as the library hands it to a callback: at most 255 bytes, never
// cut inside a character.
std::string Corta(std::string nome) {
    if (nome.size() < static_cast<std::size_t>(kLimiteNome)) return nome;
    std::size_t corte = kLimiteNome - 1;
    while (corte > 0 && (static_cast<unsigned char>(nome[corte]) & 0xC0) == 0x80) --corte;
    return nome.substr(0, corte);
}

// The text the library is given for a path: UTF-8, exactly the path.
std::string ParaBiblioteca(const std::wstring& caminho) {
    const auto bytes = modRegistro::Utf8Exato(caminho);
    if (!bytes) throw RuntimeError(kErrInvalidCall, mensagens::kCaminhoInexato + caminho);
    return *bytes;
}

// The number as the runtime's Str$ writes it: a leading space unless negative.
std::wstring Str(std::int32_t valor) {
    return valor < 0 ? std::to_wstring(valor) : L" " + std::to_wstring(valor);
}

std::wstring Direita(const std::wstring& texto, std::size_t largura) {
    return texto.size() <= largura ? texto : texto.substr(texto.size() - largura);
}

// Two characters with a leading zero: 3 gives 03, 2008 gives 08.
std::wstring DoisDigitos(std::int16_t valor) { return Direita(L"0" + std::to_wstring(valor), 2); }

// Writes text over the line from a 1-based column, never past the line's end.
void Coloca(std::wstring& linha, std::size_t coluna, const std::wstring& texto) {
    const std::size_t inicio = coluna - 1;
    if (inicio >= linha.size()) return;
    const std::size_t largura = std::min(texto.size(), linha.size() - inicio);
    linha.replace(inicio, largura, texto, 0, largura);
}

template <class Fn>
Fn Vincula(Fn& cache, const char* funcao) {
    if (cache == nullptr) cache = reinterpret_cast<Fn>(Rt().BindLibraryFunction(kBiblioteca, funcao));
    return cache;
}

// Copies a wide text into one of the version record's fixed character fields.
void PreencheCampo(char* campo, std::size_t largura, const std::wstring& texto) {
    const std::string ansi = Rt().ToAnsi(texto);
    std::memset(campo, 0, largura);
    std::memcpy(campo, ansi.data(), std::min(largura, ansi.size()));
}

// One entry of the listing into the record it fills. Whatever fails here
// stops the listing, which then does not pass for a whole one.
std::int32_t UZ_CALL Anota(void* contexto, const char* caminho, const char* nome, std::uint64_t bytes) {
    try {
        Entrada entrada;
        bool exato_caminho = true, exato_nome = true;
        if (caminho != nullptr) entrada.caminho = modRegistro::DeUtf8(caminho, &exato_caminho);
        entrada.nome = modRegistro::DeUtf8(nome != nullptr ? nome : "", &exato_nome);
        entrada.exata = exato_caminho && exato_nome;
        entrada.bytes = bytes;
        auto& conteudo = *static_cast<Conteudo*>(contexto);
        conteudo.entradas.push_back(std::move(entrada));
        conteudo.bytes += bytes;
        return 0;
    } catch (...) {
        return 1;
    }
}

// The listing, on the thread the caller is on; what the library says goes
// to imprime (where the extraction's messages go, unless it is silent), and
// into the record.
void Lista(UzListEntriesFn lista, const std::string& arquivo, Conteudo& conteudo, UzPrintFn imprime) {
    const std::size_t antes = Zip_Impressao.size();
    conteudo.codigo = lista(arquivo.c_str(), imprime, &Anota, &conteudo, &conteudo.contidas);
    conteudo.saida = Zip_Impressao.substr(std::min(antes, Zip_Impressao.size()));
}

// A run-time error leaves the module as the library's caller's to report.
[[noreturn]] void Relanca() {
    try {
        throw;
    } catch (const RuntimeError& erro) {
        throw RuntimeError(erro.Number(), erro.Description(), kOrigemErro);
    } catch (const std::bad_alloc&) {
        throw RuntimeError(kErrOutOfMemory, DescribeError(kErrOutOfMemory), kOrigemErro);
    }
}

std::wstring Espacos(std::size_t quantos) { return std::wstring(quantos, L' ') + L'\0'; }

}  // namespace

std::int32_t UZ_CALL Zip_Imprime(const char* texto, std::int32_t tamanho) {
    try {
        std::wstring trecho;
        Resume([&] { trecho = LeBuffer(texto, std::min(tamanho, kLimiteImpressao)); });
        // The library starts a new line with a lone LF; the rest of such a
        // piece is not kept.
        Resume([&] {
            if (!trecho.empty() && trecho.front() == L'\n') trecho = L"\r\n";
        });
        Resume([&] { Zip_Impressao += trecho; });
        Resume([&] { Zip_Saida = Zip_Impressao; });
    } catch (...) {
    }
    return 0;
}

std::int32_t UZ_CALL Zip_Sobrescreve(char* nome) {
    int resposta = 0;
    try {
        std::wstring arquivo;
        Resume([&] { arquivo = LeBuffer(nome, kLimiteNome); });
        // The library works away from the window; its questions are the window's.
        Resume([&] {
            Rt().OnWindowThread([&] {
                resposta = Rt().MsgBox(mensagens::kSobrescreveInicio + arquivo + L"?", vbExclamation + vbYesNoCancel,
                                       mensagens::kSobrescreveTitulo);
            });
        });
    } catch (...) {
    }
    // Only the operator's Yes replaces a file: a box that could not be shown,
    // or an error on the way, keeps it.
    if (resposta == vbYes) return UZ_REPLACE_YES;
    if (resposta == vbCancel) return UZ_REPLACE_STOP;
    return UZ_REPLACE_NO;
}

std::int32_t UZ_CALL Zip_Senha(char* senha, std::int32_t tamanho, const char*, const char*) {
    try {
        if (Zip_SenhaCancelada == 1) return 1;

        // Room for the answer and its terminating zero. With no room for a
        // single character no answer could be taken, so don't ask.
        const std::int32_t espaco = senha == nullptr ? 0 : std::clamp(tamanho, 0, kLimiteSenha);
        if (espaco < 2) return 1;

        std::wstring resposta;
        for (;;) {
            resposta.clear();
            Resume([&] { Rt().OnWindowThread([&] { resposta = Rt().InputBox(mensagens::kPedeSenha); }); });
            if (resposta.empty()) {
                Zip_SenhaCancelada = 1;
                return 1;
            }
            // An answer that does not fit the library's buffer cannot be the
            // password it can check; ask again rather than cut it short.
            if (resposta.size() < static_cast<std::size_t>(espaco)) break;
        }

        std::memset(senha, 0, static_cast<std::size_t>(espaco));
        for (std::size_t i = 0; i < resposta.size(); ++i) {
            // A character that takes more than one byte in the code page
            // cannot be written; its zero ends the password there.
            Resume([&] {
                const std::string ansi = Rt().ToAnsi(std::wstring(1, resposta[i]));
                if (ansi.size() == 1) senha[i] = ansi[0];
            });
        }
    } catch (...) {
    }
    return 0;
}

void UZ_CALL Zip_Lista(std::int32_t tamanho, std::int32_t, std::int32_t, std::int32_t mes, std::int32_t dia,
                       std::int32_t ano, std::int32_t hora, std::int32_t minuto, std::int32_t, const char* nome,
                       const char*, std::uint32_t, std::int32_t) {
    try {
        std::wstring linha(kLarguraLinha, L' ');
        if (Zip_Linhas == 0) {
            Resume([&] {
                std::wstring cabecalho(kLarguraLinha, L' ');
                Coloca(cabecalho, 1, L"Filename:");
                Coloca(cabecalho, 53, L"Size");
                Coloca(cabecalho, 62, L"Date");
                Coloca(cabecalho, 71, L"Time");
                Zip_Listagem = cabecalho + L"\r\n";
            });
        }

        std::wstring arquivo;
        Resume([&] { arquivo = LeBuffer(nome, kLimiteNome); });

        Resume([&] { Coloca(linha, 1, arquivo.substr(0, 50)); });
        Resume([&] { Coloca(linha, 51, Direita(std::wstring(8, L' ') + Str(tamanho), 7)); });
        Resume([&] { Coloca(linha, 60, DoisDigitos(static_cast<std::int16_t>(mes)) + L"/"); });
        Resume([&] { Coloca(linha, 63, DoisDigitos(static_cast<std::int16_t>(dia)) + L"/"); });
        Resume([&] { Coloca(linha, 66, DoisDigitos(static_cast<std::int16_t>(ano))); });
        Resume([&] { Coloca(linha, 70, Direita(Str(static_cast<std::int16_t>(hora)), 2) + L":"); });
        Resume([&] { Coloca(linha, 73, DoisDigitos(static_cast<std::int16_t>(minuto))); });

        Resume([&] { Zip_Listagem += linha + L"\r\n"; });
        // The counter stops at its largest value instead of wrapping back to
        // 0, which would bring the header back.
        if (Zip_Linhas < INT16_MAX) ++Zip_Linhas;
    } catch (...) {
    }
}

std::int32_t UZ_CALL Zip_Servico(const char* nome, std::int32_t tamanho) {
    // An interrupted setup stops the extraction before the next entry.
    if (Rt().Interrupted()) return 1;
    // Before each entry: the share of the archive's bytes written so far.
    Resume([&] {
        if (!Progresso || g_total == 0) return;
        const auto parte = static_cast<int>(std::min<std::uint64_t>(g_feito * 100 / g_total, 100));
        const auto listada = g_tamanhos.find(Bytes(nome, kLimiteNome));
        if (listada != g_tamanhos.end() && !listada->second.empty()) {
            g_feito += listada->second.front();
            listada->second.pop_front();
        } else {
            g_feito += static_cast<std::uint32_t>(tamanho);
        }
        if (parte == g_parte) return;
        g_parte = parte;
        Rt().OnWindowThread([&] { Progresso(parte); });
    });
    return 0;
}

std::int32_t Descompacta_Zip(const Variant& Arquivo_Zip, const std::wstring& Drive_Destino,
                             const Conteudo* Listado) {
    try {
        Zip_Saida.clear();

        const std::wstring arquivo = VariantToText(Arquivo_Zip);
        const std::wstring pasta = Drive_Destino + L"\\";

        UzCallbacks funcoes{};
        funcoes.print = &Zip_Imprime;
        funcoes.sound = nullptr;
        funcoes.replace = &Zip_Sobrescreve;
        funcoes.password = &Zip_Senha;
        funcoes.message = &Zip_Lista;
        funcoes.service = &Zip_Servico;

        static_assert(sizeof(UzVersion) == 64);
        UzVersion versao{};
        versao.length = sizeof(UzVersion);
        versao.flags = 0;
        PreencheCampo(versao.beta_level, sizeof versao.beta_level, Espacos(9));
        PreencheCampo(versao.date, sizeof versao.date, Espacos(19));
        PreencheCampo(versao.zlib_version, sizeof versao.zlib_version, Espacos(9));

        // Asked on every extraction; what it answers changes nothing here.
        Vincula(g_UzpVersion2, "UzpVersion2")(&versao);

        // The converted texts live until the library returns and go with this frame.
        const std::string arquivo_utf8 = ParaBiblioteca(arquivo);
        const std::string pasta_utf8 = ParaBiblioteca(pasta);
        UzOptions opcoes{};
        opcoes.message_level = 1;
        opcoes.keep_folders = 1;
        opcoes.utf8 = 1;
        opcoes.archive = arquivo_utf8.c_str();
        opcoes.folder = pasta_utf8.c_str();

        UzNameList incluidos{};
        UzNameList excluidos{};

        const auto extrai = Vincula(g_Wiz_SingleEntryUnzip, "Wiz_SingleEntryUnzip");
        const auto lista = Progresso && !Listado ? Vincula(g_UzListEntries, "UzListEntries") : nullptr;
        const auto conta = [](const Conteudo& conteudo) {
            g_total = conteudo.bytes;
            g_tamanhos.clear();
            for (const Entrada& entrada : conteudo.entradas) {
                if (entrada.caminho) g_tamanhos[Corta(modRegistro::Utf8(*entrada.caminho))].push_back(entrada.bytes);
            }
        };
        conta(Listado ? *Listado : Conteudo{});
        g_feito = 0;
        g_parte = -1;
        // A large archive on a slow disk takes minutes: the window must keep
        // answering meanwhile.
        std::int32_t codigo = 0;
        Rt().RunInBackground([&] {
            if (lista != nullptr) {
                // For the sizes only: the extraction tells what is wrong.
                Conteudo conteudo;
                Lista(lista, arquivo_utf8, conteudo, nullptr);
                conta(conteudo);
            }
            codigo = extrai(0, &incluidos, 0, &excluidos, &opcoes, &funcoes);
        });
        return codigo;
    } catch (...) {
        Relanca();
    }
}

Conteudo Lista_Zip(const Variant& Arquivo_Zip) {
    try {
        const std::string arquivo = ParaBiblioteca(VariantToText(Arquivo_Zip));
        const auto lista = Vincula(g_UzListEntries, "UzListEntries");
        Conteudo conteudo;
        Rt().RunInBackground([&] { Lista(lista, arquivo, conteudo, &Zip_Imprime); });
        return conteudo;
    } catch (...) {
        Relanca();
    }
}

void Extrai_Entrada(const Variant& Arquivo_Zip, const std::wstring& Entrada, const std::wstring& Pasta) {
    try {
        const std::string arquivo = ParaBiblioteca(VariantToText(Arquivo_Zip));
        const std::string pasta = ParaBiblioteca(Pasta);
        std::string padrao = ParaBiblioteca(Entrada);
        // '?' takes either separator, as the archive stores it.
        std::replace_if(padrao.begin(), padrao.end(), [](char c) { return c == '\\' || c == '/'; }, '?');
        UzOptions opcoes{};
        opcoes.message_level = 2;
        opcoes.utf8 = 1;
        opcoes.archive = arquivo.c_str();
        opcoes.folder = pasta.c_str();
        UzNameList incluidos{padrao.c_str()};
        UzNameList excluidos{};
        UzCallbacks sem_perguntas{};
        Vincula(g_Wiz_SingleEntryUnzip, "Wiz_SingleEntryUnzip")(1, &incluidos, 0, &excluidos, &opcoes, &sem_perguntas);
    } catch (...) {
        Relanca();
    }
}

void Esquece_Biblioteca() {
    g_UzpVersion2 = nullptr;
    g_Wiz_SingleEntryUnzip = nullptr;
    g_UzListEntries = nullptr;
}

}  // namespace cm::modZip
