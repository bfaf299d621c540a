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

    void Preenche_Combo_ArquivosSql();

private:
    FormView& view_;
};

// Messages of the start-up checks.
inline constexpr const wchar_t* kComponenteArquivo = L"LUMATREX.OCX";

}  // namespace cm
