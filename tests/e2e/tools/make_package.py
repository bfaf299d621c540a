"""Host tool of the build: the test server package Mysql.zip, laid out like
the server's own Windows archive and zipped by Python's zipfile (deflate),
not by our code:

  MySQL/bin/mysqld-nt.exe, MySQL/bin/mysql.exe   the stand-ins
  MySQL/my.ini
  MySQL/share/english, MySQL/share/charsets      the host server's messages
                                                 and character sets
  MySQL/Data/                                    a system database made here,
                                                 root with an empty password

  make_package.py OUT.zip MYSQLD_NT.exe MYSQL.exe MY.ini
"""
import os
import pathlib
import pwd
import shutil
import subprocess
import sys
import tempfile
import zipfile

# A small redo log keeps the package light; the stand-in starts the server
# with the same size, so that it is not made again at every start.
INNODB_LOG = "4M"


def main(out, mysqld, mysql, my_ini):
    with tempfile.TemporaryDirectory() as scratch:
        root = pathlib.Path(scratch)
        tree = root / "MySQL"
        (tree / "bin").mkdir(parents=True)
        shutil.copy(mysqld, tree / "bin" / "mysqld-nt.exe")
        shutil.copy(mysql, tree / "bin" / "mysql.exe")
        shutil.copy(my_ini, tree / "my.ini")
        for part in ("english", "charsets"):
            shutil.copytree(pathlib.Path("/usr/share/mysql") / part, tree / "share" / part)
        made = subprocess.run(
            ["mariadb-install-db", "--no-defaults", f"--datadir={tree / 'Data'}",
             f"--user={pwd.getpwuid(os.getuid()).pw_name}", "--auth-root-authentication-method=normal",
             "--skip-test-db", "--skip-name-resolve", f"--innodb-log-file-size={INNODB_LOG}"],
            stdin=subprocess.DEVNULL, capture_output=True, text=True, check=False)
        if made.returncode != 0 or not (tree / "Data" / "mysql").is_dir():
            sys.exit(f"make_package: mariadb-install-db failed:\n{made.stdout}{made.stderr}")
        part = pathlib.Path(out + ".part")
        with zipfile.ZipFile(part, "w", zipfile.ZIP_DEFLATED) as archive:
            for path in sorted([tree, *tree.rglob("*")]):
                archive.write(path, path.relative_to(root).as_posix())
        os.replace(part, out)


if __name__ == "__main__":
    main(*sys.argv[1:])
