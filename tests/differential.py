#!/usr/bin/env python3
"""Differential check: the POSIX build and the Windows build (under Wine)
search the same generated tree with the same queries and must select the
same entries. Path syntax is normalised; short names are not compared, as
each platform makes its own. A second tree holds names that code page 932
lacks, which the Windows build prints with "?", and a chain of directories
past 260 characters.

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

# Relative paths of files; each level of the chain is 10 characters long.
FOREIGN_FILES = [
    "e.txt", "\u00e9.txt", "cafe/in_plain.txt", "caf\u00e9/in_accent.txt",
    "\ud55c\uae00/inner.txt", "\U0001f600.txt", "mixed\ud55cx/deep.txt",
    "\u8868/sjis.txt", "\u00c5ngstr\u00f6m.TXT",
] + ["/".join("level%05d" % i for i in range(depth + 1)) + "/f.txt"
     for depth in range(40)]
FOREIGN_QUERIES = [["/n*.txt"], ["/n*"], ["/n*", "/ad"], ["/n*.TXT", "/r"]]


def as_printed(path):
    """A POSIX build's UTF-8 path as the Windows build prints it: code page
    932, "?" for each UTF-16 unit of a character the code page lacks."""
    out = b""
    for char in path.decode("utf-8"):
        try:
            out += char.encode("cp932")
        except UnicodeEncodeError:
            out += b"?" * (2 if ord(char) > 0xFFFF else 1)
    return out


def make_foreign_tree(root):
    for name in FOREIGN_FILES:
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "wb").close()


def selected(command, cwd, env=None, codec="utf-8"):
    """The set of entries a run prints, as relative paths with "/". The "\\"
    are replaced in the text's own code page, where a double-byte character
    may end in their byte."""
    proc = subprocess.run(command, cwd=cwd, env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=600)
    out = proc.stdout
    lines = out.rpartition(b"\r\n")[0].split(b"\r\n")
    paths = set()
    for line in lines:
        if not line or (line.startswith(b"/ ") and line.endswith(b" /")):
            continue
        path = line.decode(codec, "surrogateescape").replace("\\", "/")
        path = path.encode(codec, "surrogateescape")
        paths.add(path[2:] if path.startswith(b"./") else path)
    return proc.returncode, paths


def same(posix, windows, query, tree, printed):
    """Runs one query on both builds; `printed` turns a POSIX path into the
    bytes the Windows build prints for it."""
    args = query + ["."]
    code, paths = selected([posix] + args, tree)
    posix_result = code, {printed(path) for path in paths}
    windows_result = selected(e2e_support.tool_command(args), tree,
                              e2e_support.tool_environment(), "cp932")
    if posix_result == windows_result:
        print("same      %-32s %d entries" %
              (" ".join(query), len(posix_result[1])))
        return True
    print("DIFFERENT %s: exit %d/%d, only POSIX %s, only Windows %s" %
          (" ".join(query), posix_result[0], windows_result[0],
           sorted(posix_result[1] - windows_result[1])[:5],
           sorted(windows_result[1] - posix_result[1])[:5]))
    return False


def main():
    posix, windows = (os.path.abspath(p) for p in sys.argv[1:3])
    e2e_support.BINARY = windows
    e2e_support.PLATFORM = "win32"
    with tempfile.TemporaryDirectory(prefix="kestriv-diff-") as root:
        made = subprocess.run(
            [sys.executable, os.path.join(HERE, "..", "bench", "make_tree.py"),
             "--small", root], stdout=subprocess.PIPE, check=True)
        tree = made.stdout.decode().strip().split()[-1]
        failures = sum(not same(posix, windows, query, tree, lambda p: p)
                       for query in QUERIES)
        foreign = os.path.join(root, "foreign")
        make_foreign_tree(foreign)
        failures += sum(not same(posix, windows, query, foreign, as_printed)
                        for query in FOREIGN_QUERIES)
        total = len(QUERIES) + len(FOREIGN_QUERIES)
        print("%d passed, %d failed" % (total - failures, failures))
        return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
