// A whole setup on drive c: with the product's password: its command lines,
// written out in full as the operator's machine receives them, and the labels
// the steps mark.
#pragma once

#include <string>
#include <vector>

#include "app/Layout.h"

namespace cm::test {

// The labels of the five steps, in the order the steps run.
inline constexpr Control kStepLabels[] = {Control::lblInstalacaoMysql, Control::lblConfiguracaoBinario,
                                          Control::lblCriacaoServico, Control::lblConfiguracaoUsuario,
                                          Control::lblImportacaoBanco};

inline const std::wstring kCmd = L"C:\\WINDOWS\\system32\\cmd.exe";
inline const std::wstring kSenha = L"KQLum4816";

inline std::vector<std::wstring> LinhasServico(const std::wstring& comspec = kCmd) {
    return {
        L"c:\\MySQL\\bin\\mysqld-nt.exe --install MySQL --defaults-file=\"c:\\MySQL\\my.ini\"",
        comspec + L" /c sc config MySQL start= auto",
        comspec + L" /c sc start MySQL",
        L"c:\\MySQL\\bin\\mysql.exe -e status",
        comspec + L" /c netsh advfirewall firewall add rule name=\"Brevano MySQL (porta 3306)\" dir=in action=allow "
                  L"protocol=TCP localport=3306 program=\"c:\\MySQL\\bin\\mysqld-nt.exe\" remoteip=localsubnet "
                  L"profile=any",
    };
}

// The rule's delete, by the undo of a run that added it and by the removal.
inline std::wstring LinhaApagaRegra(const std::wstring& comspec = kCmd) {
    return comspec + L" /c netsh advfirewall firewall delete rule name=\"Brevano MySQL (porta 3306)\"";
}

inline const std::wstring kRecarga =
    L"c:\\MySql\\bin\\mysql -e \"FLUSH PRIVILEGES;\" -h localhost -u root --password=KQLum4816";

inline const std::vector<std::wstring> kLinhasUsuarios{
    L"c:\\MySql\\bin\\mysql -e \"GRANT ALL PRIVILEGES ON *.* TO root@localhost IDENTIFIED BY 'KQLum4816' WITH GRANT "
    L"OPTION;\" -h localhost -u root",
    kRecarga,
    L"c:\\MySql\\bin\\mysql -e \"GRANT ALL PRIVILEGES ON *.* TO root@'%' IDENTIFIED BY 'KQLum4816' WITH GRANT "
    L"OPTION;\" -h localhost -u root --password=KQLum4816",
    kRecarga,
    L"c:\\MySql\\bin\\mysql -e \"GRANT ALL PRIVILEGES ON *.* TO velto@localhost IDENTIFIED BY 'KQLum4816' WITH GRANT "
    L"OPTION;\" -h localhost -u root --password=KQLum4816",
    kRecarga,
    L"c:\\MySql\\bin\\mysql -e \"GRANT ALL PRIVILEGES ON *.* TO velto@'%' IDENTIFIED BY 'KQLum4816' WITH GRANT "
    L"OPTION;\" -h localhost -u root --password=KQLum4816",
    kRecarga,
    L"c:\\MySql\\bin\\mysql -e \"GRANT ALL PRIVILEGES ON *.* TO transfer@localhost IDENTIFIED BY 'KQLum4816' WITH "
    L"GRANT OPTION;\" -h localhost -u root --password=KQLum4816",
    kRecarga,
    L"c:\\MySql\\bin\\mysql -e \"GRANT ALL PRIVILEGES ON *.* TO transfer@'%' IDENTIFIED BY 'KQLum4816' WITH GRANT "
    L"OPTION;\" -h localhost -u root --password=KQLum4816",
    kRecarga,
};

// The import for a script in an application folder.
inline std::wstring LinhaImportacao(const std::wstring& comspec, const std::wstring& pasta,
                                    const std::wstring& script) {
    return comspec + L" /c c:\\MySql\\bin\\mysql -h localhost -u root --password=KQLum4816 -D velto < \"" + pasta +
           L"\\" + script + L"\" -f";
}

inline std::vector<std::wstring> LinhasBanco(const std::wstring& pasta, const std::wstring& script,
                                             const std::wstring& comspec = kCmd) {
    return {
        L"c:\\MySql\\bin\\mysql.exe -e \"DROP DATABASE IF EXISTS velto;\" -h localhost -u root --password=KQLum4816",
        L"c:\\MySql\\bin\\mysql.exe -e \"CREATE DATABASE velto;\" -h localhost -u root --password=KQLum4816",
        LinhaImportacao(comspec, pasta, script),
        L"c:\\MySql\\bin\\mysql.exe -e \"FLUSH PRIVILEGES;\" -h localhost -u root --password=KQLum4816",
    };
}

// The twenty-one lines of a whole setup, in the order they run.
inline std::vector<std::wstring> LinhasSetup(const std::wstring& comspec, const std::wstring& pasta,
                                             const std::wstring& script) {
    std::vector<std::wstring> lines = LinhasServico(comspec);
    lines.insert(lines.end(), kLinhasUsuarios.begin(), kLinhasUsuarios.end());
    const auto database = LinhasBanco(pasta, script, comspec);
    lines.insert(lines.end(), database.begin(), database.end());
    return lines;
}

}  // namespace cm::test
