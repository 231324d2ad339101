#!/usr/bin/env python3
"""Times kestriv against a peer command on one tree, in alternating pairs,
checks that both select the same entries, and prints the medians; then the
peak memory (/usr/bin/time -v) and the system-call summary (strace -c -f)."""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

CUTOFF = "2020-01-01 00:00"  # the tree has no entry dated near it

# (label, kestriv arguments, peer command, how to compare). A peer that is a
# tuple of kestriv arguments runs kestriv itself. "set" compares the sorted
# selected paths; "count" compares only how many were printed.
QUERIES = [
    ("/n*.txt", ["/n*.txt"], ["find", ".", "-iname", "*.txt"], "set"),
    ("/n*", ["/n*"], ["find", "."], "set"),
    # Directories have size 0 for kestriv, so /s1 never selects them; find
    # gives them their block size, hence -type f.
    ("/n*.txt /s1", ["/n*.txt", "/s1"],
     ["find", ".", "-type", "f", "-iname", "*.txt", "-size", "+1023c"], "set"),
    ("/n*.txt /f200101", ["/n*.txt", "/f200101"],
     ["find", ".", "-iname", "*.txt", "-newermt", CUTOFF], "set"),
    ("/n*.txt /n*.log /n*.cpp", ["/n*.txt", "/n*.log", "/n*.cpp"],
     ["find", ".", "(", "-iname", "*.txt", "-o", "-iname", "*.log",
      "-o", "-iname", "*.cpp", ")"], "set"),
    ("/n*.txt /vs", ["/n*.txt", "/vs"], ("/n*.txt",), "count"),
]

SUMMARY = re.compile(rb"^(\d+) files in (\d+) dirs\.$")


class Mismatch(Exception):
    pass


def kestriv_paths(out):
    """The printed paths of one kestriv run; checks the frame around them:
    header lines, one empty line, and a summary that counts the paths."""
    if out.endswith(b"\r\n"):
        raise Mismatch("kestriv: summary line ends in a line end")
    lines = out.split(b"\r\n")
    summary = SUMMARY.match(lines.pop())
    if not summary or lines.pop() != b"":
        raise Mismatch("kestriv: no empty line and summary at the end")
    paths = []
    for line in lines:
        if line.startswith(b"./"):
            paths.append(line)
        elif not (line.startswith(b"/ ") and line.endswith(b" /")):
            raise Mismatch("kestriv: unexpected line %r" % line)
    if int(summary.group(1)) != len(paths):
        raise Mismatch("kestriv: summary counts %s, printed %d"
                       % (summary.group(1).decode(), len(paths)))
    return paths


def find_paths(out):
    """The paths find printed, without the start directory itself."""
    return [p for p in out.split(b"\n") if p and p != b"."]


def run(argv, cwd):
    """(seconds, stdout) of one run, output read through a pipe."""
    start = time.perf_counter()
    proc = subprocess.run(argv, cwd=cwd, stdout=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if proc.returncode not in (0, 1):
        raise Mismatch("%s exited with %d" % (" ".join(argv), proc.returncode))
    return elapsed, proc.stdout


def compare(mode, mine, theirs):
    """Raises Mismatch when the two selections differ."""
    if mode == "count":
        if len(mine) != len(theirs):
            raise Mismatch("%d entries against %d" % (len(mine), len(theirs)))
        return
    a, b = sorted(mine), sorted(theirs)
    if a == b:
        return
    only_a = sorted(set(a) - set(b))[:5]
    only_b = sorted(set(b) - set(a))[:5]
    raise Mismatch("%d entries against %d; only kestriv: %r; only peer: %r"
                   % (len(a), len(b), only_a, only_b))


def commands(binary, query):
    _, kargs, peer, _ = query
    mine = [binary] + kargs + ["."]
    theirs = [binary] + list(peer) + ["."] if isinstance(peer, tuple) else peer
    return mine, theirs


def parse(cmd, out, binary):
    return kestriv_paths(out) if cmd[0] == binary else find_paths(out)


def bench_query(binary, tree, query, pairs):
    """One row: medians of both commands and of the per-pair ratio."""
    label, _, _, mode = query
    mine, theirs = commands(binary, query)
    # Warm-up pair: its outputs are the ones compared.
    _, out_a = run(mine, tree)
    _, out_b = run(theirs, tree)
    paths = parse(mine, out_a, binary)
    error = None
    try:
        compare(mode, paths, parse(theirs, out_b, binary))
    except Mismatch as e:
        error = str(e)
    times_a, times_b, ratios = [], [], []
    for _ in range(pairs):
        ta, oa = run(mine, tree)
        tb, ob = run(theirs, tree)
        if oa != out_a or len(ob) != len(out_b):
            error = error or "output changed between runs"
        times_a.append(ta)
        times_b.append(tb)
        ratios.append(ta / tb)
    return {
        "label": label,
        "peer": " ".join(["kestriv"] + theirs[1:] if theirs[0] == binary
                         else theirs),
        "entries": len(paths), "a": statistics.median(times_a),
        "b": statistics.median(times_b), "ratio": statistics.median(ratios),
        "error": error,
    }


def print_table(rows, pairs):
    print("Medians of %d alternating pairs (kestriv, peer) after one warm-up "
          "pair; ratio = median of per-pair kestriv/peer." % pairs)
    print()
    head = ("query", "entries", "kestriv ms", "peer ms", "ratio", "same", "peer")
    fmt = "%-24s %8s %11s %9s %7s %5s  %s"
    print(fmt % head)
    for r in rows:
        print(fmt % (r["label"], r["entries"], "%.1f" % (r["a"] * 1000),
                     "%.1f" % (r["b"] * 1000), "%.2f" % r["ratio"],
                     "no" if r["error"] else "yes", r["peer"]))
    for r in rows:
        if r["error"]:
            print("MISMATCH %s: %s" % (r["label"], r["error"]))


def peak_rss(argv, tree):
    """Maximum resident set size in KiB of one run, from /usr/bin/time -v."""
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.run(["/usr/bin/time", "-v", "-o", report.name] + argv,
                       cwd=tree, stdout=subprocess.PIPE)
        match = re.search(r"Maximum resident set size \(kbytes\): (\d+)",
                          report.read())
    return int(match.group(1)) if match else None


def print_memory(binary, tree):
    print()
    print("Peak resident set size (KiB), one run each (/usr/bin/time -v):")
    print()
    fmt = "%-24s %8s %8s"
    print(fmt % ("query", "kestriv", "peer"))
    for query in QUERIES:
        mine, theirs = commands(binary, query)
        print(fmt % (query[0], peak_rss(mine, tree), peak_rss(theirs, tree)))


def strace_summary(argv, tree):
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.run(["strace", "-c", "-f", "-o", report.name] + argv,
                       cwd=tree, stdout=subprocess.PIPE)
        return report.read().rstrip()


def print_strace(binary, tree):
    mine, theirs = commands(binary, QUERIES[0])
    for title, argv in (("kestriv /n*.txt .", mine),
                        ("peer: " + " ".join(theirs), theirs)):
        print()
        print("System calls of one run of %s (strace -c -f):" % title)
        print()
        print(strace_summary(argv, tree))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--kestriv", required=True, help="the binary")
    parser.add_argument("--tree", required=True, help="the tree to search")
    parser.add_argument("--pairs", type=int, default=7)
    parser.add_argument("--no-extras", action="store_true",
                        help="skip the memory and strace reports")
    args = parser.parse_args()
    if args.pairs < 5:
        sys.exit("pairs.py: at least 5 pairs, please")
    binary = os.path.abspath(args.kestriv)
    os.environ["LC_ALL"] = "C"  # the same byte-wise rules for find and sort
    # Warm the cache: one full walk by each tool before anything is timed.
    run(["find", "."], args.tree)
    run([binary, "/n*", "."], args.tree)
    rows = []
    for query in QUERIES:
        try:
            rows.append(bench_query(binary, args.tree, query, args.pairs))
        except Mismatch as e:  # a run failed outright
            rows.append({"label": query[0], "peer": "", "entries": 0,
                         "a": 0, "b": 1, "ratio": 0, "error": str(e)})
    print_table(rows, args.pairs)
    if not args.no_extras:
        if shutil.which("/usr/bin/time"):
            print_memory(binary, args.tree)
        if shutil.which("strace"):
            print_strace(binary, args.tree)
    sys.exit(1 if any(r["error"] for r in rows) else 0)


if __name__ == "__main__":
    main()
