// frmPrincipal: the program's one window, its event handlers and the setup
// steps it owns. Handlers act on the controls only through FormView.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/CodigosSaida.h"
#include "app/FormView.h"
#include "setup/Configuracao_Em_Andamento.h"
#include "system/Basic.h"
#include "system/Runtime.h"

namespace cm {

class frmPrincipal {
public:
    explicit frmPrincipal(FormView& view) : view_(view) {}

    // Runs before the window is first shown; ends the program when the
    // product is not installed.
    void Form_Load();
    void Form_MouseMove(int Button, int Shift, float X, float Y);
    void cmdRemoveServico_MouseMove(int Button, int Shift, float X, float Y);
    void cmdFechar_Click();
    // A close request through the window's frame (title bar, Alt+F4, system
    // menu): Cancel set to true keeps the program running.
    void Form_QueryUnload(bool& Cancel);

    void cmdRemoveServico_Click();
    void cmdConfigurar_Click();
    // The removal, after the question when one is to be asked; answers
    // whether the service is gone.
    bool Remove_Servico(bool pergunta);

    // How the last press of the start button ended, as an exit code.
    int Codigo_Configuracao() const { return codigo_configuracao_; }
    // How the last removal ended, as an exit code.
    int Codigo_Remocao() const { return codigo_remocao_; }

    void Preenche_Combo_ArquivosSql();

    // The setup steps, in the order the start button runs them. Each answers
    // through its last parameter: Verdadeiro when done, Falso otherwise.
    void Instala_Mysql(const std::wstring& Drive, const std::wstring& Arquivo_Zip, Logico& Resultado);
    void Configura_LogBinario(const std::wstring& Drive, Logico& Resultado);
    void Cria_Servico(const std::wstring& Drive, Logico& Resultado);
    void Configura_Usuarios(const std::wstring& Drive, const std::wstring& Senha, Logico& Resultado);
    void Importa_Banco(const std::wstring& Drive, const std::wstring& Arquivo_Sql, const std::wstring& Senha,
                       Logico& Resultado);
    // Present but not run by the start button.
    void Instala_ODBC(Logico& Resultado);

    // Whether a name typed as a script's can name a file at all: wildcards,
    // quotes and the other characters no file name holds cannot, nor the
    // percent and exclamation signs, which the command interpreter expands
    // even inside quotes.
    static bool NomeDeArquivoValido(const std::wstring& nome);

    // A setup cut short before (a power cut, a kill) left its record: takes
    // back what it made, asking first when asked to. Answers whether nothing
    // of such a run is left (also when there was none).
    bool Desfaz_Configuracao_Anterior(bool pergunta);

    // Whether a setup or a removal is running (its waits serve the window's
    // messages, so other handlers may run meanwhile).
    bool Em_Andamento() const { return configurando_ || removendo_; }

    // Stops the MySQL service and deletes it, waiting for each to take
    // effect; answers whether the service is gone.
    bool Para_E_Apaga_Servico();

private:
    // What a press asks for, once its checks have passed.
    struct Pedido {
        std::wstring drive;   // the designator, letter and colon
        std::wstring script;  // the script's name as chosen at the press
        // The files ordinary users may replace, and who answered yes to
        // going on all the same; empty when there were none.
        std::wstring confirmacao;
    };
    // The setup log's header: what was asked, and what runs it.
    std::vector<std::pair<std::wstring, std::wstring>> Cabecalho_Registro(const Pedido& pedido);
    // The checks of a press, in order: the first that fails tells the
    // operator why and nothing is changed.
    std::optional<Pedido> Verifica_Pedido();
    // Runs the steps in order up to the first that fails; answers its
    // number, 0 when all were done.
    int Executa_Etapas(const Pedido& pedido);
    // The end of a setup that ran (and, when a step failed or the run was
    // interrupted, was undone): the outcome for the operator and the
    // buttons that make sense next.
    void Encerra_Configuracao(int etapa_falha, bool desfeita, bool interrompida);
    // The record of the run under way, as it stands now. A run must never
    // go on past what its record says: when it cannot be written, that is
    // told in the log and the run stops and is undone; answers whether it
    // was written.
    bool Atualiza_Registro_Execucao();
    // Called by the first step just before it makes the server folder, and
    // once it has: a cut in between still finds the folder.
    bool Anota_Pasta_A_Criar();
    void Anota_Pasta_Criada();
    // What the undo of a run cut short may touch, as the machine is now.
    struct Plano_Anterior {
        std::wstring pasta;             // {drive}\MySQL
        bool existe = false;            // a folder is there
        bool servico_na_pasta = false;  // the MySQL service runs that folder's server
        std::wstring guardar_como{};    // its new name, when it is that run's
        bool servico = false;           // and the service is that run's to take
        std::wstring bloqueio{};        // another service using the folder: "<name> (<program>)"
    };
    Plano_Anterior Planeja_Desfazer(const Configuracao_Em_Andamento& anterior, const std::wstring& guardar_como);
    // The step labels as before the first step.
    void Restaura_Etapas();

    // Marks a finished step on its label.
    void Marca_Etapa(Control rotulo);
    // A step that could not do its work: the reason goes to the log, and to
    // the operator with where the log is (during a setup, once the run has
    // been undone).
    void Falha_Etapa(const std::wstring& motivo);
    // Takes back what this setup made, newest first; answers whether
    // nothing of it is left.
    bool Desfaz_Instalacao();
    // Removes the server folder this setup made; false when some of it stays.
    bool Remove_Pasta_Criada();

    // The firewall rule for the shop's terminals: added by the service step
    // once the service runs (a firewall that refuses is a warning), taken
    // back by the undo.
    void Abre_Firewall(const std::wstring& Drive);
    void Fecha_Firewall();

    FormView& view_;
    bool configurando_ = false;
    bool removendo_ = false;
    // Set by the import when the client reported failing statements that it
    // went past: the setup completes, and says so.
    bool importacao_com_erros_ = false;
    int codigo_configuracao_ = kSaidaVerificacao;
    int codigo_remocao_ = kSaidaRemocao;
    // What this setup made, and only that, is what a failed run takes back:
    // the press's checks proved that neither was there before.
    struct Criado {
        std::wstring drive;
        bool pasta = false;    // {drive}\MySQL
        // The MySQL service, when it runs this setup's server: set once the
        // registration has begun, the undo looks the service up.
        bool servico = false;
        // A folder of an earlier run goes aside under this name instead:
        // whatever a shop put in it since is kept.
        std::wstring guardar_como{};
        // The port of the firewall rule, once the service step has begun to add it.
        std::wstring regra{};
    };
    Criado criado_;
    // Why the record of the run under way could not be written, which
    // stopped the run.
    std::optional<std::wstring> registro_falhou_;
    // The record of this setup, while it runs.
    std::optional<Configuracao_Em_Andamento> em_andamento_;
    // The failing step's reason, told once the run has been undone.
    std::optional<std::wstring> falha_;
    // Mysql.zip, which nobody may change from the log's hash of it to the
    // end of the first step.
    std::unique_ptr<Runtime::HeldFile> zip_preso_;
};

// Messages of the start-up checks.
inline constexpr const wchar_t* kComponenteArquivo = L"LUMATREX.OCX";

}  // namespace cm
