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
reading every directory with openat and getdents64 and nothing else, on one
thread and (for /n*.txt, /n* and the status queries) on --warm-threads
threads over a shared stack; in the status queries, /n* /s1 and /n* /d-3650,
it also reads every entry's status (-s), the floor for a walk that needs
them. kestriv also runs with --threads 1, the walk's thread alone, and,
given --before, an earlier kestriv build runs beside it in the same rounds,
checked and measured the same way ("kestriv before").

Then /n*.txt in two more tree states, each with find, bfs, fd, kestriv and
the raw walk on one thread and on many: cold, the page cache, dentries and
inodes dropped before every timed run (root only); and a network share, a
directory mounted by the caller (bench/run.sh: sshfs over the loopback with
every cache off). A second table shows the three states side by side, a
third the status queries warm and cold the same way, and a last one
kestriv's median over the parallel raw walk's, bfs's and fd's in each state
(and the earlier build's, beside it).
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
NAMES, STATUSES = "names", "statuses"

# Row fields: label; tree (a kind made by make_tree.py); kestriv arguments;
# find's expression after "." (bfs takes the same); fd's arguments before
# the path, or None where fd has no equivalent; whether the raw walk runs,
# and how: None (not), NAMES (names only) or STATUSES (every entry's status
# too, for a query that reads them); and, for a row measured against
# kestriv itself, the baseline's arguments.
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
     ["--glob", "*.txt"], NAMES, None),
    ("/n*", "tree", ["/n*"], [], ["--glob", "*"], NAMES, None),
    ("/n*.txt /s1", "tree", ["/n*.txt", "/s1"],
     ["-type", "f", "-iname", "*.txt", "-size", "+1023c"],
     ["--glob", "*.txt", "--type", "f", "--size", "+1ki"], None, None),
    ("/n*.txt /f150101-191231", "tree", ["/n*.txt", "/f150101-191231"],
     ["-iname", "*.txt", "-newermt", "2014-12-31T23:59:59",
      "!", "-newermt", "2020-01-01T00:00:00"],
     ["--glob", "*.txt", "--changed-within", "2014-12-31 23:59:59",
      "--changed-before", "2020-01-01 00:00:01"], None, None),
    ("/n*.txt /d-%d" % AGE_DAYS, "tree", ["/n*.txt", "/d-%d" % AGE_DAYS],
     ["-iname", "*.txt", "-newermt", "{cutoff}"],
     ["--glob", "*.txt", "--changed-within", "%dd" % AGE_DAYS], None, None),
    ("/n* /s1", "tree", ["/n*", "/s1"], ["-type", "f", "-size", "+1023c"],
     ["--glob", "*", "--type", "f", "--size", "+1ki"], STATUSES, None),
    ("/n* /d-%d" % AGE_DAYS, "tree", ["/n*", "/d-%d" % AGE_DAYS],
     ["-newermt", "{cutoff}"],
     ["--glob", "*", "--changed-within", "%dd" % AGE_DAYS], STATUSES, None),
    ("/n* /ad", "tree", ["/n*", "/ad"], ["-mindepth", "1", "-type", "d"],
     ["--glob", "*", "--type", "d"], None, None),
    ("/n*.txt:*.log:*.cpp", "tree", ["/n*.txt:*.log:*.cpp"],
     ["(", "-iname", "*.txt", "-o", "-iname", "*.log", "-o",
      "-iname", "*.cpp", ")"],
     ["--glob", "*.{txt,log,cpp}"], None, None),
    ("/n*.txt /vs, over kestriv /n*.txt", "tree", ["/n*.txt", "/vs"],
     None, None, None, ["/n*.txt"]),
    ("chain, /n*.txt", "chain", ["/n*.txt"], ["-iname", "*.txt"],
     ["--glob", "*.txt"], None, None),
    ("one directory, /n*.txt", "wide", ["/n*.txt"], ["-iname", "*.txt"],
     ["--glob", "*.txt"], None, None),
]

DROP_CACHES = "/proc/sys/vm/drop_caches"
SUMMARY = re.compile(rb"^(\d+) files in (\d+) dirs\.$")


class Mismatch(Exception):
    pass


class Row:
    """One row's commands, as they run in its tree."""

    def __init__(self, row_def, trees, tools, floor_threads, label=None):
        (self.label, self.kind, kargs, find_expr, fd_args, floor,
         base_args) = row_def
        self.query = self.label
        self.label = label or self.label
        self.tree = trees[self.kind]
        self.floor_threads = floor_threads
        self.cutoff = time.time() - AGE_DAYS * DAY
        stamp = time.strftime("%Y-%m-%dT%H:%M:%S",
                              time.localtime(int(self.cutoff)))
        expr = [stamp if a == "{cutoff}" else a for a in find_expr or []]
        k = self.kestriv = tools["kestriv"]
        self.commands = {"kestriv": [k] + kargs + ["."]}
        # An earlier build next to kestriv, so that in each round the two
        # run one right after the other.
        self.before = tools.get("before")
        if self.before:
            self.commands["before"] = [self.before] + kargs + ["."]
        # And the walk's thread alone, reading one directory at a time.
        self.commands["kestriv1"] = [k, "--threads", "1"] + kargs + ["."]
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
        self.statuses = floor == STATUSES
        if floor and tools.get("floor"):
            walk = [tools["floor"]] + (["-s"] if self.statuses else [])
            self.commands["floor"] = walk
            if floor_threads > 1:
                self.commands["floorN"] = walk + ["-j", str(floor_threads)]
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
    if argv[0] in (row.kestriv, row.before):
        return kestriv_paths(capture(argv, row.tree, 1))
    if tool.startswith("floor"):
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
            if tool.startswith("floor"):
                if out != total(row):
                    raise Mismatch("walked %d entries, find lists %d"
                                   % (out, total(row)))
            else:
                mode = "count" if row.base_name != "find" else "set"
                compare(out, base, mode, window)
        except Mismatch as e:
            notes[tool] = str(e)
    return len(outputs.get("kestriv", [])), notes


def time_row(row, pairs, before=None):
    """Median seconds of each command over `pairs` rounds; `before` runs
    ahead of every timed run, untimed."""
    order = list(row.commands)
    times = {tool: [] for tool in order}
    for round_ in range(pairs):
        for tool in (order if round_ % 2 == 0 else reversed(order)):
            if before:
                before()
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


def tree_totals():
    """A function giving the number of entries find lists below a row's
    tree, counted once per tree."""
    cache = {}

    def total(row):
        if row.tree not in cache:
            out = capture(["find", "."], row.tree)
            cache[row.tree] = len(listed_paths(out))
        return cache[row.tree]
    return total


def drop_caches():
    """Writes dirty pages out, then drops the page cache, dentries and
    inodes."""
    os.sync()
    with open(DROP_CACHES, "w") as f:
        f.write("3\n")


def cold_unavailable():
    """Why the caches cannot be dropped here, or None when they can (one
    drop is tried)."""
    if os.geteuid() != 0:
        return "not root"
    if not os.access(DROP_CACHES, os.W_OK):
        return "%s is not writable" % DROP_CACHES
    try:
        drop_caches()
    except OSError as e:
        return "writing 3 to %s: %s" % (DROP_CACHES, e.strerror)
    return None


def bench(row_defs, trees, tools, pairs, memory, total, floor_threads):
    """Each row checked, timed and measured; a row's commands are made as it
    starts, so that its age limit is read from the clock then."""
    results = []
    for row_def in row_defs:
        row = Row(row_def, trees, tools, floor_threads)
        print("  %s ..." % row.label, file=sys.stderr, flush=True)
        selected, notes = check_row(row, total)
        medians = time_row(row, pairs)
        peaks = {}
        if memory:
            peaks = {tool: peak_kib(argv, row.tree)
                     for tool, argv in row.commands.items()}
        results.append((row, selected, notes, medians, peaks))
    return results


def bench_state(row_def, label, tree, tools, pairs, total, floor_threads,
                before=None):
    """A row of the main tree in one tree state: checked once, then timed
    with `before` ahead of every run. Returns the row, how many kestriv
    selected, how many entries find lists, the rounds, the notes and the
    medians."""
    row = Row(row_def, {"tree": tree}, tools, floor_threads, label)
    print("  %s ..." % label, file=sys.stderr, flush=True)
    selected, notes = check_row(row, total)
    medians = time_row(row, pairs, before)
    return row, selected, total(row), pairs, notes, medians


def warm_state(result, pairs, total):
    """A row of the first table as a tree state, in bench_state's shape."""
    row, selected, notes, medians, _ = result
    return row, selected, total(row), pairs, notes, medians


def cell(tool, row, notes, medians):
    if tool not in row.commands:
        return "—"
    text = "%.2f" % (medians[tool] / medians["base"])
    return text + " (≠)" if tool in notes else text


def ms_cell(tool, row, notes, medians):
    """A median in milliseconds with its ratio to find's."""
    if tool not in row.commands:
        return "—"
    text = "%.0f (%.2f)" % (medians[tool] * 1000,
                            medians[tool] / medians["base"])
    return text + " (≠)" if tool in notes else text


def mib(kib):
    return "—" if kib is None else "%.1f" % (kib / 1024)


def tool_name(tool, row):
    walk = "raw walk -s" if row.statuses else "raw walk"
    return {"base": row.base_name, "floor": walk,
            "kestriv1": "kestriv --threads 1", "before": "kestriv before",
            "floorN": "%s -j %d" % (walk, row.floor_threads)}.get(tool, tool)


def print_notes(label, notes, row):
    """The row's notes; true when kestriv or the baseline failed (not the
    earlier build: its differences are what a change may have mended)."""
    failed = False
    for tool, note in sorted(notes.items()):
        print("note: %s, %s: %s" % (label, tool_name(tool, row), note))
        failed = failed or tool in ("kestriv", "base")
    return failed


def with_before(tools, before):
    """The tools of a table, with the earlier build right after kestriv
    when it takes part."""
    if not before:
        return tools
    at = tools.index("kestriv") + 1
    return tools[:at] + ["before"] + tools[at:]


def print_tables(results, pairs, warm_threads, before=False):
    print("Ratios: median time over the baseline's median (GNU find, unless "
          "the row names another), %d rounds, all output to /dev/null. "
          "(≠): selection differs, see the notes." % pairs)
    print()
    extra = " kestriv before |" if before else ""
    print("| query | entries | baseline ms | kestriv |%s kestriv --threads 1 "
          "| bfs | fd | raw walk | raw walk, %d threads "
          "| peak MiB kestriv /%s find / bfs / fd |"
          % (extra, warm_threads, " kestriv before /" if before else ""))
    print("|---|---:|---:|---:|%s---:|---:|---:|---:|---:|---|"
          % ("---:|" if before else ""))
    statuses = [row.label for row, _, _, _, _ in results if row.statuses]
    tools = with_before(["kestriv", "kestriv1", "bfs", "fd", "floor",
                         "floorN"], before)
    peaked = with_before(["kestriv", "base", "bfs", "fd"], before)
    for row, selected, notes, medians, peaks in results:
        peak = " / ".join(mib(peaks.get(t)) if t in row.commands else "—"
                          for t in peaked)
        print("| `%s` | %d | %.0f | %s | %s |" % (
            row.label, selected, medians["base"] * 1000,
            " | ".join(cell(t, row, notes, medians) for t in tools), peak))
    print()
    if statuses:
        print("In the rows %s the raw walk also reads every entry's status "
              "(-s)." % ", ".join("`%s`" % label for label in statuses))
        print()
    failed = False
    for row, _, notes, _, _ in results:
        failed = print_notes(row.label, notes, row) or failed
    return failed


def print_state_table(title, states, skipped, before, queries):
    """One table of tree states: medians in ms with the ratio to find's
    median; with `queries`, a column for each row's query and the entries
    kestriv selected (else those find lists), beside the raw walk with -s.
    Then the notes of every state but warm, which the first table has."""
    walk = "raw walk -s" if queries else "raw walk"
    print()
    print(title)
    print()
    print("| tree state | %sentries | rounds | find | bfs | fd | kestriv | "
          "%skestriv --threads 1 | %s, 1 thread | %s, parallel |"
          % ("query | " if queries else "",
             "kestriv before | " if before else "", walk, walk))
    print("|---|%s---:|---:|---:|---:|---:|---:|%s---:|---:|---:|"
          % ("---|" if queries else "", "---:|" if before else ""))
    tools = with_before(["base", "bfs", "fd", "kestriv", "kestriv1", "floor",
                         "floorN"], before)
    for label, (row, selected, entries, rounds, notes, medians) in states:
        query = "`%s` | " % row.query if queries else ""
        print("| %s (parallel: %d threads) | %s%d | %d | %s |" % (
            label, row.floor_threads, query,
            selected if queries else entries, rounds,
            " | ".join(ms_cell(t, row, notes, medians) for t in tools)))
    print()
    failed = False
    for label, (row, _, _, _, notes, _) in states:
        if label != "warm":
            failed = print_notes(row.label if queries else label, notes,
                                 row) or failed
    for label, reason in skipped:
        print("note: %s: skipped, %s" % (label, reason))
    return failed


def print_states(states, skipped, before=False):
    """The /n*.txt row in each tree state."""
    return print_state_table(
        "Tree states, `/n*.txt`: median ms (in brackets: over find's "
        "median), all output to /dev/null; \"entries\" is how many find "
        "lists below the tree.", states, skipped, before, queries=False)


def print_status_states(states, skipped, before=False):
    """The status queries in each tree state, beside the raw walk that
    reads every entry's status."""
    if not states:
        return False
    return print_state_table(
        "Tree states, the queries that read every entry's status: median "
        "ms (in brackets: over find's median), all output to /dev/null; "
        "\"entries\" is how many kestriv selected; the raw walk runs with "
        "-s.", states, skipped, before, queries=True)


def over_cell(tool, row, notes, medians, build="kestriv"):
    """A kestriv build's median (kestriv's, or the earlier build's) over a
    peer's."""
    if tool not in row.commands or build not in row.commands:
        return "—"
    text = "%.2f" % (medians[build] / medians[tool])
    return text + " (≠)" if tool in notes or build in notes else text


def print_over_peers(states, before=False):
    """kestriv's median over the parallel raw walk's, bfs's and fd's, for
    /n*.txt and the status queries in each tree state they were timed in;
    with the earlier build, its own over each peer right beside kestriv's."""
    print()
    print("kestriv over its peers: kestriv's median over the peer's, same "
          "run, from the tables above; the raw walk reads every entry's "
          "status (-s) for the queries that need them.")
    if before:
        print("\"before over\": the earlier build's median over the same "
              "peer's, same rounds.")
    print()
    peers = [("floorN", "raw walk, parallel"), ("bfs", "bfs"), ("fd", "fd")]
    builds = ["kestriv", "before"] if before else ["kestriv"]
    print("| tree state | query | %s |" % " | ".join(
        name if build == "kestriv" else "before over " + name
        for _, name in peers for build in builds))
    print("|---|---|%s" % ("---:|" * (len(peers) * len(builds))))
    for label, (row, _, _, _, notes, medians) in states:
        print("| %s (parallel: %d threads) | `%s` | %s |" % (
            label, row.floor_threads, row.query, " | ".join(
                over_cell(t, row, notes, medians, build)
                for t, _ in peers for build in builds)))


def print_commands(rows):
    print()
    print("Commands (in the row's tree):")
    for row in rows:
        print("  %s" % row.label)
        for tool, argv in row.commands.items():
            name = {"base": "baseline" if row.base_name != "find" else "find",
                    "floor": "raw walk",
                    "floorN": "raw walk -j"}.get(tool, tool)
            shown = [os.path.basename(argv[0])] + argv[1:]
            print("    %-11s %s" % (name, " ".join(
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
            "floor": os.path.abspath(floor)
            if floor and os.access(floor, os.X_OK) else None}


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
    parser.add_argument("--before", help="an earlier kestriv build, timed "
                        "beside the binary")
    parser.add_argument("--pairs", type=int, default=7)
    parser.add_argument("--warm-threads", type=int, default=2,
                        help="threads of the parallel raw walk, warm")
    parser.add_argument("--cold-pairs", type=int, default=3,
                        help="rounds of the cold row (0: none)")
    parser.add_argument("--share", help="a mounted network share to time "
                        "/n*.txt in")
    parser.add_argument("--share-label", default="network share",
                        help="what the share is, for the table")
    parser.add_argument("--share-skipped",
                        help="why there is no share (printed as a note)")
    parser.add_argument("--share-pairs", type=int, default=3,
                        help="rounds of the network-share row")
    parser.add_argument("--many-threads", type=int, default=16,
                        help="threads of the parallel raw walk, cold and on "
                        "the share")
    parser.add_argument("--no-extras", action="store_true",
                        help="skip the system-call summary")
    args = parser.parse_args()
    if args.pairs < 1 or args.share_pairs < 1 or args.cold_pairs < 0:
        sys.exit("pairs.py: at least one round, please")
    tools = find_tools(os.path.abspath(args.kestriv), args.floor)
    before = bool(args.before)
    if before:
        tools["before"] = os.path.abspath(args.before)
    trees = {"tree": args.tree, "chain": args.chain, "wide": args.wide}
    os.environ["LC_ALL"] = "C"  # the same byte-wise rules for every tool
    print("tools:   %s" % version_line(tools))
    print()
    # Warm the cache: one full walk of each tree before anything is timed.
    for tree in filter(None, trees.values()):
        capture(["find", "."], tree)
    row_defs = [row_def for row_def in ROWS if trees[row_def[1]]]
    total = tree_totals()
    results = bench(row_defs, trees, tools, args.pairs,
                    os.access("/usr/bin/time", os.X_OK), total,
                    args.warm_threads)
    states = [("warm", warm_state(results[0], args.pairs, total))]
    # The status queries: warm from the first table, cold timed below.
    status_states = [("warm", warm_state(result, args.pairs, total))
                     for result in results if result[0].statuses]
    status_defs = [row_def for row_def in row_defs
                   if row_def[5] == STATUSES]
    skipped, status_skipped = [], []
    cold_label = "cold, caches dropped before each run"
    why_not = "--cold-pairs 0" if args.cold_pairs == 0 else cold_unavailable()
    if why_not:
        print("pairs.py: no cold row: %s" % why_not, file=sys.stderr)
        skipped.append((cold_label, why_not))
        if status_defs:
            status_skipped.append((cold_label, why_not))
    else:
        states.append((cold_label, bench_state(
            ROWS[0], "cold, /n*.txt", args.tree, tools, args.cold_pairs,
            total, args.many_threads, drop_caches)))
        for row_def in status_defs:
            status_states.append((cold_label, bench_state(
                row_def, "cold, %s" % row_def[0], args.tree, tools,
                args.cold_pairs, total, args.many_threads, drop_caches)))
    if args.share:
        states.append((args.share_label, bench_state(
            ROWS[0], "network share, /n*.txt", args.share, tools,
            args.share_pairs, total, args.many_threads)))
    else:
        skipped.append((args.share_label, args.share_skipped or
                        "no --share given"))
    rows = [result[0] for result in results]
    failed = print_tables(results, args.pairs, args.warm_threads, before)
    failed = print_states(states, skipped, before) or failed
    failed = print_status_states(status_states, status_skipped,
                                 before) or failed
    # State by state, /n*.txt first in each.
    order = [label for label, _ in states]
    print_over_peers(sorted(states + status_states,
                            key=lambda state: order.index(state[0])), before)
    print_commands(rows + [state[0] for _, state in states[1:]] +
                   [state[0] for label, state in status_states
                    if label != "warm"])
    if not args.no_extras and shutil.which("strace"):
        print_strace(rows[0])
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
