#include "app/LinhaComando.h"

#include <cwctype>

#include "app/Verificacao.h"
#include "system/Runtime.h"
#include "system/modRegistro.h"

namespace cm {

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
            return Invalida(L"opção desconhecida: " + argumento);
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
            return Invalida(L"opção desconhecida: " + argumento);
        }
        if (*vista) return Invalida(L"opção repetida: " + argumento);
        *vista = true;
    }

    if (argumentos.empty()) return opcoes;
    if (ajuda) return argumentos.size() == 1 ? Opcoes{Opcoes::Modo::Ajuda, L"", L"", false, L""}
                                             : Invalida(L"/? deve ser usado sozinho");
    if (verificar) {
        if (instalar || remover || banco || opcoes.logbin) return Invalida(L"/verificar aceita apenas /drive=X:");
        if (drive && !DriveValido(opcoes.drive)) return Invalida(L"/drive= precisa de uma letra e dois-pontos");
        opcoes.modo = Opcoes::Modo::Verificar;
        return opcoes;
    }
    if (instalar == remover) return Invalida(L"informe apenas um: /instalar, /remover ou /verificar");
    if (remover) {
        if (drive || banco || opcoes.logbin) return Invalida(L"/remover não aceita outras opções");
        opcoes.modo = Opcoes::Modo::Remover;
        return opcoes;
    }
    if (!drive || !DriveValido(opcoes.drive)) return Invalida(L"/instalar precisa de /drive=X: (uma letra e dois-pontos)");
    if (!banco || opcoes.banco.empty()) return Invalida(L"/instalar precisa de /banco=arquivo.sql");
    opcoes.modo = Opcoes::Modo::Instalar;
    return opcoes;
}

std::wstring Uso() {
    return L"Uso: ConfiguraMySQL.exe /instalar /drive=C: /banco=arquivo.sql [/logbin]\r\n"
           L"     ConfiguraMySQL.exe /remover\r\n"
           L"     ConfiguraMySQL.exe /verificar [/drive=C:]\r\n"
           L"     ConfiguraMySQL.exe /?\r\n"
           L"\r\n"
           L"  /instalar       configura o servidor como o botão \"Iniciar configuração\", sem perguntas\r\n"
           L"  /drive=X:       o drive onde o servidor será instalado\r\n"
           L"  /banco=ARQUIVO  o arquivo .sql na pasta do programa (entre aspas se tiver espaços)\r\n"
           L"  /logbin         ativa o log binário (Multi-Loja e Off-Line)\r\n"
           L"  /remover        interrompe e remove o serviço MySQL, sem perguntar\r\n"
           L"  /verificar      verifica o servidor instalado, sem alterar nada; sem /drive=,\r\n"
           L"                  o drive é o do programa do serviço MySQL\r\n"
           L"\r\n"
           L"Sem opções, o programa abre a janela. As mensagens vão para o arquivo de log\r\n"
           L"ConfiguraMySQL.log e para o console.\r\n"
           L"\r\n"
           L"Códigos de saída: 0 concluído; 1 linha de comando inválida; 2 uma verificação\r\n"
           L"impediu a instalação (Velto, drive, servidor já existente, Mysql.zip, unzip32.dll,\r\n"
           L"arquivo .sql); 3 sem direitos de administrador; 4 o programa já está em execução;\r\n"
           L"5 erro interno; 6 interrompida (Ctrl+C ou console fechado) e desfeita; 10 + n a etapa n\r\n"
           L"falhou; 20 a remoção falhou; 30 + n a verificação n de /verificar falhou (a primeira\r\n"
           L"que falhou). /verificar não precisa de direitos de administrador e roda mesmo com\r\n"
           L"outra cópia do programa em execução.";
}

bool Copia_Unica() {
    if (Rt().ClaimSingleInstance()) return true;
    constexpr const wchar_t* kOutraCopia = L"O configurador do MySQL já está em execução nesta máquina.";
    if (Rt().Unattended()) {
        Rt().ConsoleLine(kOutraCopia);
    } else {
        Rt().MsgBox(kOutraCopia, vbExclamation, L"Atenção");
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
    modRegistro::Inicia(L"Execução pela linha de comando", {{L"Linha de comando", linha_comando}});
    rt.ConsoleLine(L"Arquivo de log: " + modRegistro::Caminho());
    if (opcoes.modo == Opcoes::Modo::Invalida || opcoes.modo == Opcoes::Modo::Ajuda) {
        const bool invalida = opcoes.modo == Opcoes::Modo::Invalida;
        if (invalida) {
            modRegistro::Escreve(L"Linha de comando inválida: " + opcoes.erro);
            rt.ConsoleLine(L"Linha de comando inválida: " + opcoes.erro);
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
        // its folder and service would stop this one at its checks.
        if (form.Desfaz_Configuracao_Anterior(false)) {
            form.cmdConfigurar_Click();
            codigo = form.Codigo_Configuracao();
        } else {
            codigo = kSaidaVerificacao;
        }
    }
    const std::wstring fim = L"Código de saída " + std::to_wstring(codigo);
    modRegistro::Escreve(fim);
    rt.ConsoleLine(fim);
    return codigo;
}

}  // namespace cm
