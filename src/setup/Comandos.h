// The command text the setup steps and the removal are built from: the
// server's paths, the client's login, the service and the interpreter.
// The command lines are the product's own, byte for byte (the client's path
// has three spellings in them); Windows ignores the case of paths, so they
// all reach the same programs.
#pragma once

#include <string>

#include "system/Basic.h"
#include "system/Mensagens.h"
#include "system/Runtime.h"

namespace cm::comandos {

// The service the setup registers and the removal takes off.
inline constexpr const wchar_t* kServico = L"MySQL";
// The server's folder and its configuration file, after the drive.
inline constexpr const wchar_t* kPastaServidor = L"\\MySQL";
inline constexpr const wchar_t* kArquivoIni = L"\\MySQL\\my.ini";
inline constexpr const wchar_t* kServidor = L"\\MySQL\\bin\\mysqld-nt.exe";

// The client, after the drive: as the grants and the import name it (no
// extension), as the database commands name it, and as the status query does.
inline constexpr const wchar_t* kCliente = L"\\MySql\\bin\\mysql";
inline constexpr const wchar_t* kClienteBanco = L"\\MySql\\bin\\mysql.exe";
inline constexpr const wchar_t* kClienteStatus = L"\\MySQL\\bin\\mysql.exe";

// The password the product's accounts are given.
inline constexpr const wchar_t* kSenha = L"KQLum4816";

// Every client run logs in as root on this machine; only the first grant,
// the one that gives root its password, runs without one.
inline constexpr const wchar_t* kLoginSemSenha = L" -h localhost -u root";
inline constexpr const wchar_t* kOpcaoSenha = L" --password=";

inline std::wstring Login(const std::wstring& senha) { return kLoginSemSenha + (kOpcaoSenha + senha); }

// {cliente} -e "<instrucao>" -h localhost -u root --password={P}
inline std::wstring Executa_Instrucao(const std::wstring& cliente, const std::wstring& instrucao,
                                      const std::wstring& senha) {
    return cliente + L" -e \"" + instrucao + L"\"" + Login(senha);
}

// The reload that makes the server take its grant tables afresh.
inline std::wstring Recarga(const std::wstring& cliente, const std::wstring& senha) {
    return Executa_Instrucao(cliente, L"FLUSH PRIVILEGES;", senha);
}

// Whether a service's registered program is this server: the same path,
// ignoring case and the ".exe" Windows would add.
inline bool Mesmo_Programa(const std::wstring& registrado, const std::wstring& servidor) {
    const auto normal = [](std::wstring caminho) {
        for (auto& c : caminho) c = c == L'/' ? L'\\' : c;
        caminho = Minusculas(caminho);
        if (!caminho.ends_with(L".exe")) caminho += L".exe";
        return caminho;
    };
    return !registrado.empty() && normal(registrado) == normal(servidor);
}

// The command interpreter, read afresh for each command as the environment
// may change between two.
inline std::wstring Interpretador() { return Rt().Environ(L"Comspec"); }

// {C} /c sc <acao> MySQL [<resto>]
inline std::wstring Controle_Servico(const std::wstring& acao, const std::wstring& resto = L"") {
    return Interpretador() + L" /c sc " + acao + L" " + kServico + resto;
}

// The firewall rule that lets the shop's terminals reach the server, named
// after its port: "Brevano MySQL (porta 3306)".
inline std::wstring Nome_Regra(const std::wstring& porta) { return mensagens::kNomeRegra + porta + L")"; }

// {C} /c netsh advfirewall firewall <acao> rule name="Brevano MySQL (porta N)"[<resto>]
inline std::wstring Regra_Firewall(const std::wstring& acao, const std::wstring& porta,
                                   const std::wstring& resto = L"") {
    return Interpretador() + L" /c netsh advfirewall firewall " + acao + L" rule name=\"" + Nome_Regra(porta) + L"\"" +
           resto;
}

// Inbound TCP to this server's own program from the local subnet only, on
// every profile: a shop's network is often classified as public, and root
// may log in from any host with the product's fixed password.
inline std::wstring Abre_Regra_Firewall(const std::wstring& drive, const std::wstring& porta) {
    return Regra_Firewall(L"add", porta,
                          L" dir=in action=allow protocol=TCP localport=" + porta + L" program=\"" + drive + kServidor +
                              L"\" remoteip=localsubnet profile=any");
}

}  // namespace cm::comandos
