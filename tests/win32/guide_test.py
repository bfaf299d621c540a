#!/usr/bin/env python3
"""The operator's guide against the program's own texts.

Every text the program shows the operator lives in src/system/Mensagens.h.
Each string there (adjacent literals joined, as the compiler joins them) must
be quoted in docs/LEIA-ME.txt. Quoting follows the guide's way of printing a
box: a line break of the text may be a line break in the guide, and the
guide's wrapping and indentation count for nothing, so both sides are
compared with every run of blanks and line breaks made one space. A text
built at run time is checked piece by piece; a piece without a letter is
joining punctuation and is not looked for.

Texts written straight into a call that shows or logs them would escape
this, so such a call with a literal that has a letter fails too.

Last, the shipped copy (scripts/lib/leia-me.sh) must open in an old Notepad:
one byte-order mark, CR LF on every line, valid UTF-8.

    guide_test.py ROOT
"""
import pathlib
import re
import subprocess
import sys
import tempfile

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parents[2])
failures = []

ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"', "'": "'"}


def literal(body):
    return re.sub(r"\\(.)", lambda m: ESCAPES[m.group(1)], body)


def plain(text):
    return " ".join(text.split())


def texts(header):
    """(name, text) of each constant of the header, comments left out."""
    source = re.sub(r"(?m)^\s*//.*$", "", header.read_text(encoding="utf-8"))
    pattern = r'constexpr\s+const\s+wchar_t\*\s+(\w+)\s*=\s*((?:\s*L"(?:[^"\\]|\\.)*")+)\s*;'
    for name, value in re.findall(pattern, source):
        yield name, "".join(literal(b) for b in re.findall(r'L"((?:[^"\\]|\\.)*)"', value))


guide_bytes = (root / "docs/LEIA-ME.txt").read_bytes()
guide = plain(guide_bytes.decode("utf-8"))

found = list(texts(root / "src/system/Mensagens.h"))
if len(found) < 100:
    failures.append(f"only {len(found)} texts read from Mensagens.h: the reader no longer understands it")
for name, text in found:
    wanted = plain(text)
    if re.search(r"[^\W\d_]", wanted) and wanted not in guide:
        failures.append(f"{name}: {wanted!r} is not in the guide")

# A call that shows, logs or raises a text, with the text written in place.
shown_here = re.compile(
    r"\b(?:MsgBox|InputBox|ConsoleLine|Say|Falha_Etapa|Falha|Aviso|Ok|Invalida|Escreve|Escreve_Agora|Escreve_Bloco)"
    r'\(\s*L"[^"]*[^\W\d_]'
    r'|\b(?:RuntimeError|RaiseSystemError)\(\s*\w+,\s*L"[^"]*[^\W\d_]'
)
for source in sorted((root / "src").rglob("*.[ch]*")):
    for number, line in enumerate(source.read_text(encoding="utf-8").splitlines(), 1):
        if shown_here.search(line):
            failures.append(f"{source.relative_to(root)}:{number}: a text outside Mensagens.h: {line.strip()}")

# The source copy: what .gitattributes keeps it as.
if guide_bytes.startswith(b"\xef\xbb\xbf") or b"\r" in guide_bytes:
    failures.append("docs/LEIA-ME.txt has a byte-order mark or CR: the shipped copy is made from LF without one")

# The shipped copy, also from a source that a checkout gave CR LF and a mark.
with tempfile.TemporaryDirectory() as work:
    for label, source in (("as kept", guide_bytes), ("with CR LF and a mark", b"\xef\xbb\xbf" + guide_bytes.replace(b"\n", b"\r\n"))):
        given, copy = pathlib.Path(work, "given.txt"), pathlib.Path(work, "LEIA-ME.txt")
        given.write_bytes(source)
        subprocess.run([str(root / "scripts/lib/leia-me.sh"), str(given), str(copy)], check=True)
        shipped = copy.read_bytes()
        lines = shipped[3:].split(b"\r\n")
        if not shipped.startswith(b"\xef\xbb\xbf") or shipped[3:].startswith(b"\xef\xbb\xbf"):
            failures.append(f"shipped copy ({label}): not exactly one byte-order mark")
        if lines[-1] != b"" or any(b"\r" in line or b"\n" in line for line in lines):
            failures.append(f"shipped copy ({label}): a line does not end in CR LF")
        if shipped[3:].decode("utf-8", errors="replace") != guide_bytes.decode("utf-8").replace("\n", "\r\n"):
            failures.append(f"shipped copy ({label}): the text differs from docs/LEIA-ME.txt")

for failure in failures:
    print("FAIL:", failure)
if not failures:
    print(f"guide: {len(found)} texts of the program quoted; the shipped copy opens in Notepad")
sys.exit(1 if failures else 0)
