#!/usr/bin/env python3
"""Times kestriv against GNU find, bfs and fd on the benchmark trees.

For every row: one captured run of each command checks that it selects the
same entries as find (or, for /vs, as many as kestriv's own /n*.txt); then
the commands run in turn, all writing to /dev/null, for --pairs rounds (the
order reversed every other round, so each pair of neighbours alternates).
A row's ratio for a tool is its median time over the baseline's median (GNU
find's, or for /vs kestriv's own /n*.txt). Peak memory is the maximum
resident set size of one more run of each command under /usr/bin/time -v.
bfs and fd take part where installed; the raw walk is bench/getdents_walk.c,
reading every directory with openat and getdents64 and nothing else.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

DAY = 86400
AGE_DAYS = 3650

# Row fields: label; tree (a kind made by make_tree.py); kestriv arguments;
# find's expression after "." (bfs takes the same); fd's arguments before
# the path, or None where fd has no equivalent; whether the raw walk runs;
# and, for a row measured against kestriv itself, the baseline's arguments.
# "{cutoff}" stands for the moment AGE_DAYS days before the row starts, as
# local time. Masks match case-insensitively, hence -iname and
# --ignore-case; fd also needs --no-ignore --hidden to see every entry.
# Directories have size 0 for kestriv, so /s1 never selects them; find
# gives them their block size, hence -type f. The period's end date is
# inclusive up to 00:00 of the next day; every time in the tree is a whole
# even second and none lies near 2020-01-01, so the bounds below select the
# same set in each tool.
ROWS = [
    ("/n*.txt", "tree", ["/n*.txt"], ["-iname", "*.txt"],
     ["--glob", "*.txt"], True, None),
    ("/n*", "tree", ["/n*"], [], ["--glob", "*"], True, None),
    ("/n*.txt /s1", "tree", ["/n*.txt", "/s1"],
     ["-type", "f", "-iname", "*.txt", "-size", "+1023c"],
     ["--glob", "*.txt", "--type", "f", "--size", "+1ki"], False, None),
    ("/n*.txt /f150101-191231", "tree", ["/n*.txt", "/f150101-191231"],
     ["-iname", "*.txt", "-newermt", "2014-12-31T23:59:59",
      "!", "-newermt", "2020-01-01T00:00:00"],
     ["--glob", "*.txt", "--changed-within", "2014-12-31 23:59:59",
      "--changed-before", "2020-01-01 00:00:01"], False, None),
    ("/n*.txt /d-%d" % AGE_DAYS, "tree", ["/n*.txt", "/d-%d" % AGE_DAYS],
     ["-iname", "*.txt", "-newermt", "{cutoff}"],
     ["--glob", "*.txt", "--changed-within", "%dd" % AGE_DAYS], False, None),
    ("/n* /ad", "tree", ["/n*", "/ad"], ["-mindepth", "1", "-type", "d"],
     ["--glob", "*", "--type", "d"], False, None),
    ("/n*.txt:*.log:*.cpp", "tree", ["/n*.txt:*.log:*.cpp"],
     ["(", "-iname", "*.txt", "-o", "-iname", "*.log", "-o",
      "-iname", "*.cpp", ")"],
     ["--glob", "*.{txt,log,cpp}"], False, None),
    ("/n*.txt /vs, over kestriv /n*.txt", "tree", ["/n*.txt", "/vs"],
     None, None, False, ["/n*.txt"]),
    ("chain, /n*.txt", "chain", ["/n*.txt"], ["-iname", "*.txt"],
     ["--glob", "*.txt"], False, None),
    ("one directory, /n*.txt", "wide", ["/n*.txt"], ["-iname", "*.txt"],
     ["--glob", "*.txt"], False, None),
]

TOOLS = ("kestriv", "bfs", "fd", "floor")
SUMMARY = re.compile(rb"^(\d+) files in (\d+) dirs\.$")


class Mismatch(Exception):
    pass


class Row:
    """One row's commands, as they run in its tree."""

    def __init__(self, row_def, trees, tools):
        (self.label, self.kind, kargs, find_expr, fd_args, floor,
         base_args) = row_def
        self.tree = trees[self.kind]
        self.cutoff = time.time() - AGE_DAYS * DAY
        stamp = time.strftime("%Y-%m-%dT%H:%M:%S",
                              time.localtime(int(self.cutoff)))
        expr = [stamp if a == "{cutoff}" else a for a in find_expr or []]
        k = self.kestriv = tools["kestriv"]
        self.commands = {"kestriv": [k] + kargs + ["."]}
        if base_args is not None:
            self.base_name = "kestriv " + " ".join(base_args)
            self.commands["base"] = [k] + base_args + ["."]
        else:
            self.base_name = "find"
            self.commands["base"] = ["find", "."] + expr
            if tools.get("bfs"):
                self.commands["bfs"] = [tools["bfs"], "."] + expr
            if tools.get("fd") and fd_args is not None:
                self.commands["fd"] = [tools["fd"], "--no-ignore", "--hidden",
                                       "--ignore-case"] + fd_args + ["."]
        if floor and tools.get("floor"):
            self.commands["floor"] = [tools["floor"]]
        self.age = "{cutoff}" in (find_expr or [])


def kestriv_paths(out):
    """The printed paths of one kestriv run; checks the frame around them:
    header lines, one empty line, and a summary that counts the paths."""
    if out.endswith(b"\r\n"):
        raise Mismatch("summary line ends in a line end")
    lines = out.split(b"\r\n")
    summary = SUMMARY.match(lines.pop())
    if not summary or lines.pop() != b"":
        raise Mismatch("no empty line and summary at the end")
    paths = []
    for line in lines:
        if line.startswith(b"./"):
            paths.append(line)
        elif not (line.startswith(b"/ ") and line.endswith(b" /")):
            raise Mismatch("unexpected line %r" % line[:200])
    if int(summary.group(1)) != len(paths):
        raise Mismatch("summary counts %s, printed %d"
                       % (summary.group(1).decode(), len(paths)))
    return paths


def listed_paths(out):
    """The paths find, bfs or fd printed, without the start directory and
    without the "/" fd puts after a directory."""
    return [p.rstrip(b"/") for p in out.split(b"\n") if p and p != b"."]


def capture(argv, cwd, nothing_found=None):
    """stdout of one run; raises Mismatch when the command fails (exits
    with neither 0 nor `nothing_found`, or writes to standard error)."""
    proc = subprocess.run(argv, cwd=cwd, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE)
    if proc.returncode not in (0, nothing_found) or proc.stderr:
        error = proc.stderr.decode(errors="replace").strip()
        raise Mismatch("exit code %d%s" % (
            proc.returncode, ": " + error.splitlines()[0] if error else ""))
    return proc.stdout


def selection(row, tool):
    """What one captured run of a row's command selected: a list of paths,
    or for the raw walk the number of entries it read."""
    argv = row.commands[tool]
    if argv[0] == row.kestriv:
        return kestriv_paths(capture(argv, row.tree, 1))
    if tool == "floor":
        return int(capture(argv, row.tree))
    return listed_paths(capture(argv, row.tree))


def timed(argv, cwd):
    """Seconds of one run writing to /dev/null."""
    start = time.perf_counter()
    subprocess.run(argv, cwd=cwd, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def mtime_in(path, tree, low, high):
    try:
        return low <= os.stat(os.path.join(tree, os.fsdecode(path))).st_mtime \
            <= high
    except OSError:
        return False


def compare(mine, theirs, mode, ignore=None):
    """Raises Mismatch when two selections differ: as sorted path lists
    ("set"), or by their number ("count"). `ignore` drops paths from the
    difference (entries that cross an age limit while the runs go on)."""
    if mode == "count":
        if len(mine) != len(theirs):
            raise Mismatch("%d entries against %d" % (len(mine), len(theirs)))
        return
    a, b = sorted(mine), sorted(theirs)
    if a == b:
        return
    only_a = sorted(set(a) - set(b))
    only_b = sorted(set(b) - set(a))
    if ignore and all(ignore(p) for p in only_a + only_b) and \
            len(a) - len(only_a) == len(b) - len(only_b):
        return
    raise Mismatch("%d entries against %d; only here: %s; only in the "
                   "baseline: %s" % (len(a), len(b), examples(only_a),
                                     examples(only_b)))


def examples(paths):
    """A few of the paths, each cut short (the chain's run to 12 KB)."""
    shown = [os.fsdecode(p) for p in paths[:3]]
    shown = [p if len(p) <= 60 else p[:28] + "..." + p[-28:] for p in shown]
    return "[%s]%s" % (", ".join(shown), " and %d more" % (len(paths) - 3)
                       if len(paths) > 3 else "")


def check_row(row, total):
    """Runs each command once with its output captured. Returns the number
    kestriv selected and a note per tool whose selection differs."""
    start = time.time()
    outputs, notes = {}, {}
    for tool in row.commands:
        try:
            outputs[tool] = selection(row, tool)
        except (Mismatch, ValueError) as e:
            notes[tool] = "failed: %s" % e
    window = None
    if row.age:
        # kestriv and fd measure the age to their own clock; an entry that
        # crossed the limit between the runs may fall on either side.
        low = min(row.cutoff, start - AGE_DAYS * DAY) - 2
        high = time.time() - AGE_DAYS * DAY + 2
        window = lambda p: mtime_in(p, row.tree, low, high)  # noqa: E731
    base = outputs.get("base")
    if base is None:
        notes.setdefault("base", "no baseline selection")
        return 0, notes
    for tool, out in outputs.items():
        if tool == "base":
            continue
        try:
            if tool == "floor":
                if out != total(row):
                    raise Mismatch("walked %d entries, find lists %d"
                                   % (out, total(row)))
            else:
                mode = "count" if row.base_name != "find" else "set"
                compare(out, base, mode, window)
        except Mismatch as e:
            notes[tool] = str(e)
    return len(outputs.get("kestriv", [])), notes


def time_row(row, pairs):
    """Median seconds of each command over `pairs` rounds."""
    order = list(row.commands)
    times = {tool: [] for tool in order}
    for round_ in range(pairs):
        for tool in (order if round_ % 2 == 0 else reversed(order)):
            times[tool].append(timed(row.commands[tool], row.tree))
    return {tool: statistics.median(t) for tool, t in times.items()}


def peak_kib(argv, cwd):
    """Maximum resident set size in KiB of one run, from /usr/bin/time -v."""
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.run(["/usr/bin/time", "-v", "-o", report.name] + argv,
                       cwd=cwd, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        match = re.search(r"Maximum resident set size \(kbytes\): (\d+)",
                          report.read())
    return int(match.group(1)) if match else None


def tree_totals(trees):
    """A function giving the number of entries find lists below a row's
    tree, counted once per tree."""
    cache = {}

    def total(row):
        if row.kind not in cache:
            out = capture(["find", "."], trees[row.kind])
            cache[row.kind] = len(listed_paths(out))
        return cache[row.kind]
    return total


def bench(row_defs, trees, tools, pairs, memory):
    """Each row checked, timed and measured; a row's commands are made as it
    starts, so that its age limit is read from the clock then."""
    results = []
    total = tree_totals(trees)
    for row_def in row_defs:
        row = Row(row_def, trees, tools)
        print("  %s ..." % row.label, file=sys.stderr, flush=True)
        selected, notes = check_row(row, total)
        medians = time_row(row, pairs)
        peaks = {}
        if memory:
            peaks = {tool: peak_kib(argv, row.tree)
                     for tool, argv in row.commands.items()}
        results.append((row, selected, notes, medians, peaks))
    return results


def cell(tool, row, notes, medians):
    if tool not in row.commands:
        return "—"
    text = "%.2f" % (medians[tool] / medians["base"])
    return text + " (≠)" if tool in notes else text


def mib(kib):
    return "—" if kib is None else "%.1f" % (kib / 1024)


def print_tables(results, pairs):
    print("Ratios: median time over the baseline's median (GNU find, unless "
          "the row names another), %d rounds, all output to /dev/null. "
          "(≠): selection differs, see the notes." % pairs)
    print()
    print("| query | entries | baseline ms | kestriv | bfs | fd "
          "| raw walk | peak MiB kestriv / find / bfs / fd |")
    print("|---|---:|---:|---:|---:|---:|---:|---|")
    for row, selected, notes, medians, peaks in results:
        peak = " / ".join(mib(peaks.get(t)) if t in row.commands else "—"
                          for t in ("kestriv", "base", "bfs", "fd"))
        print("| `%s` | %d | %.0f | %s | %s | %s | %s | %s |" % (
            row.label, selected, medians["base"] * 1000,
            cell("kestriv", row, notes, medians), cell("bfs", row, notes,
                                                       medians),
            cell("fd", row, notes, medians), cell("floor", row, notes,
                                                   medians), peak))
    print()
    failed = False
    for row, _, notes, _, _ in results:
        for tool, note in sorted(notes.items()):
            name = row.base_name if tool == "base" else tool
            print("note: %s, %s: %s" % (row.label, name, note))
            failed = failed or tool in ("kestriv", "base")
    return failed


def print_commands(rows):
    print()
    print("Commands (in the row's tree):")
    for row in rows:
        print("  %s" % row.label)
        for tool, argv in row.commands.items():
            name = {"base": "baseline" if row.base_name != "find" else "find",
                    "floor": "raw walk"}.get(tool, tool)
            shown = [os.path.basename(argv[0])] + argv[1:]
            print("    %-9s %s" % (name, " ".join(
                "'%s'" % a if re.search(r"[*(){}! ]", a) else a
                for a in shown)))


def print_strace(row):
    for tool in ("kestriv", "base"):
        argv = row.commands[tool]
        with tempfile.NamedTemporaryFile("r") as report:
            subprocess.run(["strace", "-c", "-f", "-o", report.name] + argv,
                           cwd=row.tree, stdout=subprocess.DEVNULL)
            summary = report.read().rstrip()
        print()
        print("System calls of one run of %s (strace -c -f):"
              % " ".join([os.path.basename(argv[0])] + argv[1:]))
        print()
        print(summary)


def find_tools(binary, floor):
    """The commands that take part: kestriv, and bfs, fd and the raw walk
    where present."""
    fd = shutil.which("fdfind") or shutil.which("fd")
    if fd:
        # Another program may be called "fd"; fd-find names itself.
        version = subprocess.run([fd, "--version"], stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL).stdout
        fd = fd if re.match(rb"fd(find)? \d", version) else None
    return {"kestriv": binary, "bfs": shutil.which("bfs"), "fd": fd,
            "floor": floor if floor and os.access(floor, os.X_OK) else None}


def version_line(tools):
    parts = []
    for name, argv in (("find", ["find", "--version"]),
                       ("bfs", [tools["bfs"], "--version"]),
                       ("fd", [tools["fd"], "--version"])):
        if argv[0]:
            out = subprocess.run(argv, stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL).stdout
            parts.append(out.decode().splitlines()[0].strip())
        else:
            parts.append("%s: not installed" % name)
    return ", ".join(parts)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--kestriv", required=True, help="the binary")
    parser.add_argument("--tree", required=True, help="the main tree")
    parser.add_argument("--chain", help="the deep chain")
    parser.add_argument("--wide", help="the directory of many files")
    parser.add_argument("--floor", help="the raw walk binary")
    parser.add_argument("--pairs", type=int, default=7)
    parser.add_argument("--no-extras", action="store_true",
                        help="skip the system-call summary")
    args = parser.parse_args()
    if args.pairs < 1:
        sys.exit("pairs.py: at least one round, please")
    tools = find_tools(os.path.abspath(args.kestriv), args.floor)
    trees = {"tree": args.tree, "chain": args.chain, "wide": args.wide}
    os.environ["LC_ALL"] = "C"  # the same byte-wise rules for every tool
    print("tools:   %s" % version_line(tools))
    print()
    # Warm the cache: one full walk of each tree before anything is timed.
    for tree in filter(None, trees.values()):
        capture(["find", "."], tree)
    row_defs = [row_def for row_def in ROWS if trees[row_def[1]]]
    results = bench(row_defs, trees, tools, args.pairs,
                    os.access("/usr/bin/time", os.X_OK))
    rows = [result[0] for result in results]
    failed = print_tables(results, args.pairs)
    print_commands(rows)
    if not args.no_extras and shutil.which("strace"):
        print_strace(rows[0])
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
