#!/usr/bin/env python3
"""Times our host (on worker threads by default, and with -t 1 on the calling
thread alone), `unzip -qq -o` and `bsdtar -xf` on the benchmark corpora, each
run into a fresh folder, checks every output tree against the corpus manifest
and prints medians, the ratios of both of ours to unzip and to bsdtar, a
table of both corpora side by side, and the machine's load average before and
after. --baseline adds another build of the host (both ways), to compare
two versions in one run."""
import argparse, hashlib, os, shutil, statistics, subprocess, sys, time


def load_manifest(path):
    entries = {}
    with open(path) as f:
        for line in f:
            rel, size, digest = line.rstrip("\n").split("\t")
            entries[rel] = (int(size), digest)
    return entries


def check_tree(root, manifest):
    seen = 0
    for dirpath, _, files in os.walk(root):
        for name in files:
            p = os.path.join(dirpath, name)
            rel = os.path.relpath(p, root)
            if rel not in manifest:
                return "unexpected file " + rel
            size, digest = manifest[rel]
            h = hashlib.sha256()
            with open(p, "rb") as f:
                for chunk in iter(lambda: f.read(1 << 20), b""):
                    h.update(chunk)
            if os.path.getsize(p) != size or h.hexdigest() != digest:
                return "content differs: " + rel
            seen += 1
    if seen != len(manifest):
        return "%d of %d files present" % (seen, len(manifest))
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--corpus", required=True)
    ap.add_argument("--host", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--baseline", help="another uzhost, timed the same two ways")
    args = ap.parse_args()

    tools = {
        "ours": lambda a, o: [args.host, "-q", "-d", o, a],
        "ours-t1": lambda a, o: [args.host, "-q", "-t", "1", "-d", o, a],
        "unzip": lambda a, o: ["unzip", "-qq", "-o", a, "-d", o],
        "bsdtar": lambda a, o: ["bsdtar", "-xf", a, "-C", o],
    }
    if args.baseline:
        tools["base"] = lambda a, o: [args.baseline, "-q", "-d", o, a]
        tools["base-t1"] = lambda a, o: [args.baseline, "-q", "-t", "1", "-d", o, a]
    ours_all = [t for t in tools if t not in ("unzip", "bsdtar")]
    failed = False
    results = {}
    print("load average before: %.2f %.2f %.2f, %d processors" % (os.getloadavg() + (os.cpu_count(),)))
    for corpus in ("mixed", "small"):
        archive = os.path.join(args.corpus, corpus + ".zip")
        manifest = load_manifest(os.path.join(args.corpus, corpus + ".manifest"))
        times = {t: [] for t in tools}
        for run in range(args.runs):
            for tool, cmd in tools.items():  # interleaved, so drift hits all alike
                out = os.path.join(args.work, "%s-%s" % (corpus, tool))
                shutil.rmtree(out, ignore_errors=True)
                os.makedirs(out)
                subprocess.run(["sync"])
                t0 = time.perf_counter()
                rc = subprocess.run(cmd(archive, out)).returncode
                elapsed = time.perf_counter() - t0
                problem = "exit code %d" % rc if rc != 0 else check_tree(out, manifest)
                if problem:
                    print("FAIL %s %s run %d: %s" % (corpus, tool, run + 1, problem))
                    failed = True
                times[tool].append(elapsed)
                shutil.rmtree(out, ignore_errors=True)
        results[corpus] = {t: statistics.median(v) for t, v in times.items()}
        size = os.path.getsize(archive)
        print("%s: %s, %d bytes, %d files, %d runs each" % (corpus, archive, size, len(manifest), args.runs))
        for tool in tools:
            print("  %-8s median %7.3f s   runs: %s" % (tool, results[corpus][tool],
                  " ".join("%.3f" % t for t in times[tool])))
        r = results[corpus]
        for ours in ours_all:
            print("  ratio %s/unzip  %.2f   %s/bsdtar %.2f" % (
                ours, r[ours] / r["unzip"], ours, r[ours] / r["bsdtar"]))

    corpora = list(results)
    print()
    print("median seconds, and ratios   " + "".join("%10s" % c for c in corpora))
    for tool in tools:
        print("  %-26s" % tool + "".join("%10.3f" % results[c][tool] for c in corpora))
    for ours in ours_all:
        for other in ("bsdtar", "unzip") + (("ours-t1",) if ours == "ours" else ()):
            print("  %-26s" % (ours + " / " + other) +
                  "".join("%10.2f" % (results[c][ours] / results[c][other]) for c in corpora))
    print("load average after: %.2f %.2f %.2f" % os.getloadavg())
    sys.exit(1 if failed else 0)


main()
