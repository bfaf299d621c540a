#include "app/frmPrincipal.h"

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>

#include "app/CodigosSaida.h"
#include "setup/Comandos.h"
#include "setup/Porta_Servidor.h"
#include "system/ErrorHandling.h"
#include "system/Mensagens.h"
#include "system/Runtime.h"
#include "system/modPrincipal.h"
#include "system/modRegistro.h"

namespace cm {

using namespace mensagens;

namespace {

constexpr const wchar_t* kPastaMysql = L"\\Mysql\\";
constexpr const wchar_t* kArquivoZip = L"\\Mysql.zip";
constexpr const wchar_t* kBiblioteca = L"\\unzip32.dll";
constexpr std::size_t kTamanhoDrive = 2;  // letter and colon, as the drive list shows them

using comandos::kSenha;

// The step labels, in the order the steps run.
constexpr std::array<Control, 5> kEtapas{Control::lblInstalacaoMysql, Control::lblConfiguracaoBinario,
                                         Control::lblCriacaoServico, Control::lblConfiguracaoUsuario,
                                         Control::lblImportacaoBanco};

// While a setup or a removal changes the machine: the session's end waits
// for it, and an end of the program in between is not taken for success.
struct Execucao_Protegida {
    explicit Execucao_Protegida(int codigo_durante) : codigo_(codigo_durante) { Rt().BlockShutdown(kMotivoEspera); }
    ~Execucao_Protegida() { Rt().BlockShutdown(L""); }
    Execucao_Protegida(const Execucao_Protegida&) = delete;
    Execucao_Protegida& operator=(const Execucao_Protegida&) = delete;
    ExitCodeWhile codigo_;
};

// The span in which the operator may interrupt the setup; closed however
// the steps end, so that the undo's own commands run.
struct Interrompivel {
    Interrompivel() { Rt().SetInterruptible(true); }
    ~Interrompivel() { Rt().SetInterruptible(false); }
    Interrompivel(const Interrompivel&) = delete;
    Interrompivel& operator=(const Interrompivel&) = delete;
};

void Apaga_Registro_Execucao() {
    try {
        Rt().RemoveRunRecord();
    } catch (const RuntimeError& erro) {
        modRegistro::Escreve_Agora(kRegistroNaoApagado + erro.Description());
    }
}

// The record a run cut short left; nothing when there is none (or it is not
// such a record). A completed run's record that could not be removed then
// goes now: its server is the shop's. One that others than administrators
// could have written is never acted on (aberto tells of it): anyone could
// have named a folder and a service in it for an administrator to delete.
std::optional<Configuracao_Em_Andamento> Configuracao_Anterior(bool* aberto = nullptr) {
    const auto registro = Rt().ReadRunRecord();
    if (registro && registro->others_may_write) {
        if (aberto != nullptr) *aberto = Configuracao_Em_Andamento::De(registro->text).has_value();
        return std::nullopt;
    }
    auto anterior = registro ? Configuracao_Em_Andamento::De(registro->text) : std::nullopt;
    if (anterior && anterior->concluida) {
        Apaga_Registro_Execucao();
        return std::nullopt;
    }
    return anterior;
}

// Marks a run as going on for as long as it lasts, whichever way it ends.
struct Em_Curso {
    explicit Em_Curso(bool& marca) : marca_(marca) { marca_ = true; }
    ~Em_Curso() { marca_ = false; }
    Em_Curso(const Em_Curso&) = delete;
    Em_Curso& operator=(const Em_Curso&) = delete;
    bool& marca_;
};

bool ExisteArquivo(const std::wstring& caminho) { return !Rt().Dir(caminho, vbArchive).empty(); }

}  // namespace

void frmPrincipal::Form_Load() {
    // No handler here: an error while loading is the platform's to report.
    const std::wstring componente = modPrincipal::Diretorio_Sistema() + kComponenteArquivo;
    if (Rt().Dir(componente, vbArchive).empty()) {
        Rt().MsgBox(kSemProduto, vbInformation, kTituloAtencao);
        Rt().End();
    }
    // Nobody would read the reminder in an unattended run, which checks the
    // rights itself.
    if (!Rt().Unattended()) {
        Rt().MsgBox(kLembreteAdministrador, vbInformation, kTituloInformativo);
        // An unattended setup undoes such a run itself, without asking.
        Desfaz_Configuracao_Anterior(true);
    }
    Preenche_Combo_ArquivosSql();
}

bool frmPrincipal::NomeDeArquivoValido(const std::wstring& nome) {
    for (wchar_t c : nome) {
        if (c < 0x20 || std::wstring_view(L"\"<>|*?%!").find(c) != std::wstring_view::npos) return false;
    }
    return true;
}

void frmPrincipal::Preenche_Combo_ArquivosSql() {
    WithStandardHandler([&] {
        std::wstring arquivo = Rt().Dir(Rt().AppPath() + L"\\*.sql", vbArchive);
        view_.Clear(Control::cboArquivoSql);
        while (!arquivo.empty()) {
            view_.AddItem(Control::cboArquivoSql, arquivo);
            arquivo = Rt().DirNext();
        }
    });
}

void frmPrincipal::cmdRemoveServico_MouseMove(int, int, float, float) {
    view_.SetVisible(Control::lblRemoverServico, true);
}

void frmPrincipal::Form_MouseMove(int, int, float, float) {
    view_.SetVisible(Control::lblRemoverServico, false);
}

// Ending the program between two commands of a setup or a removal would
// leave the machine half done (an empty product database after the drop).
void frmPrincipal::cmdFechar_Click() {
    bool cancela = false;
    Form_QueryUnload(cancela);
    if (!cancela) Rt().End();
}

void frmPrincipal::Form_QueryUnload(bool& Cancel) {
    Cancel = Em_Andamento();
    if (!Cancel) return;
    // A setup may be stopped, and what it made is then taken back; a
    // removal or an undo is bounded and runs to its end.
    if (Rt().Interruptible()) {
        if (!Rt().Interrupted() && Rt().MsgBox(kPerguntaInterromper, vbYesNo + vbQuestion, kTituloAtencao) == vbYes) {
            Rt().Interrupt();
        }
        return;
    }
    Rt().MsgBox(kEmAndamento, vbInformation, kTituloAtencao);
}

void frmPrincipal::cmdRemoveServico_Click() { Remove_Servico(true); }

bool frmPrincipal::Remove_Servico(bool pergunta) {
    // The removal's waits serve the window's messages: a second press while
    // it runs must not start a removal inside it, nor may a press take the
    // service away under a setup, which would then report a server that is
    // no longer there. Either way the operator is told why nothing happens.
    if (Em_Andamento()) {
        Rt().MsgBox(kEmAndamento, vbInformation, kTituloAtencao);
        return false;
    }
    const Em_Curso em_curso{removendo_};
    codigo_remocao_ = kSaidaRemocao;

    bool removido = false;
    WithStandardHandler([&] {
        if (pergunta && Rt().MsgBox(kPerguntaRemocao, vbYesNo + vbQuestion, kTituloAtencao) != vbYes) {
            codigo_remocao_ = kSaidaConcluida;
            return;
        }
        if (!Rt().IsAdministrator()) {
            codigo_remocao_ = kSaidaAdministrador;
            Rt().MsgBox(kSemAdministrador, vbExclamation, kTituloAtencao);
            return;
        }
        modRegistro::Inicia(kSecaoRemocao, modRegistro::Campos());
        const Execucao_Protegida protegida{kSaidaRemocao};
        const std::wstring porta = Porta_Do_Servico();
        removido = Para_E_Apaga_Servico();
        if (removido) Apaga_Regra_Firewall(porta);
        if (removido) {
            codigo_remocao_ = kSaidaConcluida;
            Rt().MsgBox(kRemovido, vbOKOnly, kTituloRemovido);
        } else {
            Rt().MsgBox(kNaoRemovido + modRegistro::Caminho(), vbExclamation, kTituloAtencao);
        }
    });
    return removido;
}

void frmPrincipal::Marca_Etapa(Control rotulo) {
    view_.SetForeColor(rotulo, kGreen);
    view_.SetText(rotulo, view_.Text(rotulo) + kMarcaConcluida);
}

void frmPrincipal::Falha_Etapa(const std::wstring& motivo) {
    // An interrupted run failed because it was asked to, not for this reason.
    if (Rt().Interrupted()) return;
    modRegistro::Escreve_Agora(kFalhaEtapa + motivo);
    if (configurando_) {
        falha_ = motivo;
        return;
    }
    Rt().MsgBox(motivo + L"\r\n\r\n" + kVejaDetalhes + modRegistro::Caminho(), vbExclamation, kTituloAtencao);
}

void frmPrincipal::Restaura_Etapas() {
    for (const Control rotulo : kEtapas) {
        view_.SetText(rotulo, std::wstring(SpecOf(rotulo).caption));
        view_.SetForeColor(rotulo, kDarkBlue);
    }
}

std::vector<std::pair<std::wstring, std::wstring>> frmPrincipal::Cabecalho_Registro(const Pedido& pedido) {
    const std::wstring pasta = Rt().AppPath();
    auto campos = modRegistro::Campos({
        {kCampoPasta, pasta},
        {kCampoDrive, pedido.drive},
        {kCampoArquivoSql, pedido.script},
        {kCampoLogBinario, view_.Value(Control::chkBinario) == 1 ? kSim : kNaoPalavra}});
    // What ran as administrator, and whether anyone could have swapped it.
    // The archive is held from before its hash to the end of the first
    // step, so that the one hashed is the one extracted. A server archive
    // takes a while to read: the window answers meanwhile.
    zip_preso_ = Rt().HoldFile(pasta + kArquivoZip);
    std::wstring hashes[2];
    Rt().RunInBackground([&] {
        hashes[0] = Rt().FileSha256(pasta + kArquivoZip);
        hashes[1] = Rt().FileSha256(pasta + kBiblioteca);
    });
    for (const auto& [arquivo, hash] : {std::pair{kArquivoZip, hashes[0]}, std::pair{kBiblioteca, hashes[1]}}) {
        campos.emplace_back(std::wstring(arquivo + 1) + kCampoHash, hash.empty() ? kHashIlegivel : hash);
    }
    for (const auto& [nome, caminho] : {std::pair<std::wstring, std::wstring>{kPastaDoPrograma, pasta},
                                        {kArquivoZip + 1, pasta + kArquivoZip},
                                        {kBiblioteca + 1, pasta + kBiblioteca}}) {
        const std::wstring grupos = Junta(Rt().ChangeableByAnyone(caminho), L", ");
        if (!grupos.empty()) campos.emplace_back(kAvisoAlteravel, kPodemAlterar + nome + L": " + grupos);
    }
    if (!pedido.confirmacao.empty()) campos.emplace_back(kCampoConfirmacao, pedido.confirmacao);
    return campos;
}

std::optional<frmPrincipal::Pedido> frmPrincipal::Verifica_Pedido() {
    // With nobody at the window the runtime logs every box itself.
    const auto recusa = [](const std::wstring& texto, int estilo) {
        if (!Rt().Unattended()) {
            modRegistro::Escreve(std::wstring(kMensagemNoLog) + L" (" + kTituloAtencao + L"): " + texto);
        }
        Rt().MsgBox(texto, estilo, kTituloAtencao);
        return std::nullopt;
    };
    codigo_configuracao_ = kSaidaVerificacao;
    const std::wstring unidade = view_.Text(Control::cboDrive);
    if (unidade.empty()) return recusa(kSemDrive, vbInformation);
    // Taken once: later changes of the drive list do not follow into the run.
    Pedido pedido{unidade.substr(0, kTamanhoDrive), view_.Text(Control::cboArquivoSql), L""};
    // What a run cut short made is undone first, from its record: a new
    // setup would otherwise work beside it, and its undo could no longer
    // tell its own folder and service from this one's.
    if (const auto anterior = Configuracao_Anterior()) {
        return recusa(std::wstring(kMysqlExiste) + L"\r\n\r\n" + kAnteriorNaoTerminou + anterior->Descricao() +
                          kAnteriorAbraDeNovo,
                      vbInformation);
    }
    // Hidden, or only a link, even one that leads nowhere: still not this
    // run's to make, nor to remove.
    if (!Rt().Dir(pedido.drive + kPastaMysql, vbDirectory).empty() ||
        Rt().Occupied(pedido.drive + comandos::kPastaServidor)) {
        return recusa(kMysqlExiste, vbInformation);
    }
    // Without access lists the server folder would be open to every user
    // (and on FAT32 the data files could not pass 4 GB).
    if (!Rt().KeepsAccessLists(pedido.drive)) {
        return recusa(kSemPermissoesInicio + pedido.drive + kSemPermissoesFim, vbExclamation);
    }
    // Whoever may delete or re-permission what is in the root could swap
    // the server folder for one of theirs, during the run or after it.
    if (const auto grupos = Rt().RootOpenToAnyone(pedido.drive); !grupos.empty()) {
        return recusa(kSemPermissoesInicio + pedido.drive + kDriveAbertoMeio + Junta(grupos, L", ") + kDriveAbertoFim,
                      vbExclamation);
    }
    // The import runs through the command interpreter, which expands these
    // even inside quotes.
    if (Rt().AppPath().find_first_of(L"%!") != std::wstring::npos) return recusa(kPastaInvalida, vbExclamation);
    if (!ExisteArquivo(Rt().AppPath() + kArquivoZip)) return recusa(kSemArquivoZip, vbInformation);
    if (!ExisteArquivo(Rt().AppPath() + kBiblioteca)) return recusa(kSemBiblioteca, vbExclamation);
    if (pedido.script.empty()) return recusa(kSemScript, vbInformation);
    // A pattern would let the search find some other file, and the name
    // later goes, quoted, on the interpreter's command line.
    if (!NomeDeArquivoValido(pedido.script) || !ExisteArquivo(Rt().AppPath() + L"\\" + pedido.script)) {
        return recusa(kScriptNaoEncontrado, vbInformation);
    }
    // A server registered from another drive (or whose folder was
    // deleted) would take this setup's grants and its drop of the
    // product database: the shop's data would be lost.
    if (Rt().QueryService(comandos::kServico)) return recusa(kMysqlExiste, vbInformation);
    if (!Rt().IsAdministrator()) {
        codigo_configuracao_ = kSaidaAdministrador;
        return recusa(kSemAdministrador, vbExclamation);
    }
    // What runs as administrator, or is run by the service it registers:
    // whoever may replace one of these may put their own server in place.
    std::vector<std::wstring> alteraveis;
    for (const std::wstring& arquivo : {Rt().ProgramFile(), Rt().AppPath() + kBiblioteca, Rt().AppPath() + kArquivoZip,
                                        Rt().AppPath() + L"\\" + pedido.script}) {
        const auto grupos = Rt().ReplaceableByAnyone(arquivo);
        if (!grupos.empty()) {
            alteraveis.push_back(arquivo.substr(arquivo.find_last_of(L"\\/") + 1) + L" (" + Junta(grupos, L", ") + L")");
        }
    }
    if (!alteraveis.empty()) {
        const std::wstring texto =
            std::wstring(kAlteraveisInicio) + L"\r\n\r\n" + Junta(alteraveis, L"\r\n") + L"\r\n\r\n" + kAlteraveisFim;
        if (Rt().MsgBox(texto, vbYesNo + vbExclamation + vbDefaultButton2, kTituloAtencao) != vbYes) {
            if (!Rt().Unattended()) modRegistro::Escreve(std::wstring(kMensagemNoLog) + L" (" + kTituloAtencao + L"): " + texto);
            modRegistro::Escreve(kRespostaNao);
            return std::nullopt;
        }
        pedido.confirmacao = Junta(alteraveis, L", ") + kConfirmadoPor + Rt().UserName();
    }
    // Reading the port out of the archive loads unzip32.dll: only once the
    // operator knows who else could have replaced it.
    if (const auto ocupada = Porta_Em_Uso(Rt().AppPath() + kArquivoZip)) return recusa(*ocupada, vbExclamation);
    return pedido;
}

int frmPrincipal::Executa_Etapas(const Pedido& pedido) {
    Avisa_Outros_Servidores();
    const std::wstring& drive = pedido.drive;
    // Each step reads what it needs when it is called: the script's name
    // is taken again for the import, as the operator may change it while
    // the earlier steps run.
    const std::array<std::function<void(Logico&)>, kEtapas.size()> etapas{{
        [&](Logico& r) { Instala_Mysql(drive, Rt().AppPath() + kArquivoZip, r); },
        [&](Logico& r) { Configura_LogBinario(drive, r); },
        [&](Logico& r) { Cria_Servico(drive, r); },
        [&](Logico& r) { Configura_Usuarios(drive, kSenha, r); },
        [&](Logico& r) { Importa_Banco(drive, view_.Text(Control::cboArquivoSql), kSenha, r); },
    }};
    for (std::size_t i = 0; i < etapas.size(); ++i) {
        const int numero = static_cast<int>(i) + 1;
        // Should the program be ended now (a quit message, the end of the
        // Windows session), this is the outcome whoever started it reads.
        Rt().SetExitCode(kSaidaEtapa + numero);
        const std::wstring nome(SpecOf(kEtapas[i]).caption);
        Logico resultado = Falso;
        if (em_andamento_ && !Rt().Interrupted()) {
            em_andamento_->etapa = numero;
            Atualiza_Registro_Execucao();
        }
        if (!Rt().Interrupted()) {
            modRegistro::Escreve_Agora(kEtapa + nome);
            etapas[i](resultado);
        }
        // A step under way when the run was interrupted failed, however far
        // it got: the undo takes back what it made.
        const bool interrompida = Rt().Interrupted();
        if (interrompida) resultado = Falso;
        const std::wstring situacao =
            kEtapa + nome + (interrompida ? kEtapaInterrompida : resultado == Falso ? kEtapaFalhou : kEtapaConcluida);
        modRegistro::Escreve_Agora(situacao);
        Rt().ConsoleLine(situacao);
        if (resultado == Falso) {
            modRegistro::Escreve((interrompida && !registro_falhou_ ? kResultadoInterrompidaPedido
                                                                    : kResultadoInterrompida) +
                                 nome);
            return numero;
        }
        Marca_Etapa(kEtapas[i]);
    }
    return 0;
}

bool frmPrincipal::Atualiza_Registro_Execucao() {
    if (!em_andamento_) return true;
    try {
        Rt().WriteRunRecord(em_andamento_->Texto());
        return true;
    } catch (const RuntimeError& erro) {
        // A cut from now on would leave a record that does not tell what
        // the run made: stopped here, and undone while it still knows.
        const std::wstring motivo = kRegistroNaoAtualizado + erro.Description();
        modRegistro::Escreve_Agora(motivo);
        if (!registro_falhou_) registro_falhou_ = motivo;
        Rt().Interrupt();
        return false;
    }
}

bool frmPrincipal::Anota_Pasta_A_Criar() {
    if (!em_andamento_) return true;
    em_andamento_->pasta_a_criar = true;
    return Atualiza_Registro_Execucao();
}

void frmPrincipal::Anota_Pasta_Criada() {
    if (!em_andamento_) return;
    em_andamento_->pasta = Rt().FolderIdentity(criado_.drive + comandos::kPastaServidor);
    Atualiza_Registro_Execucao();
}

frmPrincipal::Plano_Anterior frmPrincipal::Planeja_Desfazer(const Configuracao_Em_Andamento& anterior,
                                                            const std::wstring& guardar_como) {
    Plano_Anterior plano{anterior.drive + comandos::kPastaServidor};
    // That run's folder is the one whose identity it recorded. A run cut
    // between saying it would make the folder and recording it left none:
    // a folder there then may be its own, or one made since, and is only
    // ever set aside, never deleted.
    const std::wstring identidade = Rt().FolderIdentity(plano.pasta);
    plano.existe = !identidade.empty();
    const auto mysql = Rt().QueryService(comandos::kServico);
    plano.servico_na_pasta = mysql && comandos::Mesmo_Programa(mysql->program, anterior.drive + comandos::kServidor);
    const bool mesma = !anterior.pasta.empty() && identidade == anterior.pasta;
    const bool talvez = anterior.pasta.empty() && anterior.pasta_a_criar && plano.existe;
    if (!mesma && !talvez) return plano;
    plano.guardar_como = guardar_como;
    // A service goes only with the folder it runs from, and only once that
    // run had begun to register one.
    plano.servico = mesma && anterior.etapa >= 3 && plano.servico_na_pasta;
    // Any other service that runs a program from the folder is someone's
    // server or tool: the folder is in use, and nothing is touched.
    const std::wstring dentro = Minusculas(plano.pasta + L"\\");
    for (const auto& [nome, estado] : Rt().ListServices()) {
        const bool nosso = plano.servico && Minusculas(nome) == Minusculas(comandos::kServico);
        if (nosso || !Minusculas(estado.program).starts_with(dentro)) continue;
        plano.bloqueio = nome + L" (" + estado.program + L")";
        plano.guardar_como.clear();
        plano.servico = false;
        break;
    }
    return plano;
}

bool frmPrincipal::Desfaz_Configuracao_Anterior(bool pergunta) {
    bool desfeita = false;
    WithStandardHandler([&] {
        bool aberto = false;
        const auto anterior = Configuracao_Anterior(&aberto);
        if (aberto) {
            modRegistro::Inicia(kSecaoAnterior, modRegistro::Campos());
            modRegistro::Escreve(kRegistroAberto);
            Rt().MsgBox(std::wstring(kRegistroAberto) + L"\r\n" + kVejaDetalhes + modRegistro::Caminho(), vbExclamation,
                        kTituloAtencao);
        }
        if (!anterior) {
            desfeita = true;
            return;
        }
        const std::wstring descricao = anterior->Descricao();
        // Named once, so that the question and the undo say the same folder.
        std::wstring quando = Rt().Now();
        std::erase_if(quando, [](wchar_t c) { return c == L'-' || c == L':'; });
        std::replace(quando.begin(), quando.end(), L' ', L'-');
        const std::wstring guardar_como = anterior->drive + comandos::kPastaServidor + kSufixoDesfeita + quando;
        Plano_Anterior plano = Planeja_Desfazer(*anterior, guardar_como);
        const std::wstring guardada = plano.guardar_como.empty()
                                          ? L""
                                          : L"\r\n\r\n" + (kAPasta + plano.pasta + kSeraGuardadaComo +
                                                             plano.guardar_como + kNadaSeraApagado);
        // A folder in use by another service: there is nothing to ask.
        if (pergunta && plano.bloqueio.empty() &&
            Rt().MsgBox(kAnteriorNaoTerminou + descricao + kAnteriorPergunta + guardada, vbYesNo + vbQuestion,
                        kTituloAtencao) != vbYes) {
            return;
        }
        if (!Rt().IsAdministrator()) {
            Rt().MsgBox(kSemAdministrador, vbExclamation, kTituloAtencao);
            return;
        }
        modRegistro::Inicia(kSecaoAnterior,
                            modRegistro::Campos({{kCampoAnterior, descricao}, {kCampoDrive, anterior->drive}}));
        {
            const Em_Curso em_curso{configurando_};
            // The record is settled before the program may end: a close of
            // the console waits for this span.
            const Execucao_Protegida protegida{kSaidaVerificacao};
            // As the machine is now, whatever it was when the question was put.
            plano = Planeja_Desfazer(*anterior, guardar_como);
            criado_ = Criado{anterior->drive};
            criado_.servico = plano.servico;
            criado_.pasta = !plano.guardar_como.empty();
            criado_.guardar_como = plano.guardar_como;
            // The firewall rule that run may have added goes with its service.
            if (plano.servico) criado_.regra = Porta_Do_Servidor(anterior->drive);
            if (!plano.bloqueio.empty()) {
                modRegistro::Escreve_Agora(kNaoTocada + plano.pasta + kUsadaPeloServicoDe + plano.bloqueio);
            } else if (plano.existe && !criado_.pasta) {
                modRegistro::Escreve_Agora(kNaoTocada + plano.pasta + kNaoCriadaPorAquela);
            }
            if (plano.bloqueio.empty() && !plano.servico && anterior->etapa >= 3 && plano.servico_na_pasta) {
                modRegistro::Escreve_Agora(kServicoNaoTocado);
            }
            desfeita = plano.bloqueio.empty() && Desfaz_Instalacao();
            if (desfeita) Apaga_Registro_Execucao();
        }
        if (!plano.bloqueio.empty()) {
            modRegistro::Escreve(kNaoDesfeitaPorCompleto);
            Rt().MsgBox(kAnteriorBloqueada + plano.bloqueio + kUsaAPasta + plano.pasta + L".\r\n" + kVejaDetalhes +
                            modRegistro::Caminho(),
                        vbExclamation, kTituloAtencao);
            return;
        }
        modRegistro::Escreve(desfeita ? kDesfeitaAnterior : kNaoDesfeitaPorCompleto);
        const std::wstring posta_de_lado =
            desfeita && !plano.guardar_como.empty()
                ? kAPasta + plano.pasta + kFoiGuardadaComo + plano.guardar_como + L".\r\n"
                : L"";
        Rt().MsgBox(std::wstring(desfeita ? kAnteriorDesfeita : kNaoDesfeita) + L"\r\n" + posta_de_lado +
                        kVejaDetalhes + modRegistro::Caminho(),
                    desfeita ? vbInformation : vbExclamation, kTituloAtencao);
    });
    return desfeita;
}

void frmPrincipal::Encerra_Configuracao(int etapa_falha, bool desfeita, bool interrompida) {
    if (etapa_falha != 0) {
        codigo_configuracao_ = interrompida ? kSaidaInterrompida : kSaidaEtapa + etapa_falha;
        modRegistro::Escreve(desfeita ? kDesfeitaExecucao : kNaoDesfeitaPorCompleto);
        Restaura_Etapas();
        Rt().SetMousePointer(vbDefault);
        const std::wstring motivo = interrompida ? std::wstring(kInterrompida) + L"\r\n\r\n"
                                    : falha_     ? *falha_ + L"\r\n\r\n"
                                                 : L"";
        Rt().MsgBox(motivo + (desfeita ? kDesfeita : kNaoDesfeita) + L"\r\n" + kVejaDetalhes + modRegistro::Caminho(),
                    vbExclamation, kTituloAtencao);
        // The operator may correct the cause and press again.
        view_.SetEnabled(Control::cmdConfigurar, true);
        return;
    }
    codigo_configuracao_ = kSaidaConcluida;
    Rt().SetMousePointer(vbDefault);
    modRegistro::Escreve(importacao_com_erros_ ? kResultadoComErros : kResultadoConcluida);
    view_.SetEnabled(Control::cmdFechar, true);
    view_.SetEnabled(Control::cmdConfigurar, false);
    if (importacao_com_erros_) {
        Rt().MsgBox(std::wstring(kConcluido) + L"\r\n\r\n" + kImportacaoComErros + modRegistro::Caminho(),
                    vbExclamation, kTituloConcluido);
    } else {
        Rt().MsgBox(kConcluido, vbInformation, kTituloConcluido);
    }
}

void frmPrincipal::cmdConfigurar_Click() {
    // The steps and the removal let the window's queue run. The start button
    // is disabled during a setup, but a press that still reaches us, or one
    // during a removal, must not begin a setup inside the other.
    if (Em_Andamento()) return;
    const Em_Curso em_curso{configurando_};
    codigo_configuracao_ = kSaidaVerificacao;
    // A press its checks stop leaves a short section with why (the box, or
    // an error on the way such as a drive without its medium); one that
    // passes them begins the setup's own. Unattended, the command line's
    // section is there already.
    if (!Rt().Unattended()) {
        modRegistro::Prepara(kSecaoBarrada,
                             modRegistro::Campos({{kCampoDrive, view_.Text(Control::cboDrive)},
                                                  {kCampoArquivoSql, view_.Text(Control::cboArquivoSql)}}));
    }
    struct Sem_Secao_Vazia {
        ~Sem_Secao_Vazia() { modRegistro::Descarta_Preparada(); }
    } sem_secao_vazia;

    WithStandardHandler([&] {
        const auto pedido = Verifica_Pedido();
        if (!pedido) return;
        // Before the first change, and on disk: a run cut short (a power
        // cut, a kill) is found at the next start. Without it, no change.
        em_andamento_ = Configuracao_Em_Andamento{Rt().Now(), pedido->drive, 0, L""};
        Rt().WriteRunRecord(em_andamento_->Texto());
        registro_falhou_.reset();

        view_.SetEnabled(Control::cmdConfigurar, false);
        view_.SetEnabled(Control::cmdFechar, false);
        Rt().SetMousePointer(vbHourglass);
        modRegistro::Oculta(kSenha);
        importacao_com_erros_ = false;
        criado_ = Criado{pedido->drive};
        falha_.reset();

        int etapa_falha = 0;
        bool desfeita = true;
        bool interrompida = false;
        {
            // From here an end of the program is never taken for success
            // (the log's header reads the archive whole, which takes a
            // while), and the operator may interrupt the run.
            const Execucao_Protegida protegida{kSaidaInterrompida};
            {
                const Interrompivel interrompivel;
                modRegistro::Inicia(kSecaoConfiguracao, Cabecalho_Registro(*pedido));
                // A run-time error that ends the run is undone like a failed
                // step; the standard handler has already shown it.
                if (!WithStandardHandler([&] { etapa_falha = Executa_Etapas(*pedido); })) {
                    etapa_falha = std::max(1, Rt().ExitCode() - kSaidaEtapa);
                }
                // A record that could not be written stopped the run; the
                // operator did not.
                interrompida = Rt().Interrupted() && !registro_falhou_;
                if (registro_falhou_) falha_ = *registro_falhou_;
            }
            // Nothing of a failed run may stay behind: a server folder or a
            // service would stop every later press at the existing-server check.
            if (etapa_falha != 0) desfeita = Desfaz_Instalacao();
            // What is left of a run that could not be undone stays on record,
            // for the next start to offer its undo again. A completed run says
            // so first: should its record outlive it, no start may offer to
            // undo a working server. Settled before the program may end: a
            // close of the console waits for this span.
            if (etapa_falha == 0) {
                em_andamento_->concluida = true;
                try {
                    Rt().WriteRunRecord(em_andamento_->Texto());
                } catch (const RuntimeError& erro) {
                    modRegistro::Escreve_Agora(kRegistroNaoAtualizado + erro.Description());
                }
            }
            if (etapa_falha == 0 || desfeita) Apaga_Registro_Execucao();
        }
        em_andamento_.reset();
        Encerra_Configuracao(etapa_falha, desfeita, interrompida);
    });
}

}  // namespace cm
