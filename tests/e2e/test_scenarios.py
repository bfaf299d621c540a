"""The program as an operator uses it, under Wine, against a real MariaDB
server: each scenario on a fresh copy of a prepared prefix, driven through
window messages, checked from the host."""
import unittest

import e2e

ACCOUNTS = [(user, host) for user in ("root", "velto", "transfer") for host in ("localhost", "%")]

# What velto.sql creates: tables and views with their rows, and routines.
VELTO_OBJECTS = {("loja", "BASE TABLE"), ("produto", "BASE TABLE"), ("produto_loja", "VIEW")}
VELTO_ROWS = {
    "loja": [("1", "Matriz"), ("2", "Filial Centro")],
    "produto": [("10", "1", "Cafe 500g", "18.90"), ("11", "1", "Acucar 1kg", "5.49"),
                ("12", "2", "Leite 1l", "4.99")],
    "produto_loja": [("10", "Cafe 500g", "Matriz"), ("11", "Acucar 1kg", "Matriz"),
                     ("12", "Leite 1l", "Filial Centro")],
}
VELTO_ROUTINES = {("total_loja", "PROCEDURE")}


class Scenarios(unittest.TestCase):
    display = None

    @classmethod
    def setUpClass(cls):
        cls._display = e2e.Display().__enter__()
        cls.display = cls._display.name

    @classmethod
    def tearDownClass(cls):
        cls._display.__exit__()

    def machine(self, name):
        return e2e.Machine(name, self.display)

    # -- checks from the host ---------------------------------------------------------

    def check_accounts(self, m):
        rows = set(m.sql("SELECT user, host FROM mysql.user"))
        expected_hash = m.sql(f"SELECT PASSWORD('{e2e.PASSWORD}')")[0][0]
        for user, host in ACCOUNTS:
            with self.subTest(account=f"{user}@{host}"):
                self.assertIn((user, host), rows)
                grants = " ".join(g[0] for g in m.sql(f"SHOW GRANTS FOR '{user}'@'{host}'"))
                self.assertIn(f"GRANT ALL PRIVILEGES ON *.* TO `{user}`@`{host}`", grants)
                self.assertIn("WITH GRANT OPTION", grants)
                self.assertIn(expected_hash, grants)
        for user in ("root", "velto", "transfer"):
            with self.subTest(login=user):
                self.assertEqual(m.sql("SELECT 1", user=user), [("1",)])
        refused = m.sql("SELECT 1", password=None, check=False)
        self.assertNotEqual(refused.returncode, 0, "root took the empty password")
        self.assertIn("Access denied", refused.stderr)

    def check_velto(self, m):
        objects = set(m.sql("SELECT table_name, table_type FROM information_schema.tables "
                            "WHERE table_schema = 'velto'"))
        self.assertEqual(objects, VELTO_OBJECTS)
        routines = set(m.sql("SELECT routine_name, routine_type FROM information_schema.routines "
                             "WHERE routine_schema = 'velto'"))
        self.assertEqual(routines, VELTO_ROUTINES)
        for table, rows in VELTO_ROWS.items():
            with self.subTest(table=table):
                self.assertEqual(m.sql(f"SELECT * FROM {table} ORDER BY 1", database="velto"), rows)
        self.assertEqual(m.sql("CALL total_loja(1)", database="velto"), [("2", "24.39")])

    def check_my_ini(self, m, binlog):
        keys = m.my_ini()
        self.assertEqual(keys.get("basedir"), '"c:/MySQL/"')
        self.assertEqual(keys.get("datadir"), '"c:/MySQL/Data/"')
        self.assertEqual(keys.get("port"), "3306", "the package's own key was lost")
        if binlog:
            # Written as one blank; Wine's profile writer keeps it as empty.
            self.assertIn(keys.get("log-bin"), ("", " "))
        else:
            self.assertNotIn("log-bin", keys)

    def check_log_bin(self, m, on):
        self.assertEqual(m.sql("SHOW VARIABLES LIKE 'log_bin'"), [("log_bin", "ON" if on else "OFF")])

    # -- scenarios ----------------------------------------------------------------------

    def test_full_setup_with_binary_log_then_removal(self):
        with self.machine("full-binlog") as m:
            m.prepare()
            commands = e2e.full_setup_commands(binlog=True)
            at = commands.index("steps|5|400")
            # A close request while the service step runs asks whether to
            # interrupt; answered no, the setup goes on to its end.
            commands[at:at] = ["steps|2|200", "close", "box|interrupt|no|60"]
            try:
                for line in m.drive(*commands, "layout", timeout=600):
                    print(line, flush=True)
            finally:
                m.screenshot(e2e.BUILD / "e2e-window.png")
            # Checked at once: the program waited for every command to end.
            self.check_accounts(m)
            self.check_velto(m)
            self.check_log_bin(m, on=True)
            self.check_my_ini(m, binlog=True)
            m.drive("service|MySQL|running-auto|10")
            pid = m.server_pid()
            m.drive(*e2e.removal_commands(), timeout=300)
            self.assertTrue(m.wait_server_gone(pid, 60), "the server still runs after the removal")
            log = m.log()
            self.assertNotIn(e2e.PASSWORD, log)
            self.assertIn("Resultado: concluída\r\n", log)
            self.assertIn("Remoção do serviço MySQL", log)

    def test_full_setup_without_binary_log_then_again_on_another_drive(self):
        machine = self.machine("full-plain")
        other = machine.add_drive("d")  # before Wine starts: its drives are read once
        with machine as m:
            m.prepare()
            m.drive(*e2e.full_setup_commands(binlog=False), timeout=600)
            self.check_log_bin(m, on=False)
            self.check_my_ini(m, binlog=False)
            self.check_velto(m)
            # The shop works on; a technician runs the program again and picks
            # another drive: the registered server is found, nothing changes.
            m.sql("INSERT INTO loja VALUES (3, 'Filial Norte')", database="velto")
            m.drive("press|cmdFechar", "ended|15")
            m.drive(f"start|{e2e.APP}", "box|notice|ok", "window", "drive|d:", "script|velto.sql",
                    "press|cmdConfigurar", "box|exists|ok", "nobox|2", "labels|0",
                    "enabled|cmdConfigurar|1", "enabled|cmdFechar|1", "press|cmdFechar", "ended|15")
            self.assertEqual(m.sql("SELECT nome FROM loja WHERE id = 3", database="velto"),
                             [("Filial Norte",)])
            self.assertEqual(list(other.iterdir()), [], "the refused setup wrote to the other drive")

    def test_a_failing_statement_does_not_stop_the_import(self):
        with self.machine("failing-statement") as m:
            m.prepare(scripts=("falha.sql",))
            commands = e2e.full_setup_commands(binlog=False, script="falha.sql")
            commands[commands.index("box|complete|ok|60")] = "box|complete-errors|ok|60"
            m.drive(*commands, timeout=600)
            self.assertRegex(m.log(), r"\r\n +ERROR 1146 \(42S02\) at line 4: Table 'velto.tabela_que_nao_existe'")
            objects = set(m.sql("SELECT table_name FROM information_schema.tables "
                                "WHERE table_schema = 'velto'"))
            self.assertEqual(objects, {("antes",), ("depois",), ("depois_visao",)})
            self.assertEqual(m.sql("SELECT id FROM depois", database="velto"), [("3",)])

    def test_accents_in_the_folder_and_in_the_script(self):
        # Where the program often sits on a Brazilian machine, and a product
        # script in the Windows code page.
        app = r"C:\Users\João\Área de Trabalho\Configuração Velto"
        script = "Banco São João.sql"
        with e2e.Machine("accents", self.display, app=app) as m:
            m.prepare(scripts=())
            (m.app / script).write_bytes(
                "CREATE TABLE cliente (id INT PRIMARY KEY, nome VARCHAR(60)) DEFAULT CHARSET=utf8mb4;\r\n"
                "INSERT INTO cliente VALUES (1, 'João'), (2, 'Conceição'), (3, 'Açaí & Cia');\r\n"
                .encode("cp1252"))
            m.drive(*e2e.full_setup_commands(binlog=False, script=script, app=app), timeout=600)
            self.assertEqual(m.sql("SELECT nome FROM cliente ORDER BY id", database="velto"),
                             [("João",), ("Conceição",), ("Açaí & Cia",)])
            self.assertIn(f"Arquivo do banco de dados: {script}", m.log())

    def test_unattended_setup_and_removal(self):
        with self.machine("unattended") as m:
            m.prepare()
            before = m.files_outside("Program Files")
            # Typed at a prompt: the launcher waits and hands on the exit code.
            missing = m.unattended("/instalar", "/drive=c:", "/banco=sumiu.sql", typed=True)
            self.assertEqual(missing.returncode, 2, missing.stdout + missing.stderr)
            self.assertIn("Código de saída 2", missing.stdout)
            # cmd took the launcher, which started the program beside it with
            # the typed options as they were.
            self.assertIn('Linha de comando: "C:\\Program Files\\Brevano\\ConfiguraMySQL.exe" /instalar /drive=c: '
                          '/banco=sumiu.sql', m.log())
            self.assertEqual(m.files_outside("Program Files"), before, "a stopped run changed the machine")
            done = m.unattended("-INSTALAR", "/Drive=c:", "/banco=velto.sql", "/logbin", typed=True)
            print(done.stdout, flush=True)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            # Once: the program writes each line itself, the launcher adds none.
            self.assertEqual(done.stdout.count("Etapa 5. Importação do banco novo: concluída"), 1,
                             done.stdout)
            # The version the build stamped, without the system's version library.
            self.assertIn(f"Programa: Brevano MySQL {e2e.program_version()}\r\n", m.log())
            self.check_accounts(m)
            self.check_velto(m)
            self.check_log_bin(m, on=True)
            m.drive("service|MySQL|running-auto|10")
            # The health check finds the drive through the service and changes nothing.
            ini = (m.server_tree / "my.ini").read_bytes()
            checked = m.unattended("/verificar", typed=True, timeout=120)
            print(checked.stdout, flush=True)
            self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
            self.assertIn("Verificação 1. Serviço MySQL registrado: OK (c:\\MySQL\\bin\\mysqld-nt.exe)",
                          checked.stdout)
            self.assertIn("Verificação 6. Banco de dados velto: OK (2 tabelas)", checked.stdout)
            self.assertIn("Verificação 7. Log binário: OK (ligado, como pede o my.ini)", checked.stdout)
            self.assertIn("Servidor MySQL em ordem.", checked.stdout)
            self.assertNotIn(e2e.PASSWORD, checked.stdout + m.log())
            self.assertEqual((m.server_tree / "my.ini").read_bytes(), ini, "the check changed my.ini")
            m.drive("service|MySQL|running-auto|10")
            pid = m.server_pid()
            removed = m.unattended("/remover")
            self.assertEqual(removed.returncode, 0, removed.stdout + removed.stderr)
            m.drive("service|MySQL|absent|60")
            self.assertTrue(m.wait_server_gone(pid, 60), "the server still runs after the removal")
            gone = m.unattended("/verificar", "/drive=C:", typed=True, timeout=120)
            print(gone.stdout, flush=True)
            self.assertEqual(gone.returncode, 31, gone.stdout + gone.stderr)
            self.assertIn("Verificação 1. Serviço MySQL registrado: FALHA: não há serviço MySQL registrado",
                          gone.stdout)
            self.assertIn("Arquivo de banco de dados não encontrado!", m.log())

    def test_a_run_killed_during_the_import_is_undone_by_the_next_setup(self):
        with self.machine("killed") as m:
            m.prepare()
            m.open_window()
            # Ended from outside, as Task Manager does, once step 5 has begun:
            # the command it ran goes with it.
            m.drive("drive|c:", "script|velto.sql", "press|cmdConfigurar", "steps|4|400", "kill", "ended|15",
                    "noprocess|mysql.exe|15", timeout=600)
            self.assertTrue(m.server_tree.exists())
            m.drive("service|MySQL|running-auto|10")
            first = m.server_pid()
            # The shop goes on using the half-made server before anyone undoes the run.
            m.sql("CREATE DATABASE loja")
            m.sql("CREATE TABLE loja.vendas (id INT PRIMARY KEY, total DECIMAL(9,2))")
            m.sql("INSERT INTO loja.vendas VALUES (1, 12.50)")
            done = m.unattended("/instalar", "/drive=c:", "/banco=velto.sql")
            print(done.stdout, flush=True)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            log = m.log()
            self.assertIn("Desfazer a configuração anterior do MySQL", log)
            self.assertRegex(log, r"Configuração anterior: iniciada em \d\d/\d\d/\d{4} \d\d:\d\d, na etapa 5")
            self.assertIn("Desfeito: o serviço MySQL foi removido", log)
            self.assertRegex(log, r"Desfeito: a pasta c:\\MySQL foi guardada como c:\\MySQL\.desfeita-\d{8}-\d{6}")
            self.assertIn("Desfeita: nada da configuração anterior ficou na máquina", log)
            self.assertTrue(m.wait_server_gone(first, 60), "the first run's server still runs")
            # The shop's table went aside with the folder; the new server starts clean.
            aside = list(m.drive_c.glob("MySQL.desfeita-*"))
            self.assertEqual(len(aside), 1, aside)
            self.assertTrue((aside[0] / "Data" / "loja" / "vendas.frm").exists(), "the shop's table was lost")
            self.assertNotIn(("loja",), m.sql("SHOW DATABASES"))
            self.check_accounts(m)
            self.check_velto(m)
            self.assertEqual(m.unattended("/remover").returncode, 0)

    def test_start_up_and_check_failures(self):
        # name, how the machine differs from a ready one, driver commands after the window
        cases = [
            ("no-archive", dict(package=False), ["script|velto.sql"], "no-archive"),
            ("no-library", dict(library=False), ["script|velto.sql"], "no-library"),
            ("no-script-chosen", {}, [], "no-script"),
            ("script-missing", {}, ["script|sumiu.sql"], "script-missing"),
            ("server-folder-there", {}, ["script|velto.sql"], "exists"),
        ]
        with self.subTest(case="no-product"), self.machine("no-product") as m:
            m.prepare(product=False)
            m.drive(f"start|{e2e.APP}", "box|no-product|ok", "nowindow", "ended|15")
        for name, setup, commands, box in cases:
            with self.subTest(case=name), self.machine(name) as m:
                m.prepare(**setup)
                if name == "server-folder-there":
                    (m.drive_c / "MySQL").mkdir()
                before = m.files_outside()
                m.open_window()
                m.drive("items|velto.sql", *commands, "press|cmdConfigurar", f"box|{box}|ok",
                        "nobox|2", "enabled|cmdConfigurar|1", "enabled|cmdFechar|1", "labels|0",
                        "service|MySQL|absent")
                # Only the log, with why in a short section of its own.
                after = m.files_outside()
                after.pop(str((m.app / "ConfiguraMySQL.log").relative_to(m.drive_c)), None)
                self.assertEqual(after, before, "a failed check wrote files")
                self.assertIn("barrada nas verificações iniciais", m.log())
                self.assertIn("Mensagem (Atenção): ", m.log())

    def test_a_broken_archive_stops_at_the_first_step(self):
        whole = e2e.PACKAGE.read_bytes()
        middle = len(whole) // 2
        damaged = bytearray(whole)
        damaged[middle:middle + 64] = bytes(64)  # inside the server program's data
        cases = [("truncated", whole[:middle]), ("corrupt", bytes(damaged))]
        for name, content in cases:
            with self.subTest(case=name), self.machine(f"archive-{name}") as m:
                m.prepare(package=False)
                (m.app / "Mysql.zip").write_bytes(content)
                before = m.files_outside("MySQL", "Program Files")
                m.open_window()
                # cmdFechar goes off when the run begins and stays off after a failure.
                m.drive("script|velto.sql", "press|cmdConfigurar", "enabled|cmdFechar|0|30",
                        "box|unzip-failed|ok|120", "enabled|cmdConfigurar|1|10", "labels|0",
                        "nobox|3", "service|MySQL|absent")
                self.assertFalse(m.server_tree.exists(), "what the extraction left is still there")
                self.assertEqual(m.files_outside("MySQL", "Program Files"), before,
                                 "the extraction wrote outside its target")
                self.assertIn("Resultado: interrompida na etapa 1. Instalação do Mysql", m.log())
                self.assertNotIn("mysqld-nt.exe --install", m.log())

    def test_a_server_that_cannot_start_is_undone_and_a_second_press_completes(self):
        with self.machine("server-fails") as m:
            m.prepare(package=False)
            # One damaged file in the package: the system tablespace.
            (m.app / "Mysql.zip").write_bytes(
                e2e.package_with(**{"MySQL/Data/ibdata1": b"danificado" * 100}))
            m.open_window()
            m.drive("drive|c:", "script|velto.sql", "press|cmdConfigurar", "steps|2|60",
                    "box|service-failed|ok|300", "labels|0", "enabled|cmdConfigurar|1|10",
                    "enabled|cmdFechar|0", "service|MySQL|absent")
            self.assertFalse(m.server_tree.exists(), "the failed run left its server folder")
            log = m.log()
            self.assertIn("mysqld-nt.exe --install MySQL", log)
            self.assertIn("sc start MySQL", log)
            self.assertRegex(log, r"Serviço MySQL: (parado|não registrado)")
            self.assertIn("Desfeito: o serviço MySQL foi removido", log)
            self.assertIn("Desfeito: a pasta c:\\MySQL foi apagada", log)
            self.assertNotIn("GRANT", log)
            self.assertNotIn("DROP DATABASE", log)
            # The technician puts a good package in place and presses again:
            # nothing to clean by hand.
            (m.app / "Mysql.zip").write_bytes(e2e.PACKAGE.read_bytes())
            m.drive("press|cmdConfigurar", "steps|5|400", "box|complete|ok|60", "labels|5",
                    "service|MySQL|running-auto|10", timeout=600)
            self.check_accounts(m)
            self.check_velto(m)
            m.drive(*e2e.removal_commands(), timeout=300)

if __name__ == "__main__":
    unittest.main()
