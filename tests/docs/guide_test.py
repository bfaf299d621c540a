#!/usr/bin/env python3
"""The technician's guide against the program, both ways.

The program's texts are the strings of src/system/Mensagens.h, the window's
captions in src/app/Layout.h, and the texts built at run time, which
Mensagens.h declares in comments: "// texto: kUm <variável> ". " kOutro" (a
constant, a control's caption by its name, a variable part, or a literal
piece, in the order they are joined). A constant used in such a text is
looked for through it.

- Each of the program's texts (and each caption the window can show) must
  stand in one quotation of the guide, a
  built one whole, its variable parts matching anything but a quote.
- Each quotation of the guide, outside command lines, must be a piece of a
  text the program can show, where the guide's "<...>" and "..." stand for
  anything and the program's variable parts take any value (c:, 3, N);
  or one of the outside texts listed below (Windows' own words).
- The exit-code table (after "CÓDIGOS DE SAÍDA") lists exactly the codes the
  program and its launcher end with (src/app/CodigosSaida.h, one per step
  and per check of /verificar, the launcher's 9009).
- No call shows, logs or raises a text written in place.
- The shipped copy (scripts/lib/leia-me.sh) opens in an old Notepad.

    guide_test.py ROOT
"""
import pathlib
import re
import subprocess
import sys
import tempfile

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parents[2])
failures = []
STAR = "\x00"  # a part that may be anything

# Quoted in the guide, and not the program's: Windows' words and the commands it runs.
OUTSIDE = {
    # the MySQL server's own words, in its error log
    "Can't start server: Bind on TCP/IP port", "Do you already have another mysqld server running on port",
    "is marked as crashed and should be repaired", "Can't create/write to file", "Disk is full",
}
# Lines that are commands to type (their quotes are the command's), by how they begin.
COMMANDS = re.compile(r"^\s+(?:sc|sc\.exe|reg|ren|rmdir|icacls|netsh|cd|set|if|exit|echo|@echo|start|"
                      r"ConfiguraMySQL|[A-Za-z]:\\MySQL\\bin\\\S+|cmd|type|copy|mysql|netstat|sfc|certutil|"
                      r"(?:basedir|datadir)=\S+|log-bin=)(?:\s|$)")


def plain(text):
    return " ".join(text.split())


def literal(body):
    escapes = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"', "'": "'"}
    return re.sub(r"\\(.)", lambda m: escapes[m.group(1)], body)


def read(path):
    return (root / path).read_text(encoding="utf-8")


# ---- the program's texts -------------------------------------------------------------
header = read("src/system/Mensagens.h")
code = re.sub(r"(?m)^\s*//.*$", "", header)
raw = {name: "".join(literal(b) for b in re.findall(r'L"((?:[^"\\]|\\.)*)"', value))
       for name, value in re.findall(
           r'constexpr\s+const\s+wchar_t\*\s+(\w+)\s*=\s*((?:\s*L"(?:[^"\\]|\\.)*")+)\s*;', code)}
constants = {name: plain(text) for name, text in raw.items()}
if len(constants) < 100:
    failures.append(f"only {len(constants)} texts read from Mensagens.h: the reader no longer understands it")

layout = read("src/app/Layout.h")
# A control shown at start, or one that can be (the remove button's hint):
# what is hidden and disabled is never seen.
controls = {name: (literal(c), "true" in (visible, enabled)) for name, c, visible, enabled in re.findall(
    r'\{Control::(\w+), "\w+", ControlKind::\w+, L"((?:[^"\\]|\\.)*)", (?:-?\d+, ){5}(true|false), (true|false)',
    layout)}
captions = [c for c, visible in controls.values() if visible] + re.findall(r'kWindowCaption = L"([^"]*)"', layout)

built, used = [], set()
for number, line in enumerate(header.splitlines(), 1):
    declared = re.match(r"\s*//\s*texto:\s*(.*)$", line)
    if not declared:
        continue
    text = ""
    for piece, name, var in re.findall(r'"((?:[^"\\]|\\.)*)"|(\w+)|(<[^>]*>)', declared.group(1)):
        if name and name not in raw and name not in controls:
            failures.append(f"Mensagens.h:{number}: {name} is neither a text of Mensagens.h nor a control")
        used.add(name)
        text += STAR if var else literal(piece) if not name else raw[name] if name in raw else controls.get(name, ("",))[0]
    built.append(plain(text))
texts = built + [text for name, text in constants.items() if name not in used]
texts += [plain(c) for c in captions if re.search(r"\w", c)]

lettered = [t for t in texts if re.search(r"[^\W\d_]", t)]

# ---- the guide's quotations ----------------------------------------------------------
guide_bytes = (root / "docs/LEIA-ME.txt").read_bytes()
guide_text = guide_bytes.decode("utf-8")
quotes = []
for block in re.split(r"\n\s*\n", guide_text):
    prose = " ".join(line for line in block.splitlines() if not COMMANDS.match(line))
    found = re.findall(r'"([^"]*)"', prose)
    if prose.count('"') % 2:
        failures.append(f"guide: an unclosed quotation in the paragraph {plain(block)[:60]!r}")
    quotes += [plain(q) for q in found if re.search(r"[^\W\d_]", q)]


def pattern(text):
    return re.compile(".+?".join(re.escape(part) for part in text.split(STAR)))


for text in lettered:
    if not any(pattern(text).search(q) for q in quotes):
        failures.append(f"not quoted in the guide: {text.replace(STAR, '<...>')!r}")


PROSE = re.compile(r"[^\W\d_]{3,} [^\W\d_]{3,} [^\W\d_]{3,}")


def piece_of(quote, text):
    """Whether the quotation is a piece of some instance of the text: eight
    of its characters (or three in five of a short one) where the program's
    own are, and what stands where the program fills in a value is a value
    (a path, a number, a name), never a run of prose."""
    q = re.sub(r"<[^>]*>|\.\.\.|…", STAR, quote)
    need = min(8, -(-3 * len(q.replace(STAR, "")) // 5))
    seen, todo = set(), [(i, 0, 0) for i in range(len(text) + 1)]
    while todo:
        i, j, m = todo.pop()
        if j == len(q) and m >= need:
            return True
        if j == len(q) or (i, j, m) in seen:
            continue
        seen.add((i, j, m))
        if q[j] == STAR:
            todo += [(i, j + 1, m)] + ([(i + 1, j, m)] if i < len(text) else [])
        elif i < len(text) and text[i] == STAR:
            for end in range(j, len(q) + 1):
                if PROSE.search(q[j:end]):
                    break
                todo.append((i + 1, end, m))
        elif i < len(text) and text[i] == q[j]:
            todo.append((i + 1, j + 1, min(m + 1, need)))
    return False


# The program's texts most like the quotation (sharing most runs of four
# characters) are the ones tried: a few dozen rather than hundreds.
grams = {}
for text in lettered:
    for part in text.split(STAR):
        for k in range(len(part) - 3):
            grams.setdefault(part[k:k + 4], set()).add(text)
for quote in sorted(set(quotes)):
    if quote in OUTSIDE:
        continue
    shared = {}
    for word in re.split(r"<[^>]*>|\.\.\.|…", quote):
        for k in range(len(word) - 3):
            for text in grams.get(word[k:k + 4], ()):
                shared[text] = shared.get(text, 0) + 1
    likely = sorted(shared, key=shared.get, reverse=True)[:40] or lettered
    if not any(piece_of(quote, text) for text in likely):
        failures.append(f"quoted in the guide, but no text of the program: {quote!r}")

# ---- the exit codes ------------------------------------------------------------------
values = dict((n, int(v)) for n, v in re.findall(r"constexpr int (k\w+) = (\d+);", read("src/app/CodigosSaida.h")))
steps = sum(1 for c in captions if re.match(r"\d\. ", c))
checks = len([n for n in constants if re.fullmatch(r"kVerificacao[A-Z]\w*", n)])
launcher = re.findall(r"kNaoIniciado = (\d+);", read("src/launcher/win32/main.cpp"))
wanted = {v for n, v in values.items() if n not in ("kSaidaEtapa", "kSaidaServidor")}
wanted |= {values["kSaidaEtapa"] + n for n in range(1, steps + 1)}
wanted |= {values["kSaidaServidor"] + n for n in range(1, checks + 1)} | {int(c) for c in launcher}
table = guide_text.split("CÓDIGOS DE SAÍDA", 1)[-1].split("\n\n\n", 1)[0]
listed = set()
for first, last in re.findall(r"(?m)^ {1,6}(\d+)(?: a (\d+))?(?: {2,}|\t)\S", table):
    listed |= set(range(int(first), int(last or first) + 1))
if "CÓDIGOS DE SAÍDA" not in guide_text or listed != wanted:
    failures.append(f"exit codes: the guide's table lists {sorted(listed)}, the program ends with {sorted(wanted)}")

# ---- texts written in place ------------------------------------------------------------
shown_here = re.compile(
    r"\b(?:MsgBox|InputBox|ConsoleLine|Say|Falha_Etapa|Falha|Aviso|Ok|Invalida|Escreve|Escreve_Agora|Escreve_Bloco)"
    r'\(\s*L"[^"]*[^\W\d_]'
    r'|\b(?:RuntimeError|RaiseSystemError)\(\s*\w+,\s*L"[^"]*[^\W\d_]'
    r'|\{\s*L"[A-ZÀ-Ý][^"]*",')  # a field of a log section's header
for source in sorted((root / "src").rglob("*.[ch]*")):
    for number, line in enumerate(source.read_text(encoding="utf-8").splitlines(), 1):
        if shown_here.search(line):
            failures.append(f"{source.relative_to(root)}:{number}: a text outside Mensagens.h: {line.strip()}")

# ---- the shipped copy ------------------------------------------------------------------
if guide_bytes.startswith(b"\xef\xbb\xbf") or b"\r" in guide_bytes:
    failures.append("docs/LEIA-ME.txt has a byte-order mark or CR: the shipped copy is made from LF without one")
with tempfile.TemporaryDirectory() as work:
    for label, source in (("as kept", guide_bytes),
                          ("with CR LF and a mark", b"\xef\xbb\xbf" + guide_bytes.replace(b"\n", b"\r\n"))):
        given, copy = pathlib.Path(work, "given.txt"), pathlib.Path(work, "LEIA-ME.txt")
        given.write_bytes(source)
        subprocess.run([str(root / "scripts/lib/leia-me.sh"), str(given), str(copy)], check=True)
        shipped = copy.read_bytes()
        lines = shipped[3:].split(b"\r\n")
        if not shipped.startswith(b"\xef\xbb\xbf") or shipped[3:].startswith(b"\xef\xbb\xbf"):
            failures.append(f"shipped copy ({label}): not exactly one byte-order mark")
        if lines[-1] != b"" or any(b"\r" in line or b"\n" in line for line in lines):
            failures.append(f"shipped copy ({label}): a line does not end in CR LF")
        if shipped[3:].decode("utf-8", errors="replace") != guide_text.replace("\n", "\r\n"):
            failures.append(f"shipped copy ({label}): the text differs from docs/LEIA-ME.txt")

for failure in failures:
    print("FAIL:", failure)
if not failures:
    print(f"guide: {len(lettered)} texts of the program quoted, {len(set(quotes))} quotations found in it, "
          f"{len(listed)} exit codes; the shipped copy opens in Notepad")
sys.exit(1 if failures else 0)
