// frmPrincipal: the program's one window, its event handlers and the setup
// steps it owns. Handlers act on the controls only through FormView.
#pragma once

#include <string>

#include "app/FormView.h"
#include "system/Basic.h"

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

    void cmdRemoveServico_Click();
    void cmdConfigurar_Click();

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
    // quotes and the other characters no file name holds cannot.
    static bool NomeDeArquivoValido(const std::wstring& nome);

private:
    // Marks a finished step on its label.
    void Marca_Etapa(Control rotulo);

    FormView& view_;
    // True while the start button's handler runs, including the yields of
    // its steps, during which the window's other handlers may run.
    bool configurando_ = false;
};

// Messages of the start-up checks.
inline constexpr const wchar_t* kComponenteArquivo = L"LUMATREX.OCX";

}  // namespace cm
