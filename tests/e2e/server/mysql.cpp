// mysql.exe of the test server package: the host's MariaDB client with this
// program's own arguments, connected to the private socket of the server
// whose tree holds this program.
#include "HostProcess.h"

#include <cstdio>

using namespace cm::e2e;

int wmain() {
    HeldWindow window;  // held until the client is done
    const std::string tree = HostPath(ServerTree());
    if (tree.empty()) {
        std::fputs("mysql: not running under Wine\n", stderr);
        return 2;
    }
    // --no-defaults first: the host's own client settings must not reach in.
    // The Windows client of that server generation talks latin1 unless told
    // otherwise, and product scripts come in the Windows code page.
    std::vector<std::string> argv{"/usr/bin/mariadb", "--no-defaults", "--default-character-set=latin1",
                                  "--socket=" + SocketFor(tree)};
    for (const std::wstring& argument : OwnArguments()) argv.push_back(Narrow(argument));
    HostProcess client;
    client.keep_errors = true;
    if (!client.Start(argv)) {
        std::fputs("mysql: cannot start /usr/bin/mariadb\n", stderr);
        return 2;
    }
    // An import of a product script is minutes at most; a client that hangs
    // longer than this is given up on rather than holding its caller forever.
    const auto code = client.Wait(15 * 60 * 1000);
    client.ForwardErrors();
    if (!code) {
        std::fputs("mysql: the client did not end in time\n", stderr);
        return 3;
    }
    return *code;
}
