"""scripts/run: the program in a sandbox Wine prefix with the test server
package, a sample product script and a real MariaDB server behind it.

  sandbox.py show    on $DISPLAY; a person presses the buttons
  sandbox.py auto    by itself on a private display, through the window driver
"""
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import e2e  # noqa: E402

SAMPLE = ROOT / "scripts" / "sandbox" / "velto.sql"


def say(text):
    print(f"run: {text}", flush=True)


def show(m):
    say(f"starting {e2e.APP}\\ConfiguraMySQL.exe on {m.env['DISPLAY']}")
    say("the setup runs against a real MariaDB server; it takes a little over a minute")
    e2e.run([e2e.WINE, "ConfiguraMySQL.exe"], env=m.env, cwd=m.app, timeout=None, check=False)
    say("the program ended")


def auto(m):
    shots = e2e.BUILD.parent
    say(f"running the whole setup by itself on the private display {m.env['DISPLAY']}")
    m.drive(f"start|{e2e.APP}", "box|notice|ok", "window", echo=True)
    m.screenshot(shots / "run-window.png")
    say("pressing 'Iniciar configuração' with the binary log ticked and velto.sql chosen")
    say("the setup waits about a minute by design (two 20 s pauses in the service step)")
    m.drive("drive|c:", "tick|1", "script|velto.sql", "press|cmdConfigurar", "steps|5|400",
            timeout=600, echo=True)
    m.screenshot(shots / "run-done.png")
    m.drive("box|complete|ok|60", "labels|5", echo=True)
    m.screenshot(shots / "run-window-after.png")

    say("what the server now holds:")
    print("  accounts:")
    for user, host in m.sql("SELECT user, host FROM mysql.user "
                            "WHERE user IN ('root', 'velto', 'transfer') ORDER BY user, host"):
        print(f"    {user}@{host}")
    print("  database velto:")
    for (table,) in m.sql("SHOW TABLES", database="velto"):
        rows = m.sql(f"SELECT * FROM `{table}`", database="velto")
        print(f"    {table}: {len(rows)} row(s)")
        for row in rows:
            print("      " + " | ".join(row))
    (_, log_bin), = m.sql("SHOW VARIABLES LIKE 'log_bin'")
    print(f"  log_bin: {log_bin}")

    say("removing the service with [ ! ]")
    pid = m.server_pid()
    m.drive("press|cmdRemoveServico", "box|remove-question|yes", "box|removed|ok|120",
            "service|MySQL|absent|60", echo=True)
    if not m.wait_server_gone(pid, 60):
        raise e2e.Failure("the server still runs after the removal")
    say("service removed and server stopped")
    log = m.log().splitlines()
    say(f"the program's log: {m.app / 'ConfiguraMySQL.log'} (C:\\Program Files\\Brevano\\ConfiguraMySQL.log), its last lines:")
    for line in log[-12:]:
        print(f"  {line}")
    say(f"screenshots: {shots / 'run-window.png'}, {shots / 'run-done.png'}, "
        f"{shots / 'run-window-after.png'}")


def main(mode):
    with e2e.Display() as display, e2e.Machine("sandbox", display.name, keep=True) as m:
        m.prepare(scripts=[SAMPLE])
        (show if mode == "show" else auto)(m)
        say("stopping the server and Wine")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "auto")
