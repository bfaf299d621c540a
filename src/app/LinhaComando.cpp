#include "app/LinhaComando.h"

#include <cwctype>

#include "app/Verificacao.h"
#include "system/Mensagens.h"
#include "system/Runtime.h"
#include "system/modRegistro.h"

namespace cm {

using namespace mensagens;

namespace {

Opcoes Invalida(const std::wstring& erro) {
    Opcoes opcoes;
    opcoes.modo = Opcoes::Modo::Invalida;
    opcoes.erro = erro;
    return opcoes;
}

// A drive letter and its colon, as the drive list shows them.
bool DriveValido(const std::wstring& drive) {
    return drive.size() == 2 && std::iswalpha(static_cast<wint_t>(drive[0])) && drive[1] == L':';
}

}  // namespace

Opcoes Interpreta_Linha_Comando(const std::vector<std::wstring>& argumentos) {
    Opcoes opcoes;
    bool instalar = false, remover = false, verificar = false, ajuda = false, drive = false, banco = false;
    for (const std::wstring& argumento : argumentos) {
        if (argumento.size() < 2 || (argumento[0] != L'/' && argumento[0] != L'-')) {
            return Invalida(kOpcaoDesconhecida + argumento);
        }
        const auto igual = argumento.find(L'=');
        const std::wstring nome = Minusculas(argumento.substr(1, igual == std::wstring::npos ? igual : igual - 1));
        const std::wstring valor = igual == std::wstring::npos ? L"" : argumento.substr(igual + 1);
        const bool tem_valor = igual != std::wstring::npos;
        bool* vista = nullptr;
        if (nome == L"instalar" && !tem_valor) {
            vista = &instalar;
        } else if (nome == L"remover" && !tem_valor) {
            vista = &remover;
        } else if (nome == L"verificar" && !tem_valor) {
            vista = &verificar;
        } else if (nome == L"?" && !tem_valor) {
            vista = &ajuda;
        } else if (nome == L"logbin" && !tem_valor) {
            vista = &opcoes.logbin;
        } else if (nome == L"drive" && tem_valor) {
            vista = &drive;
            opcoes.drive = valor;
        } else if (nome == L"banco" && tem_valor) {
            vista = &banco;
            opcoes.banco = valor;
        } else {
            return Invalida(kOpcaoDesconhecida + argumento);
        }
        if (*vista) return Invalida(kOpcaoRepetida + argumento);
        *vista = true;
    }

    if (argumentos.empty()) return opcoes;
    if (ajuda) return argumentos.size() == 1 ? Opcoes{Opcoes::Modo::Ajuda, L"", L"", false, L""}
                                             : Invalida(kAjudaSozinha);
    if (verificar) {
        if (instalar || remover || banco || opcoes.logbin) return Invalida(kVerificarSoDrive);
        if (drive && !DriveValido(opcoes.drive)) return Invalida(kDriveInvalido);
        opcoes.modo = Opcoes::Modo::Verificar;
        return opcoes;
    }
    if (instalar == remover) return Invalida(kUmModo);
    if (remover) {
        if (drive || banco || opcoes.logbin) return Invalida(kRemoverSozinho);
        opcoes.modo = Opcoes::Modo::Remover;
        return opcoes;
    }
    if (!drive || !DriveValido(opcoes.drive)) return Invalida(kInstalarDrive);
    if (!banco || opcoes.banco.empty()) return Invalida(kInstalarBanco);
    opcoes.modo = Opcoes::Modo::Instalar;
    return opcoes;
}

std::wstring Uso() { return kUso; }

bool Copia_Unica() {
    if (Rt().ClaimSingleInstance()) return true;
    if (Rt().Unattended()) {
        Rt().ConsoleLine(kOutraCopia);
    } else {
        Rt().MsgBox(kOutraCopia, vbExclamation, kTituloAtencao);
    }
    return false;
}

int Executa_Desatendido(const Opcoes& opcoes, frmPrincipal& form, FormView& view, const std::wstring& linha_comando) {
    Runtime& rt = Rt();
    rt.SetUnattended(true, [](const std::wstring& texto) { modRegistro::Escreve(texto); });
    const bool age = opcoes.modo == Opcoes::Modo::Instalar || opcoes.modo == Opcoes::Modo::Remover;
    // Before the log: the copy that runs is writing to it. A check changes
    // nothing, so it claims nothing either: it runs beside a setup, and a
    // setup started meanwhile is not stopped by it.
    if (age && !Copia_Unica()) return kSaidaOutraCopia;
    modRegistro::Inicia(kSecaoLinhaComando, {{kCampoLinhaComando, linha_comando}});
    rt.ConsoleLine(kArquivoDeLog + modRegistro::Caminho());
    if (opcoes.modo == Opcoes::Modo::Invalida || opcoes.modo == Opcoes::Modo::Ajuda) {
        const bool invalida = opcoes.modo == Opcoes::Modo::Invalida;
        if (invalida) {
            modRegistro::Escreve(kLinhaInvalida + opcoes.erro);
            rt.ConsoleLine(kLinhaInvalida + opcoes.erro);
        }
        rt.ConsoleLine(Uso());
        if (invalida) modRegistro::Escreve(Uso());
        return invalida ? kSaidaLinhaInvalida : kSaidaConcluida;
    }

    // Anything that ends the program while it loads is a start-up check.
    rt.SetExitCode(kSaidaVerificacao);
    form.Form_Load();
    rt.SetExitCode(kSaidaConcluida);

    // The window only shows the run: nothing typed at it may change it.
    for (const Control controle : {Control::cboDrive, Control::cboArquivoSql, Control::chkBinario,
                                   Control::cmdRemoveServico, Control::cmdConfigurar, Control::cmdFechar}) {
        view.SetEnabled(controle, false);
    }
    int codigo = kSaidaConcluida;
    if (opcoes.modo == Opcoes::Modo::Remover) {
        form.Remove_Servico(false);
        codigo = form.Codigo_Remocao();
    } else if (opcoes.modo == Opcoes::Modo::Verificar) {
        codigo = Verifica_Servidor(opcoes.drive);
    } else {
        view.SetText(Control::cboDrive, opcoes.drive);
        view.SetText(Control::cboArquivoSql, opcoes.banco);
        view.SetValue(Control::chkBinario, opcoes.logbin ? 1 : 0);
        // A run cut short before is undone first, as the window offers to:
        // its folder and service would stop this one at its checks. A
        // Ctrl+C during that undo let it finish, and asked for nothing more.
        if (!form.Desfaz_Configuracao_Anterior(false)) {
            codigo = kSaidaVerificacao;
        } else if (!rt.InterruptRequested()) {
            form.cmdConfigurar_Click();
            codigo = form.Codigo_Configuracao();
        }
    }
    // Ctrl+C, Ctrl+Break or the console closed while an undo or a removal
    // ran: that finished (the log says how), and the program ends as
    // interrupted.
    if (rt.InterruptRequested()) codigo = kSaidaInterrompida;
    const std::wstring fim = kCodigoDeSaida + std::to_wstring(codigo);
    modRegistro::Escreve(fim);
    rt.ConsoleLine(fim);
    return codigo;
}

}  // namespace cm
