// The twelve checks of /verificar, in order, and what each needs of the ones
// before it (a check whose need failed is listed as not checked):
//    1 the MySQL service is registered and runs {D}\MySQL\bin\mysqld-nt.exe;
//      with no drive given, it gives the drive, and without it nothing
//      below can be checked
//    2 it starts with Windows, 3 it is running: need 1
//    4 my.ini, 5 the three accounts log in: need the drive
//    6 the product database: needs 5; 7 the binary log: needs 5 and 4
//    8 who may change the server's folder, 9 free space, 10 the error log:
//      need the drive
//   11 who listens on my.ini's port, 12 the firewall rule for it: need 4
// Then a line for each other server of this family among the services.
// Checks 5, 6 and 10 go on when the service is missing or stopped: a
// server started by hand still answers, and the error log says why one
// did not start.
#include "app/Verificacao.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/CodigosSaida.h"
#include "setup/Comandos.h"
#include "setup/Porta_Servidor.h"
#include "system/Mensagens.h"
#include "system/Runtime.h"
#include "system/modPrincipal.h"
#include "system/modRegistro.h"

namespace cm {

using namespace mensagens;

namespace {

enum class Situacao { Ok, Falha, Aviso, Nao_Verificado };

// What one check found: for OK what it saw, otherwise the reason; and lines
// quoted beneath.
struct Achado {
    Situacao situacao = Situacao::Ok;
    std::wstring texto;
    std::vector<std::wstring> citacao;
};

Achado Ok(std::wstring detalhe = L"") { return {Situacao::Ok, std::move(detalhe), {}}; }
Achado Falha(std::wstring motivo) { return {Situacao::Falha, std::move(motivo), {}}; }
Achado Aviso(std::wstring motivo) { return {Situacao::Aviso, std::move(motivo), {}}; }

constexpr std::array<const wchar_t*, 3> kContas{L"root", L"velto", L"transfer"};
constexpr const wchar_t* kPastaBin = L"\\MySQL\\bin";
constexpr const wchar_t* kPastaDados = L"\\MySQL\\Data";

// Plain rows, tab between columns, no headings; a server that does not
// answer is given up after a few seconds, and a client that still hangs is
// ended by the runner: the whole check is meant to take seconds.
constexpr const wchar_t* kOpcoesCliente = L" -N -B --connect_timeout=5";
constexpr std::uint32_t kLimiteCliente = 30 * 1000;
// The client's refusal of a login, as opposed to a server it cannot reach.
constexpr const wchar_t* kAcessoNegado = L"ERROR 1045";

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
constexpr std::uint64_t kEspacoMinimo = kGiB;

// A my.ini is a few kilobytes; more is not read.
constexpr std::uint32_t kIniMaximo = 256 * 1024;

// The error log is read from its end in pieces of this size, and at most
// this much of one line is kept: a log can be hundreds of megabytes and
// this runs in a 32-bit process.
constexpr std::uint32_t kBlocoLog = 256 * 1024;
constexpr std::size_t kLinhaMaxima = 4096;
constexpr std::size_t kErrosCitados = 5;
constexpr std::size_t kCitacaoMaxima = 300;

std::wstring Primeira_Linha(const std::wstring& texto) {
    const auto linhas = Linhas(texto);
    return linhas.empty() ? L"" : linhas.front();
}

std::vector<std::wstring> Colunas(const std::wstring& linha) {
    std::vector<std::wstring> colunas;
    std::size_t inicio = 0;
    for (std::size_t tab; (tab = linha.find(L'\t', inicio)) != std::wstring::npos; inicio = tab + 1) {
        colunas.push_back(linha.substr(inicio, tab - inicio));
    }
    colunas.push_back(linha.substr(inicio));
    return colunas;
}

std::optional<std::uint64_t> Numero(const std::wstring& texto) {
    if (texto.empty() || texto.size() > 18 || texto.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return std::nullopt;
    }
    return std::stoull(texto);
}

std::wstring Tamanho(std::uint64_t bytes) {
    wchar_t texto[40];
    if (bytes >= kGiB) {
        std::swprintf(texto, 40, L"%llu,%llu GB", static_cast<unsigned long long>(bytes / kGiB),
                      static_cast<unsigned long long>(bytes % kGiB * 10 / kGiB));
    } else {
        std::swprintf(texto, 40, L"%llu MB", static_cast<unsigned long long>(bytes >> 20));
    }
    return texto;
}

// Where a line stands in the server's runs, read from the end of the log.
enum class Marca { Nenhuma, Inicio, Fim_Anterior, Pronto };

// MariaDB and MySQL from 5.1 on write a line when they start ("Starting
// MariaDB ...", "... starting as process N"), as does mysqld_safe. MySQL 5.0
// does not: its run begins after the previous one's "Shutdown complete" (the
// last line of a stopped server ends the run it is part of), and after a
// crash InnoDB's recovery notice is its first word. A run that ended with
// neither is told by its own "ready for connections".
Marca Marca_Da_Linha(const std::string& linha) {
    for (const char* inicio : {"Starting MariaDB", " starting as process ", "mysqld_safe Starting",
                               "InnoDB: Database was not shut down normally"}) {
        if (linha.find(inicio) != std::string::npos) return Marca::Inicio;
    }
    if (linha.find("Shutdown complete") != std::string::npos) return Marca::Fim_Anterior;
    if (linha.find("ready for connections") != std::string::npos) return Marca::Pronto;
    return Marca::Nenhuma;
}

// The last (at most five) lines with "[ERROR]" since the server's last
// start, oldest first; nothing when the file cannot be read. Read from the
// end one piece at a time, so that memory stays bounded whatever the size.
std::optional<std::vector<std::string>> Erros_Desde_Inicio(const std::wstring& arquivo) {
    const auto tamanho = Rt().FileLength(arquivo);
    if (!tamanho) return std::nullopt;
    std::vector<std::string> erros;  // newest first
    bool pronto_visto = false;
    bool posterior = false;  // a line of the server's work came after this one
    // Answers whether the lines before this one still belong to the last start.
    const auto examina = [&](std::string linha) {
        if (!linha.empty() && linha.back() == '\r') linha.pop_back();
        switch (Marca_Da_Linha(linha)) {
            case Marca::Inicio: return false;
            // Nothing after it: the last run's own end, the server is stopped.
            case Marca::Fim_Anterior: return !posterior;
            case Marca::Pronto:
                if (pronto_visto) return false;
                pronto_visto = posterior = true;
                return true;
            case Marca::Nenhuma: break;
        }
        if (!linha.empty()) posterior = true;
        if (linha.find("[ERROR]") != std::string::npos) erros.push_back(linha);
        return erros.size() < kErrosCitados;
    };
    // The beginning of the line that the text read so far starts in the middle of.
    std::string resto;
    bool continua = true;
    for (std::uint64_t fim = *tamanho; continua && fim > 0;) {
        const auto parte = static_cast<std::uint32_t>(std::min<std::uint64_t>(kBlocoLog, fim));
        const std::uint64_t inicio = fim - parte;
        auto bloco = Rt().ReadFilePart(arquivo, inicio, parte);
        if (!bloco || bloco->size() != parte) return std::nullopt;
        std::string texto = std::move(*bloco) + resto;
        std::size_t fim_linha = texto.size();
        for (std::size_t quebra; continua && fim_linha > 0 &&
                                 (quebra = texto.rfind('\n', fim_linha - 1)) != std::string::npos;
             fim_linha = quebra) {
            continua = examina(texto.substr(quebra + 1, fim_linha - quebra - 1));
        }
        // A line longer than this is quoted by its beginning, which is read last.
        resto = texto.substr(0, std::min(fim_linha, kLinhaMaxima));
        fim = inicio;
    }
    if (continua && !resto.empty()) examina(resto);
    std::reverse(erros.begin(), erros.end());
    return erros;
}

// How one client run as one account ended.
struct Resposta {
    bool concluida = false;  // exit code 0
    std::wstring saida;      // its first line of output
    std::wstring motivo;     // otherwise why: the client's own words when it has some
    bool recusada = false;   // the server refused the login
};

class Verificador {
public:
    explicit Verificador(std::wstring drive) : drive_(std::move(drive)), informado_(!drive_.empty()) {}
    int Executa();

private:
    Achado Servico_Registrado();
    Achado Arquivo_Ini();
    Achado Contas();
    Achado Banco_Velto();
    Achado Log_Binario();
    Achado Permissoes();
    Achado Espaco_Livre();
    Achado Log_Erros();
    Achado Porta_Servidor();
    Achado Firewall();
    Resposta Consulta(const wchar_t* conta, const std::wstring& instrucao);

    std::wstring drive_;
    bool informado_;
    bool administrador_ = false;
    std::optional<ServiceState> servico_;
    bool log_bin_ini_ = false;
    std::wstring porta_;  // the one my.ini names, or 3306
};

Resposta Verificador::Consulta(const wchar_t* conta, const std::wstring& instrucao) {
    const std::wstring linha = drive_ + comandos::kClienteStatus + kOpcoesCliente + L" -e \"" + instrucao +
                               L"\" -h localhost -u " + conta + comandos::kOpcaoSenha + comandos::kSenha;
    modPrincipal::Execucao execucao;
    modPrincipal::Executa_Aguarda(linha, modPrincipal::kJanelaOculta, &execucao, kLimiteCliente);
    Resposta resposta;
    if (execucao.Tempo_Esgotado) {
        resposta.motivo = kClienteSemFim + std::to_wstring(kLimiteCliente / 1000) + L" s";
    } else if (!execucao.Concluida) {
        resposta.motivo = kClienteNaoExecutado;
    } else if (execucao.Codigo_Saida != 0) {
        const std::wstring erro = Primeira_Linha(execucao.Erros);
        resposta.motivo = erro.empty() ? kClienteCodigo + std::to_wstring(execucao.Codigo_Saida)
                                       : erro;
        resposta.recusada = erro.starts_with(kAcessoNegado);
    } else {
        resposta.concluida = true;
        resposta.saida = Primeira_Linha(execucao.Saida);
    }
    return resposta;
}

Achado Verificador::Servico_Registrado() {
    const std::wstring informe = informado_ ? L"" : kInformeDrive;
    servico_ = Rt().QueryService(comandos::kServico);
    if (!servico_) return Falha(kSemServico + informe);
    const std::wstring& programa = servico_->program;
    if (programa.empty()) {
        return Falha(std::wstring(kProgramaIlegivel) + (administrador_ ? L"" : kSemDireitos) + informe);
    }
    if (!informado_) {
        const std::wstring drive = programa.substr(0, 2);
        if (!comandos::Mesmo_Programa(programa, drive + comandos::kServidor)) {
            return Falha(kServicoExecuta + programa + kForaDeMysqlBin + informe);
        }
        drive_ = drive;
    } else if (!comandos::Mesmo_Programa(programa, drive_ + comandos::kServidor)) {
        return Falha(kServicoExecuta + programa + kNao + drive_ + comandos::kServidor);
    }
    return Ok(programa);
}

Achado Verificador::Arquivo_Ini() {
    const std::wstring arquivo = drive_ + comandos::kArquivoIni;
    if (!Rt().FileLength(arquivo)) return Falha(kSemArquivo + arquivo);
    const auto bytes = Rt().ReadFilePart(arquivo, 0, kIniMaximo);
    if (!bytes) return Falha(kNaoLido + arquivo);
    const Ini ini = Le_Ini(Rt().FromAnsi(*bytes));
    log_bin_ini_ = ini.log_bin;
    porta_ = Porta_Do_Ini(ini);
    return Ok(kPorta + (ini.porta.empty() ? std::wstring(kPortaPadrao) : ini.porta) + kLogBinarioIni +
              (ini.log_bin ? kSim : kNaoPalavra));
}

Achado Verificador::Contas() {
    const std::wstring cliente = drive_ + comandos::kClienteStatus;
    if (Rt().Dir(cliente, vbArchive).empty()) return Falha(kSemCliente + cliente);
    std::vector<std::wstring> recusadas;
    std::wstring primeira_recusa;
    for (const wchar_t* conta : kContas) {
        const Resposta resposta = Consulta(conta, L"SELECT 1");
        if (resposta.concluida) continue;
        if (!resposta.recusada) return Falha(kNaoResponde + resposta.motivo + L")");
        recusadas.emplace_back(conta);
        if (primeira_recusa.empty()) primeira_recusa = resposta.motivo;
    }
    if (!recusadas.empty()) {
        return Falha(kSenhaRecusada + Junta(recusadas, L", ") + L" (" + primeira_recusa + L")");
    }
    return Ok(kContasEntram);
}

Achado Verificador::Banco_Velto() {
    const Resposta resposta =
        Consulta(L"root",
                 L"SELECT (SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME='velto'), "
                 L"(SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA='velto' AND "
                 L"TABLE_TYPE='BASE TABLE')");
    if (!resposta.concluida) return Falha(resposta.motivo);
    const auto colunas = Colunas(resposta.saida);
    const auto existe = colunas.size() == 2 ? Numero(colunas[0]) : std::nullopt;
    const auto tabelas = colunas.size() == 2 ? Numero(colunas[1]) : std::nullopt;
    if (!existe || !tabelas) return Falha(kRespostaInesperada + resposta.saida);
    if (*existe == 0) return Falha(kSemBanco);
    if (*tabelas == 0) return Aviso(kBancoVazio);
    return Ok(std::to_wstring(*tabelas) + (*tabelas == 1 ? kTabela : kTabelas));
}

Achado Verificador::Log_Binario() {
    const Resposta resposta = Consulta(L"root", L"SHOW VARIABLES LIKE 'log_bin'");
    if (!resposta.concluida) return Falha(resposta.motivo);
    const auto colunas = Colunas(resposta.saida);
    const std::wstring valor = colunas.size() == 2 && colunas[0] == L"log_bin" ? Minusculas(colunas[1]) : L"";
    if (valor != L"on" && valor != L"off") return Falha(kRespostaInesperada + resposta.saida);
    const bool ligado = valor == L"on";
    const auto nome = [](bool sim) { return sim ? kLigado : kDesligado; };
    // my.ini is read at the server's start only.
    if (ligado != log_bin_ini_) {
        return Aviso(std::wstring(kLogBinarioDiferente) + nome(ligado) + kIniPede + nome(log_bin_ini_) +
                     kFaltaReiniciar);
    }
    return Ok(std::wstring(nome(ligado)) + kComoPedeIni);
}

Achado Verificador::Permissoes() {
    const std::wstring pasta = drive_ + comandos::kPastaServidor;
    if (!Rt().KeepsAccessLists(drive_)) {
        return Aviso(kDriveSemPermissoes + drive_ + kDriveSemPermissoesFim + pasta);
    }
    std::vector<std::wstring> avisos;
    for (const std::wstring& caminho :
         {pasta, drive_ + kPastaBin, drive_ + comandos::kServidor, drive_ + kPastaDados}) {
        // Data is for SYSTEM and the administrators alone: nobody else can read its list.
        if (caminho.ends_with(kPastaDados) && !administrador_) {
            avisos.push_back(kSemDireitosInicio + caminho + kNaoFoiVerificada);
            continue;
        }
        const auto grupos = Rt().ChangeableByAnyone(caminho);
        if (!grupos.empty()) avisos.push_back(kPodemAlterar + caminho + L": " + Junta(grupos, L", "));
    }
    return avisos.empty() ? Ok() : Aviso(Junta(avisos, L"; "));
}

Achado Verificador::Espaco_Livre() {
    const auto livre = Rt().FreeSpace(drive_);
    if (!livre) return Aviso(kDriveIlegivel + drive_);
    if (*livre < kEspacoMinimo) return Aviso(kRestam + Tamanho(*livre) + kLivresNoDrive + drive_);
    return Ok(Tamanho(*livre) + kLivres);
}

Achado Verificador::Log_Erros() {
    const std::wstring dados = drive_ + kPastaDados;
    if (!administrador_) return Aviso(kSemDireitosInicio + dados + kNaoPodeSerLida);
    // The server names its log after the machine: after a rename there are
    // two, and the one written last is the server's.
    std::vector<std::wstring> nomes;
    for (std::wstring nome = Rt().Dir(dados + L"\\*.err", vbArchive); !nome.empty(); nome = Rt().DirNext()) {
        nomes.push_back(nome);
    }
    if (nomes.empty()) return Aviso(kSemLogErros + dados);
    std::wstring arquivo;
    std::uint64_t mais_recente = 0;
    for (const auto& nome : nomes) {
        const std::uint64_t quando = Rt().FileWriteTime(dados + L"\\" + nome).value_or(0);
        if (arquivo.empty() || quando > mais_recente) {
            arquivo = dados + L"\\" + nome;
            mais_recente = quando;
        }
    }
    const auto erros = Erros_Desde_Inicio(arquivo);
    if (!erros) return Aviso(kNaoLido + arquivo);
    if (erros->empty()) return Ok(kNenhumErro + arquivo);
    Achado achado = Aviso(kUltimosErros + arquivo + L":");
    for (const auto& erro : *erros) {
        std::wstring linha = Rt().FromAnsi(erro);
        if (linha.size() > kCitacaoMaxima) linha = linha.substr(0, kCitacaoMaxima) + L"...";
        achado.citacao.push_back(linha);
    }
    return achado;
}

Achado Verificador::Porta_Servidor() {
    const auto ocupantes = Rt().TcpListeners(static_cast<std::uint16_t>(std::stoi(porta_)));
    const bool executando = servico_ && servico_->running;
    if (ocupantes.empty()) return executando ? Aviso(kNadaAtende + porta_ + kComServico) : Ok(kPorta + porta_ + kLivre);
    const std::wstring servidor = drive_ + comandos::kServidor;
    // Without the rights to ask for its folder, the system names a
    // service's program by its file alone.
    const std::wstring arquivo = Minusculas(servidor.substr(servidor.find_last_of(L'\\') + 1));
    const auto nosso = [&](const Runtime::Listener& ocupante) {
        return comandos::Mesmo_Programa(ocupante.program, servidor) ||
               (executando && Minusculas(ocupante.program) == arquivo);
    };
    bool algum_nosso = false;
    for (const auto& ocupante : ocupantes) {
        if (nosso(ocupante)) {
            algum_nosso = true;
        } else if (!ocupante.program.empty()) {
            return Falha(kAPorta + porta_ + kEmUsoPor + ocupante.program + kProcesso +
                         std::to_wstring(ocupante.process_id) + L")");
        }
    }
    if (!algum_nosso) return Aviso(kAPorta + porta_ + kEmUsoSemDono);
    return Ok(kPorta + porta_ + L", " + servidor);
}

Achado Verificador::Firewall() {
    modPrincipal::Execucao execucao;
    modPrincipal::Executa_Aguarda(comandos::Regra_Firewall(L"show", porta_), modPrincipal::kJanelaOculta, &execucao,
                                  kLimiteCliente);
    const std::wstring nome = comandos::Nome_Regra(porta_);
    if (execucao.Concluida && execucao.Codigo_Saida == 0) return Ok(nome);
    return Aviso(kSemRegra + nome + kSemRegraFim);
}

void Escreve_Linha(const std::wstring& linha) {
    modRegistro::Escreve(linha);
    Rt().ConsoleLine(modRegistro::Mascara(linha));
}

int Verificador::Executa() {
    // Ended half-way (a quit message, the session's end), a check has
    // vouched for nothing.
    struct Sem_Resultado {
        Sem_Resultado() { Rt().SetExitCode(kSaidaInterrompida); }
        ~Sem_Resultado() { Rt().SetExitCode(kSaidaConcluida); }
    } sem_resultado;
    administrador_ = Rt().IsAdministrator();
    modRegistro::Oculta(comandos::kSenha);
    modRegistro::Inicia(kSecaoVerificacao,
                        modRegistro::Campos({{kCampoDrive, informado_ ? drive_ : kDriveDoServico},
                                             {kCampoAdministrador, administrador_ ? kSim : kNaoPalavra}}));
    struct Verificacao {
        const wchar_t* nome;
        std::vector<int> precisa;  // the checks that must have passed
        bool precisa_drive;
        std::function<Achado()> executa;
    };
    const Verificacao verificacoes[] = {
        {kVerificacaoServico, {}, false, [&] { return Servico_Registrado(); }},
        {kVerificacaoAutomatico, {1}, false, [&] { return servico_->automatic ? Ok() : Falha(kServicoManual); }},
        {kVerificacaoExecucao, {1}, false,
         [&] {
             if (servico_->running) return Ok();
             return Falha(servico_->stopped ? kServicoParado : kServicoTransicao);
         }},
        {kVerificacaoIni, {}, true, [&] { return Arquivo_Ini(); }},
        {kVerificacaoContas, {}, true, [&] { return Contas(); }},
        {kVerificacaoBanco, {5}, true, [&] { return Banco_Velto(); }},
        {kVerificacaoLogBinario, {5, 4}, true, [&] { return Log_Binario(); }},
        {kVerificacaoPermissoes, {}, true, [&] { return Permissoes(); }},
        {kVerificacaoEspaco, {}, true, [&] { return Espaco_Livre(); }},
        {kVerificacaoLogErros, {}, true, [&] { return Log_Erros(); }},
        {kVerificacaoPorta, {4}, true, [&] { return Porta_Servidor(); }},
        {kVerificacaoFirewall, {4}, true, [&] { return Firewall(); }},
    };
    std::vector<Situacao> situacoes;
    int falhas = 0;
    int primeira_falha = 0;
    for (const Verificacao& verificacao : verificacoes) {
        const int numero = static_cast<int>(situacoes.size()) + 1;
        std::vector<int> precisa = verificacao.precisa;
        // Without a drive, it was the service that was to give it.
        if (verificacao.precisa_drive && drive_.empty()) precisa.insert(precisa.begin(), 1);
        const auto falta = std::find_if(precisa.begin(), precisa.end(),
                                        [&](int n) { return situacoes[n - 1] != Situacao::Ok &&
                                                            situacoes[n - 1] != Situacao::Aviso; });
        Achado achado;
        if (falta != precisa.end()) {
            achado = {Situacao::Nao_Verificado, kDependeDe + std::to_wstring(*falta), {}};
        } else {
            try {
                achado = verificacao.executa();
            } catch (const RuntimeError& erro) {
                achado = Falha(erro.Description());
            }
        }
        situacoes.push_back(achado.situacao);
        std::wstring linha = kVerificacao + std::to_wstring(numero) + L". " + verificacao.nome + L": ";
        switch (achado.situacao) {
            case Situacao::Ok: linha += achado.texto.empty() ? kOk : kOk + (L" (" + achado.texto + L")"); break;
            case Situacao::Falha: linha += kFalha + achado.texto; break;
            case Situacao::Aviso: linha += kAviso + achado.texto; break;
            case Situacao::Nao_Verificado: linha += kNaoVerificado + achado.texto + L")"; break;
        }
        Escreve_Linha(linha);
        for (const auto& citada : achado.citacao) Escreve_Linha(L"    " + citada);
        if (achado.situacao == Situacao::Falha && ++falhas == 1) primeira_falha = numero;
    }
    // Another server that starts with Windows takes the port first, or
    // is the one the terminals were set to.
    try {
        for (const auto& outro : Outros_Servidores()) Escreve_Linha(outro);
    } catch (const RuntimeError&) {
        // Check 1 has said what the service manager refuses.
    }
    Escreve_Linha(falhas == 0 ? std::wstring(kServidorEmOrdem)
                              : kServidorComProblemas + std::to_wstring(falhas) + kFalhas);
    Rt().ConsoleLine(kVejaDetalhes + modRegistro::Caminho());
    return falhas == 0 ? kSaidaConcluida : kSaidaServidor + primeira_falha;
}

}  // namespace

int Verifica_Servidor(const std::wstring& drive) { return Verificador(drive).Executa(); }

}  // namespace cm
