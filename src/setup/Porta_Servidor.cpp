#include "setup/Porta_Servidor.h"

#include <algorithm>
#include <cstdint>

#include "app/CodigosSaida.h"
#include "setup/Comandos.h"
#include "system/Mensagens.h"
#include "system/Runtime.h"
#include "system/modPrincipal.h"
#include "system/modRegistro.h"
#include "unzip/modZip.h"

namespace cm {

using namespace mensagens;

namespace {

// The one the server takes when my.ini names none.
constexpr const wchar_t* kPortaDoServidor = L"3306";
// A my.ini is a few kilobytes; more is not read.
constexpr std::uint32_t kIniMaximo = 256 * 1024;

std::wstring Apara(const std::wstring& texto) {
    const auto inicio = texto.find_first_not_of(L" \t");
    if (inicio == std::wstring::npos) return L"";
    return texto.substr(inicio, texto.find_last_not_of(L" \t") - inicio + 1);
}

std::wstring Porta_Do_Texto(const std::optional<std::string>& bytes) {
    return bytes ? Porta_Do_Ini(Le_Ini(Rt().FromAnsi(*bytes))) : kPortaDoServidor;
}

// Whether a listed entry is the server's own my.ini, MySQL\my.ini at the
// archive's top, in whatever letter case the package was zipped, by the
// path the library would write it to.
bool E_Ini_Do_Servidor(const modZip::Entrada& entrada) {
    if (!entrada.caminho || !entrada.exata) return false;
    std::wstring nome = *entrada.caminho;
    std::replace(nome.begin(), nome.end(), L'/', L'\\');
    return Minusculas(nome) == L"mysql\\my.ini";
}

// Made for this read alone, in the system's temporary folder, open to
// administrators and the system only: nobody else can put a my.ini of
// their own in its place.
std::wstring Pasta_Temporaria() {
    std::wstring sistema = modPrincipal::Diretorio_Sistema();
    sistema.pop_back();
    const std::wstring base = sistema.substr(0, sistema.find_last_of(L'\\')) + L"\\Temp\\ConfiguraMySQL-";
    for (int tentativa = 1;; ++tentativa) {
        const std::wstring pasta = base + std::to_wstring(Rt().TickCount()) + L"-" + std::to_wstring(tentativa);
        try {
            Rt().MakeFolder(pasta, FolderAccess::Private);
            return pasta;
        } catch (const RuntimeError&) {
            if (tentativa == 3) throw;
        }
    }
}

// The port the archive's my.ini names. An archive that cannot be read is
// the extraction step's to report: until then the server's default stands.
std::wstring Porta_No_Zip(const std::wstring& arquivo_zip) {
    try {
        const auto entradas = modZip::Lista_Zip(arquivo_zip).entradas;
        const auto entrada = std::find_if(entradas.begin(), entradas.end(), E_Ini_Do_Servidor);
        if (entrada == entradas.end()) return kPortaDoServidor;
        const std::wstring pasta = Pasta_Temporaria();
        struct Apaga {
            const std::wstring& pasta;
            ~Apaga() {
                try {
                    Rt().RemoveFolder(pasta);
                } catch (const RuntimeError&) {
                }
            }
        } apaga{pasta};
        modZip::Extrai_Entrada(arquivo_zip, entrada->nome, pasta);
        return Porta_Do_Texto(Rt().ReadFilePart(pasta + L"\\my.ini", 0, kIniMaximo));
    } catch (const RuntimeError&) {
        return kPortaDoServidor;
    }
}

std::wstring Nome_Do_Arquivo(const std::wstring& caminho) { return caminho.substr(caminho.find_last_of(L"\\/") + 1); }

// mysqld.exe, mysqld-nt.exe, mysqld-max.exe..., and MariaDB's own name;
// the service manager may hold the program without its ".exe".
bool Da_Familia(const std::wstring& programa) {
    std::wstring nome = Minusculas(Nome_Do_Arquivo(programa));
    if (!nome.ends_with(L".exe")) nome += L".exe";
    return nome.starts_with(L"mysqld") || nome == L"mariadbd.exe";
}

}  // namespace

Ini Le_Ini(const std::wstring& texto) {
    Ini ini;
    bool do_servidor = false;
    for (const std::wstring& crua : Linhas(texto)) {
        const std::wstring linha = Apara(crua);
        if (linha.empty() || linha[0] == L';' || linha[0] == L'#') continue;
        if (linha[0] == L'[') {
            const std::wstring secao = Minusculas(Apara(linha.substr(1, linha.find(L']') - 1)));
            do_servidor = secao == L"mysqld" || secao == L"server";
            continue;
        }
        if (!do_servidor) continue;
        const auto igual = linha.find(L'=');
        std::wstring chave = Minusculas(Apara(linha.substr(0, igual)));
        std::replace(chave.begin(), chave.end(), L'_', L'-');
        std::wstring valor = igual == std::wstring::npos ? L"" : linha.substr(igual + 1);
        valor = Apara(valor.substr(0, valor.find(L'#')));
        if (valor.size() >= 2 && (valor.front() == L'"' || valor.front() == L'\'') && valor.back() == valor.front()) {
            valor = valor.substr(1, valor.size() - 2);
        }
        // log-bin turns the binary log on with or without a file name.
        if (chave == L"port") {
            ini.porta = valor;
        } else if (chave == L"log-bin") {
            ini.log_bin = true;
        } else if (chave == L"skip-log-bin" || chave == L"disable-log-bin") {
            ini.log_bin = false;
        }
    }
    return ini;
}

std::wstring Porta_Do_Ini(const Ini& ini) {
    const std::wstring& porta = ini.porta;
    if (porta.empty() || porta.size() > 5 || porta.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return kPortaDoServidor;
    }
    const int numero = std::stoi(porta);
    return numero >= 1 && numero <= 65535 ? std::to_wstring(numero) : kPortaDoServidor;
}

std::wstring Porta_Do_Servidor(const std::wstring& drive) {
    return Porta_Do_Texto(Rt().ReadFilePart(drive + comandos::kArquivoIni, 0, kIniMaximo));
}

std::optional<std::wstring> Porta_Em_Uso(const std::wstring& arquivo_zip) {
    // The archive is read where only administrators may write; without the
    // rights, the check after this one refuses the press.
    if (!Rt().IsAdministrator()) return std::nullopt;
    std::wstring porta;
    {
        // From the press on, an end of the program (a quit message, the
        // session's end) while the archive is read is an interrupted press,
        // never a done one.
        const ExitCodeWhile interrompida{kSaidaInterrompida};
        porta = Porta_No_Zip(arquivo_zip);
    }
    // A server that finds its port taken exits at once, and the service
    // step would fail only after its pauses, with the undo to follow.
    const auto ocupantes = Rt().TcpListeners(static_cast<std::uint16_t>(std::stoi(porta)));
    if (ocupantes.empty()) return std::nullopt;
    const auto conhecido =
        std::find_if(ocupantes.begin(), ocupantes.end(), [](const auto& ocupante) { return !ocupante.program.empty(); });
    if (conhecido == ocupantes.end()) return kPortaEmUsoInicio + porta + kPortaEmUsoOutro + kPortaEmUsoFim;
    return kPortaEmUsoInicio + porta + kPortaEmUsoPrograma + Nome_Do_Arquivo(conhecido->program) + kProcesso +
           std::to_wstring(conhecido->process_id) + L")" + kPortaEmUsoFim;
}

std::vector<std::wstring> Outros_Servidores() {
    std::vector<std::wstring> linhas;
    for (const auto& [nome, estado] : Rt().ListServices()) {
        // One that is stopped and started by hand competes with nothing.
        if (Minusculas(nome) == Minusculas(comandos::kServico) || (estado.stopped && !estado.automatic) ||
            !Da_Familia(estado.program)) {
            continue;
        }
        linhas.push_back(kOutroServidor + nome + L" (" + estado.program + L"), " +
                         (estado.stopped ? kParado : kEmExecucao) + (estado.automatic ? kInicioAutomatico : kInicioManual));
    }
    return linhas;
}

void Avisa_Outros_Servidores() {
    // A warning only: a service list that cannot be read stops no setup.
    try {
        for (const auto& linha : Outros_Servidores()) modRegistro::Escreve_Agora(linha);
    } catch (const RuntimeError& erro) {
        modRegistro::Escreve_Agora(kErro + std::to_wstring(erro.Number()) + L": " + erro.Description());
    }
}

}  // namespace cm
