#!/usr/bin/env python3
"""Differential check: the POSIX build and the Windows build (under Wine)
search the same trees with the same command lines and must select the same
entries in the same order (each directory as Windows lists it, by name).
Path syntax is normalised; short names are not compared, as each platform
makes its own.

First the fixed part: fixed queries on the benchmark's small tree, a tree of
names that code page 932 lacks (which the Windows build prints with "?") and
a chain of directories past 260 characters, and the regression cases of
earlier random runs. Then the random part (differential_random.py says what
its trees and command lines hold and what they leave out): TREES random
trees, COMMANDS random command lines on each, every run's exit code, header
lines, selected entries (in order, per header) and summary compared.

    tests/differential.py POSIX_BINARY WINDOWS_EXE [--seed S] [--trees T]
        [--commands C] [--tree K] [--random-only]

A disagreement prints the seed, the tree number, the tree, the command line
and both outputs; --seed S --tree K (with the same --commands, or more)
makes that tree and its command lines again. tests/differential_long.sh runs 2,000 random cases.
"""
import argparse
import collections
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import e2e_support  # noqa: E402
import differential_random as rand  # noqa: E402

# Not "/n*.": Wine's entry scan takes "*." as "*", where Windows (and the
# POSIX build) select only names without a dot.
QUERIES = [
    ["/n*.txt"], ["/n*"], ["/n*.TXT", "/r"], ["/nREADME*"],
    ["/n*.txt", "/n*.log", "/n*.cpp"], ["/n*.t?t"], ["/n*.*"],
    ["/n*", "/ad"], ["/n*", "/a-d"], ["/n*", "/ah"], ["/n*", "/a-h"],
    ["/n*", "/s1"], ["/n*", "/s-2"], ["/n*", "/s3-5"],
    ["/n*", "/f200101"], ["/n*", "/f-181231"], ["/n*", "/f170101-191231"],
    ["/n*", "/d1000"], ["/n*", "/d-3000"],
]

# Relative paths of files; each level of the chain is 10 characters long.
FOREIGN_FILES = [
    "e.txt", "\u00e9.txt", "cafe/in_plain.txt", "caf\u00e9/in_accent.txt",
    "\ud55c\uae00/inner.txt", "\U0001f600.txt", "mixed\ud55cx/deep.txt",
    "\u8868/sjis.txt", "\u00c5ngstr\u00f6m.TXT",
] + ["/".join("level%05d" % i for i in range(depth + 1)) + "/f.txt"
     for depth in range(40)]
FOREIGN_QUERIES = [["/n*.txt"], ["/n*"], ["/n*", "/ad"], ["/n*.TXT", "/r"]]

# Cases from random runs, each command line run as it stands (no search
# path added): without one both builds print the current directory, which
# Wine has on drive Z:; a path with "..", typed in another case; names with
# blanks, full-width letters and characters code page 932 lacks.
REGRESSION_FILES = [
    "\uff21\uff22\uff23 2019", "Read me\ud55c\uae00..TXT/a.txt",
    "Tx_Read me.tx/\u00c5ngstr\u00f6m\U0001f600.\u8868",
    "notes.Txt/.tx/TX.c",
]
REGRESSION_QUERIES = [
    ["/n*.txt"], ["/n?\uff42\uff23*2019", "/r"], ["/n*", "TX_rEad ME.tX/.."],
    ["/N*.C", "/d-30", "/vs"], ["/n*", "/ah", "nOTES.txt"],
]


def as_printed(path):
    """A POSIX build's UTF-8 path as the Windows build prints it."""
    return e2e_support.windows_printed(path.decode("utf-8"))


def make_tree(root, files):
    for name in files:
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "wb").close()


def selected(command, cwd, env=None, codec="utf-8"):
    """The entries a run prints, in order, as relative paths with "/". The
    "\\" are replaced in the text's own code page, where a double-byte
    character may end in their byte."""
    proc = subprocess.run(command, cwd=cwd, env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=600)
    out = proc.stdout
    lines = out.rpartition(b"\r\n")[0].split(b"\r\n")
    paths = []
    for line in lines:
        if not line or (line.startswith(b"/ ") and line.endswith(b" /")):
            continue
        path = line.decode(codec, "surrogateescape").replace("\\", "/")
        path = path.encode(codec, "surrogateescape")
        paths.append(path[2:] if path.startswith(b"./") else path)
    return proc.returncode, paths


def windows_run(posix_result, args, run):
    """The Windows build's result, run a second time when the first differs
    from `posix_result`: Wine's start-up has been seen to spoil a single run
    now and then (no output at all), and a real difference shows again."""
    result = run()
    if result[:2] != posix_result[:2]:
        print("again     %s: the Windows run differed once" % " ".join(args))
        result = run()
    return result


def same(posix, query, tree, printed):
    """Runs one query on both builds; `printed` turns a POSIX path into the
    bytes the Windows build prints for it."""
    args = query + ["."]
    code, paths = selected([posix] + args, tree)
    posix_result = code, [printed(path) for path in paths]
    windows_result = windows_run(
        posix_result, query,
        lambda: selected(e2e_support.tool_command(args), tree,
                         e2e_support.tool_environment(), "cp932"))
    if posix_result == windows_result:
        print("same      %-32s %d entries" %
              (" ".join(query), len(posix_result[1])))
        return True
    mine, theirs = posix_result[1], windows_result[1]
    first = next((i for i, (a, b) in enumerate(zip(mine, theirs)) if a != b),
                 min(len(mine), len(theirs)))
    print("DIFFERENT %s: exit %d/%d, %d/%d entries, from entry %d on: "
          "POSIX %s, Windows %s" %
          (" ".join(query), posix_result[0], windows_result[0], len(mine),
           len(theirs), first, mine[first:first + 3], theirs[first:first + 3]))
    return False


def normal_line(line, windows):
    """An output line as text, the delimiter "/", a POSIX line spelt as
    the Windows build prints it."""
    if windows:
        text = line.decode("cp932", "surrogateescape").replace("\\", "/")
        # The current directory (no search path typed) is on drive Z:.
        if text.startswith("Z:/") or text.startswith("/ Z:/"):
            text = text.replace("Z:/", "/", 1)
        return text
    return as_printed(line).decode("cp932", "surrogateescape")


def outcome(command, cwd, env, windows, short_names):
    """What a run selected: exit code, [(header, lines)] with the lines in
    order (only their count with /vs), and the summary; the whole text for
    an option error."""
    proc = subprocess.run(command, cwd=cwd, env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                          timeout=600)
    text = [normal_line(l, windows) for l in proc.stdout.split(b"\r\n")]
    if proc.returncode == 2:
        return proc.returncode, text, proc.stdout
    blocks = []
    for line in text[:-1]:
        if line.startswith("/ ") and line.endswith(" /"):
            blocks.append((line, []))
        elif line and blocks:
            blocks[-1][1].append(line)
    if short_names:
        blocks = [(h, len(lines)) for h, lines in blocks]
    return proc.returncode, (blocks, text[-1]), proc.stdout


def run_both(posix, args, tree, walk_alone=False):
    """The outcomes of both builds for one command line, POSIX first; with
    walk_alone the POSIX build reads without workers (--threads 1)."""
    short_names = any(a.lower().startswith("/vs") for a in args)
    env = e2e_support.tool_environment()
    env["TZ"] = rand.TZ
    posix_env = dict(os.environ, LC_ALL=e2e_support.POSIX_LOCALE, TZ=rand.TZ)
    threads = ["--threads", "1"] if walk_alone else []
    mine = outcome([posix] + threads + args, tree, posix_env, False,
                   short_names)
    theirs = windows_run(
        mine, args, lambda: outcome(e2e_support.tool_command(args), tree, env,
                                    True, short_names))
    return mine, theirs


def random_part(posix, seed, trees, commands, only_tree=None):
    """Runs the random cases; the number of cases and of disagreements."""
    cases = failures = 0
    start = time.time()
    for index in range(trees) if only_tree is None else [only_tree]:
        tree, lines = rand.tree_and_commands(seed, index, commands,
                                             time.time())
        root = tempfile.mkdtemp(prefix="kestriv-random-")
        try:
            tree.create(root)
            bad = 0
            exits = collections.Counter()
            for args in lines:
                # Every other case without workers on the POSIX side.
                mine, theirs = run_both(posix, args, root, cases % 2 == 1)
                cases += 1
                exits[mine[0]] += 1
                if mine[:2] == theirs[:2]:
                    continue
                bad += 1
                print("DIFFERENT seed %s tree %d: %s" % (seed, index, args))
                if bad == 1:
                    print(tree.describe())
                print("  POSIX   exit %d: %r" % (mine[0], mine[2][:2000]))
                print("  Windows exit %d: %r" % (theirs[0], theirs[2][:2000]))
            failures += bad
            print("random tree %d: %d command lines (exit 0/1/2: %d/%d/%d), "
                  "%d different (%.0f s)" %
                  (index, len(lines), exits[0], exits[1], exits[2], bad,
                   time.time() - start))
        finally:
            rand.remove_tree(root)
    return cases, failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("posix")
    parser.add_argument("windows")
    parser.add_argument("--seed", default="1")
    parser.add_argument("--trees", type=int, default=2)
    parser.add_argument("--commands", type=int, default=40)
    parser.add_argument("--tree", type=int, default=None,
                        help="only this random tree")
    parser.add_argument("--random-only", action="store_true")
    options = parser.parse_args()
    posix, windows = (os.path.abspath(p)
                      for p in (options.posix, options.windows))
    e2e_support.BINARY = windows
    e2e_support.PLATFORM = "win32"
    failures = total = 0
    if not options.random_only and options.tree is None:
        total, failures = fixed_part(posix)
    cases, different = random_part(posix, options.seed, options.trees,
                                   options.commands, options.tree)
    print("%d fixed queries, %d failed; %d random cases (seed %s), %d "
          "different" % (total, failures, cases, options.seed, different))
    return 1 if failures or different else 0


def fixed_part(posix):
    with tempfile.TemporaryDirectory(prefix="kestriv-diff-") as root:
        made = subprocess.run(
            [sys.executable, os.path.join(HERE, "..", "bench", "make_tree.py"),
             "--small", root], stdout=subprocess.PIPE, check=True)
        tree = made.stdout.decode().strip().split()[-1]
        failures = sum(not same(posix, query, tree, lambda p: p)
                       for query in QUERIES)
        foreign = os.path.join(root, "foreign")
        make_tree(foreign, FOREIGN_FILES)
        failures += sum(not same(posix, query, foreign, as_printed)
                        for query in FOREIGN_QUERIES)
        regression = os.path.join(root, "regression")
        make_tree(regression, REGRESSION_FILES)
        for args in REGRESSION_QUERIES:
            mine, theirs = run_both(posix, args, regression)
            if mine[:2] != theirs[:2]:
                failures += 1
                print("DIFFERENT %s:\n  POSIX   %r\n  Windows %r" %
                      (" ".join(args), mine[2], theirs[2]))
            else:
                print("same      %-32s exit %d" % (" ".join(args), mine[0]))
        wrong = rand.check_models()
        for mask, name, got in wrong:
            print("model of the mask rules changed: %r on %r gives "
                  "(Wine, Windows, used) %r" % (mask, name, got))
        total = (len(QUERIES) + len(FOREIGN_QUERIES) +
                 len(REGRESSION_QUERIES) + len(rand.MODEL_CASES))
        return total, failures + len(wrong)


if __name__ == "__main__":
    sys.exit(main())
