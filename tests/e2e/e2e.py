"""Equipment of the end-to-end runs: a fresh Wine prefix per run with the
application folder an operator prepares, the window driver, the real MariaDB
server that the package's mysqld-nt.exe starts, and the clean-up of all of it.

Every wait here is bounded; whatever a run started is stopped by its id.
"""
import os
import pathlib
import re
import shutil
import signal
import subprocess
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parents[1]


def wine_arch():
    """The Windows build this host's Wine can run: the 32-bit one, unless the
    host cannot execute 32-bit programs at all, then the 64-bit build."""
    try:
        subprocess.run(["/usr/lib/wine/wine", "--version"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60, check=True)
        return "win32"
    except (OSError, subprocess.SubprocessError):
        return "win64"


ARCH = wine_arch()
# Debian's "wine" script would pick the 32-bit loader whenever it is installed.
WINE = "wine" if ARCH == "win32" else "/usr/lib/wine/wine64"
BUILD = pathlib.Path(os.environ.get("CM_BUILD", ROOT / "build" / ARCH)).resolve()
BIN = BUILD / "bin"
PACKAGE = BUILD / "sandbox" / "Mysql.zip"
SC = BUILD / "e2e" / "tools" / "sc.exe"
DRIVER = BIN / "e2e_driver.exe"
SCRIPTS = HERE / "scripts"
PASSWORD = "KQLum4816"
# The folder the guide recommends: one only administrators may change.
APP = r"C:\Program Files\Brevano"

WINE_ENV = {
    # Wine reads the programs' arguments and the host's file names in the
    # locale's character set: the same on every machine, whatever the caller's.
    "LANG": "C.UTF-8",
    "LC_ALL": "C.UTF-8",
    "WINEARCH": ARCH,
    **({} if ARCH == "win32" else {"WINELOADER": WINE}),
    "WINEDEBUG": "-all",
    "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
}


class Failure(AssertionError):
    pass


def run(argv, env=None, timeout=60, check=True, cwd=None):
    """Runs a host command to its end within timeout seconds. Its output goes
    through files, not pipes: Wine's background processes inherit whatever
    they are given and would hold a pipe open long after the command ended."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run([str(a) for a in argv], env=env, cwd=cwd, timeout=timeout,
                              stdin=subprocess.DEVNULL, stdout=out, stderr=err).returncode
        out.seek(0)
        err.seek(0)
        result = subprocess.CompletedProcess(argv, code, out.read().decode(errors="replace"),
                                             err.read().decode(errors="replace"))
    if check and result.returncode != 0:
        raise Failure(f"{' '.join(map(str, argv))} exited {result.returncode}\n"
                      f"{result.stdout}{result.stderr}")
    return result


class Display:
    """The X display to run on: $DISPLAY when set, else a private Xvfb."""

    def __init__(self):
        self.process = None
        self.name = os.environ.get("DISPLAY", "")

    def __enter__(self):
        if self.name:
            return self
        for n in range(150, 200):
            if os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}"):
                continue
            self.process = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1024x768x24",
                                             "-nolisten", "tcp"],
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(50):
                if os.path.exists(f"/tmp/.X11-unix/X{n}"):
                    self.name = f":{n}"
                    return self
                if self.process.poll() is not None:
                    break
                time.sleep(0.1)
            self.__exit__()
        raise Failure("no free X display")

    def __exit__(self, *_):
        if self.process is not None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
            self.process = None


def template_prefix(display):
    """A prepared prefix (created once per build tree) that runs copy."""
    prefix = BUILD / "e2e" / "template"
    if (prefix / ".cm-ready").exists():
        return prefix
    shutil.rmtree(prefix, ignore_errors=True)
    prefix.parent.mkdir(parents=True, exist_ok=True)
    env = dict(os.environ, WINEPREFIX=str(prefix), DISPLAY=display, **WINE_ENV)
    run([WINE, "wineboot", "-i"], env=env, timeout=300)
    # Without a window manager's decorations, boxes close at once on Xvfb.
    run([WINE, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/t", "REG_SZ",
         "/d", "N", "/f"], env=env, timeout=120)
    run(["wineserver", "-w"], env=env, timeout=120)
    (prefix / ".cm-ready").touch()
    return prefix


class Machine:
    """One Windows machine: a fresh copy of the prepared prefix with its own
    wineserver, an application folder (C:\\Program Files\\Brevano unless told) and, once the
    setup has run, a real server."""

    def __init__(self, name, display, keep=False, app=APP):
        self.folder = BUILD / "e2e" / "runs" / name
        self.prefix = self.folder / "prefix"
        self.keep = keep or os.environ.get("CM_E2E_KEEP") == "1"
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), DISPLAY=display, **WINE_ENV)
        self.drive_c = self.prefix / "drive_c"
        self.app_path = app
        self.app = self.drive_c.joinpath(*app.split("\\")[1:])
        self.server_tree = self.drive_c / "MySQL"
        # A run that was killed from outside left its server and Wine behind.
        self.started = self.prefix.exists()
        self.stop()
        shutil.rmtree(self.folder, ignore_errors=True)
        self.folder.mkdir(parents=True)
        template = template_prefix(display)
        run(["cp", "-a", template, self.prefix], timeout=300)
        self.app.mkdir(parents=True)

    # -- the machine -------------------------------------------------------------

    def __enter__(self):
        # Service processes live only while wineserver does: keep it for the run.
        run(["wineserver", "-p"], env=self.env, timeout=60)
        self.started = True
        run([WINE, "cmd", "/c", "exit"], env=self.env, timeout=120, check=False)
        return self

    def __exit__(self, kind, *_):
        self.stop()
        if kind is None and not self.keep:
            shutil.rmtree(self.prefix, ignore_errors=True)

    def stop(self):
        """Stops the server that ran here and every Wine process of the prefix."""
        self.stop_server()
        if self.started:
            run(["wineserver", "-k"], env=self.env, timeout=60, check=False)
            self.started = False
        self.save_logs()

    def save_logs(self):
        data = self.server_tree / "Data"
        for name in ("service.log", "mysqld.err"):
            if (data / name).exists():
                shutil.copy(data / name, self.folder / name)

    def log(self):
        """The program's log beside it, as text (it is UTF-8 with a BOM)."""
        data = (self.app / "ConfiguraMySQL.log").read_bytes()
        if not data.startswith(b"\xef\xbb\xbf"):
            raise Failure("the log does not start with a byte-order mark")
        return data[3:].decode("utf-8")

    def add_drive(self, letter):
        """Another fixed drive of this machine, backed by a folder of the run."""
        backing = self.folder / f"drive_{letter}"
        backing.mkdir(exist_ok=True)
        (self.prefix / "dosdevices" / f"{letter}:").symlink_to(backing)
        return backing

    def system32(self):
        return self.drive_c / "windows" / "system32"

    def install_product(self):
        (self.system32() / "LUMATREX.OCX").write_bytes(b"")

    def put(self, *files, **renamed):
        """Copies files into the application folder (name=source renames)."""
        for f in files:
            shutil.copy(f, self.app)
        for name, source in renamed.items():
            shutil.copy(source, self.app / name)

    def prepare(self, package=True, library=True, scripts=("velto.sql",), product=True):
        """The folder an operator prepares: program, package, library, scripts,
        and sc.exe for Wine."""
        self.put(BIN / "ConfiguraMySQL.exe", BIN / "ConfiguraMySQL.com", SC)
        if package:
            self.put(PACKAGE)
        if library:
            self.put(BIN / "unzip32.dll")
        for script in scripts:
            self.put(SCRIPTS / script)
        if product:
            self.install_product()

    # -- the program ---------------------------------------------------------------

    def drive(self, *commands, timeout=120, echo=False):
        """Runs the window driver with these commands; its output lines. With
        echo its output goes straight to ours, line by line as it comes."""
        argv = [WINE, DRIVER, *commands]
        if echo:
            code = subprocess.run([str(a) for a in argv], env=self.env, cwd=self.app,
                                  timeout=timeout, stdin=subprocess.DEVNULL).returncode
            if code != 0:
                raise Failure("driver failed")
            return []
        result = run(argv, env=self.env, timeout=timeout, check=False, cwd=self.app)
        if result.returncode != 0:
            raise Failure(f"driver failed:\n{result.stdout}{result.stderr}")
        return result.stdout.splitlines()

    def unattended(self, *options, timeout=600, typed=False):
        """Runs the program with these options from its folder, as a
        deployment tool would; its exit code and what it wrote. typed: as a
        technician types it at a prompt in that folder, "ConfiguraMySQL ...",
        which the command interpreter takes to the console launcher."""
        program = ([WINE, "cmd", "/c", "ConfiguraMySQL"] if typed
                   else [WINE, f"{self.app_path}\\ConfiguraMySQL.exe"])
        return run([*program, *options], env=self.env, timeout=timeout, check=False, cwd=self.app)

    def open_window(self):
        return self.drive(f"start|{self.app_path}", "box|notice|ok", "window")

    def screenshot(self, path):
        path.parent.mkdir(parents=True, exist_ok=True)
        run(["import", "-window", "root", path], env=self.env, timeout=60)

    # -- the server ----------------------------------------------------------------

    def server_pid(self):
        """The id of the mariadbd serving this machine's data folder, or None."""
        try:
            pid = int((self.server_tree / "Data" / "mysqld.pid").read_text().strip())
        except (OSError, ValueError):
            return None
        arguments = self.server_arguments(pid)
        data = os.path.realpath(self.server_tree / "Data")
        for a in arguments:
            if a.startswith("--datadir=") and os.path.realpath(a[len("--datadir="):]) == data:
                return pid
        return None

    @staticmethod
    def server_arguments(pid):
        try:
            return pathlib.Path(f"/proc/{pid}/cmdline").read_bytes().decode().split("\0")
        except OSError:
            return []

    def socket(self):
        pid = self.server_pid()
        if pid is None:
            raise Failure("no server is running for this machine")
        for a in self.server_arguments(pid):
            if a.startswith("--socket="):
                return a[len("--socket="):]
        raise Failure("the server runs without a socket")

    def wait_server_gone(self, pid, seconds):
        """Whether the server that ran as pid has ended within seconds. A
        server that was never found is no server that went."""
        if pid is None:
            raise Failure("no server was found for this machine")
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if not os.path.exists(f"/proc/{pid}"):
                return True
            time.sleep(0.5)
        return False

    def stop_server(self):
        pid = self.server_pid()
        if pid is None:
            return
        for sig, seconds in ((signal.SIGTERM, 60), (signal.SIGKILL, 10)):
            try:
                os.kill(pid, sig)
            except ProcessLookupError:
                return
            deadline = time.monotonic() + seconds
            while time.monotonic() < deadline:
                if not os.path.exists(f"/proc/{pid}"):
                    return
                time.sleep(0.2)

    def sql(self, statement, user="root", password=PASSWORD, database=None, check=True):
        """Runs SQL with the host's own client against this machine's server;
        the rows as tuples of texts."""
        argv = ["mariadb", "--no-defaults", f"--socket={self.socket()}", "-h", "localhost",
                "-u", user, "-N", "-B", "-e", statement]
        if password is not None:
            argv.append(f"--password={password}")
        if database:
            argv += ["-D", database]
        result = run(argv, timeout=60, check=check)
        if not check:
            return result
        return [tuple(line.split("\t")) for line in result.stdout.splitlines()]

    def my_ini(self):
        """The keys of [mysqld] in my.ini, as a parser of the file sees them."""
        keys = {}
        section = None
        for line in (self.server_tree / "my.ini").read_text(errors="replace").splitlines():
            line = line.strip()
            if line.startswith("[") and line.endswith("]"):
                section = line[1:-1].strip().lower()
            elif section == "mysqld" and line and not line.startswith((";", "#")):
                key, _, value = line.partition("=")
                keys[key.strip().lower()] = value.strip()
        return keys

    def files_outside(self, *skip):
        """Every file of drive C: with its size, except the given top-level
        folders: what a run wrote elsewhere shows up here."""
        listing = {}
        for path in self.drive_c.rglob("*"):
            relative = path.relative_to(self.drive_c)
            if relative.parts[0] in skip:
                continue
            listing[str(relative)] = path.stat().st_size if path.is_file() else -1
        return listing


def program_version():
    """The version the build stamped into the program."""
    header = (BUILD / "src" / "app" / "win32" / "version.h").read_text()
    match = re.search(r'^#define CM_VERSION_TEXT "(.*)"$', header, re.M)
    if not match:
        raise Failure("no version in the build")
    return match.group(1)


def full_setup_commands(binlog, script="velto.sql", app=APP):
    """The operator's whole setup: the options, the button, the five steps,
    the completion message and the window's final state."""
    return [f"start|{app}", "box|notice|ok", "window", "drive|c:", f"tick|{1 if binlog else 0}",
            f"script|{script}", "press|cmdConfigurar", "steps|5|400", "box|complete|ok|60",
            "enabled|cmdConfigurar|0", "enabled|cmdFechar|1", "labels|5"]


def package_with(**entries):
    """The test package with entries added or replaced (name=bytes)."""
    import io
    import zipfile
    out = io.BytesIO()
    with zipfile.ZipFile(PACKAGE) as source, zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as target:
        for item in source.infolist():
            if item.filename not in entries:
                target.writestr(item, source.read(item))
        for name, content in entries.items():
            target.writestr(name, content)
    return out.getvalue()


def removal_commands():
    return ["press|cmdRemoveServico", "box|remove-question|yes", "box|removed|ok|120",
            "service|MySQL|absent|60"]
