// Program entry: the Win32 runtime, then the window frmPrincipal; with
// options on the command line, the unattended setup, removal or check.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/Layout.h"
#include "app/LinhaComando.h"
#include "app/win32/MainWindow.h"
#include "system/Mensagens.h"
#include "system/modRegistro.h"
#include "system/win32/Handles.h"
#include "system/win32/Win32Runtime.h"
#include "version.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before any library is loaded by name: an administrator's program must
    // not pick one up from the folder it was started in.
    cm::win32::RestrictLibrarySearch();
    cm::win32::Win32Runtime runtime{std::wstring(cm::kWindowCaption), L"" CM_VERSION_TEXT};
    cm::InstallRuntime(&runtime);
    cm::win32::MainWindow window{runtime};

    int count = 0;
    const cm::win32::LocalMemory<LPWSTR*> argv(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::wstring> arguments;
    for (int i = 1; argv && i < count; ++i) arguments.emplace_back(argv.Get()[i]);
    const cm::Opcoes opcoes = cm::Interpreta_Linha_Comando(arguments);
    if (opcoes.modo == cm::Opcoes::Modo::Janela) return cm::Copia_Unica() ? window.Run() : cm::kSaidaOutraCopia;

    runtime.AttachParentConsole(cm::kSaidaInterrompida);
    int code = cm::kSaidaVerificacao;
    try {
        const bool acts = opcoes.modo == cm::Opcoes::Modo::Instalar || opcoes.modo == cm::Opcoes::Modo::Remover;
        if (acts || opcoes.modo == cm::Opcoes::Modo::Verificar) window.Create();
        // The window shows the progress; it needs nothing from anyone. A
        // check takes seconds and is read on the console: its window stays
        // hidden, so that nobody at the shop's screen sees one come and go.
        if (acts) window.Show();
        code = cm::Executa_Desatendido(opcoes, window.Form(), window, GetCommandLineW());
    } catch (const cm::RuntimeError& error) {
        code = cm::kSaidaErroInterno;
        cm::modRegistro::Escreve(cm::mensagens::kErro + std::to_wstring(error.Number()) + L": " + error.Description());
        runtime.ConsoleLine(error.Description());
    } catch (...) {
        code = cm::kSaidaErroInterno;
        cm::modRegistro::Escreve(cm::mensagens::kErroInterno);
        runtime.ConsoleLine(cm::mensagens::kErroInterno);
    }
    runtime.SetExitCode(code);
    runtime.End();
}
