// What lets the shop's terminals reach the server: its port, read from
// my.ini (in the archive before anything is made, on disk afterwards), the
// programs that already listen on it, other servers of this family that
// would compete for it, and the firewall rule that opens it to the local
// network.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cm {

// What the server reads of a my.ini: the keys of [mysqld] and [server],
// whose names take - or _ alike.
struct Ini {
    std::wstring porta;  // as written; empty: the server's own 3306
    bool log_bin = false;
};
Ini Le_Ini(const std::wstring& texto);

// The port the server takes: my.ini's when it names one (1 to 65535), else 3306.
std::wstring Porta_Do_Ini(const Ini& ini);
// The port of {drive}\MySQL\my.ini as it is on disk.
std::wstring Porta_Do_Servidor(const std::wstring& drive);

// The press's check, before anything is changed: the refusal when a
// program already listens on the port the archive's my.ini names; nothing
// when the port is free.
std::optional<std::wstring> Porta_Em_Uso(const std::wstring& arquivo_zip);

// One line for each service of another server of this family (mysqld*.exe,
// mariadbd.exe) that runs or starts with Windows, whatever its name; the
// MySQL service has its own checks. Raises what the service manager raises.
std::vector<std::wstring> Outros_Servidores();
// Those lines, in the setup's log.
void Avisa_Outros_Servidores();

// The port of the registered MySQL service's server, for the removal: it is
// gone, and with it what tells the rule's name, once the removal has run.
std::wstring Porta_Do_Servico();
// Deletes the rule of this port by its name and logs the outcome; a rule
// that is not there is not an error.
void Apaga_Regra_Firewall(const std::wstring& porta);

}  // namespace cm
