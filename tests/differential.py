#!/usr/bin/env python3
"""Differential check: the POSIX build and the Windows build (under Wine)
search the same generated tree with the same queries and must select the
same entries. Path syntax is normalised; short names are not compared, as
each platform makes its own.

    tests/differential.py POSIX_BINARY WINDOWS_EXE
"""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import e2e_support  # noqa: E402

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


def selected(command, cwd, env=None):
    """The set of entries a run prints, as relative paths with "/"."""
    proc = subprocess.run(command, cwd=cwd, env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=600)
    out = proc.stdout
    lines = out.rpartition(b"\r\n")[0].split(b"\r\n")
    paths = set()
    for line in lines:
        if not line or (line.startswith(b"/ ") and line.endswith(b" /")):
            continue
        path = line.replace(b"\\", b"/")
        paths.add(path[2:] if path.startswith(b"./") else path)
    return proc.returncode, paths


def main():
    posix, windows = (os.path.abspath(p) for p in sys.argv[1:3])
    e2e_support.BINARY = windows
    e2e_support.PLATFORM = "win32"
    with tempfile.TemporaryDirectory(prefix="kestriv-diff-") as root:
        made = subprocess.run(
            [sys.executable, os.path.join(HERE, "..", "bench", "make_tree.py"),
             "--small", root], stdout=subprocess.PIPE, check=True)
        tree = made.stdout.decode().strip().split()[-1]
        failures = 0
        for query in QUERIES:
            args = query + ["."]
            posix_result = selected([posix] + args, tree)
            windows_result = selected(e2e_support.tool_command(args), tree,
                                      e2e_support.tool_environment())
            if posix_result == windows_result:
                print("same      %-32s %d entries" %
                      (" ".join(query), len(posix_result[1])))
                continue
            failures += 1
            print("DIFFERENT %s: exit %d/%d, only POSIX %s, only Windows %s" %
                  (" ".join(query), posix_result[0], windows_result[0],
                   sorted(posix_result[1] - windows_result[1])[:5],
                   sorted(windows_result[1] - posix_result[1])[:5]))
        print("%d passed, %d failed" % (len(QUERIES) - failures, failures))
        return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
