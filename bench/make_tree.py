#!/usr/bin/env python3
"""Generates the benchmark trees: the same directories, names, sizes and
times on every run (fixed seed), so timings and match counts compare across
runs.

Three kinds, each in its own directory under <root>:
  tree   20,000 directories and 180,000 sparse files, up to 9 levels deep;
  chain  a chain of 2,000 nested directories with two files on each level,
         its deepest paths three times PATH_MAX long;
  wide   100,000 empty files in one directory.
Each is built in <root>/<kind>.partial and renamed to <root>/<kind> when
done; then a record of the generator version and scale is written
(<root>/generator.json for the tree, <root>/<kind>.json for the others). A
directory whose record matches is reused as it is. The chain is made and
removed with calls relative to directory descriptors, one level at a time,
since its paths are too long for the path-taking calls. With
--share-subtree it prints, instead of the tree's path, the path of the
directory below it that the benchmark reads over a network share.
"""
import argparse
import calendar
import json
import os
import random
import stat
import sys

VERSION = 2
SEED = 20240607
DEFAULT_ROOT = "/tmp/kestriv-bench-tree"
MARKERS = {"tree": "generator.json", "chain": "chain.json",
           "wide": "wide.json"}

# Scales: directories, files, directories that get a block of files, and the
# size of that block.
SCALES = {
    "full": {"dirs": 20000, "files": 180000, "big_dirs": 5, "big_files": 2000},
    "small": {"dirs": 200, "files": 1800, "big_dirs": 2, "big_files": 150},
}
# The chain: levels, each a directory named like "d0042" (6 characters with
# the delimiter, so 1,000 levels already pass PATH_MAX) holding one .txt
# file, one .log file and the next level.
CHAIN_SCALES = {"full": {"levels": 2000}, "small": {"levels": 1000}}
# The wide directory: this many files, named like the tree's files.
WIDE_SCALES = {"full": {"files": 100000}, "small": {"files": 5000}}
WIDE_SEED = 20240608
MAX_DEPTH = 8

# File name endings with their weights (per cent). The three spellings of
# .txt together make 15 %; the decoys look like .txt to a careless matcher
# but are not matched by *.txt.
ENDINGS = [
    (".txt", 9), (".TXT", 3), (".Txt", 3),
    (".log", 9), (".LOG", 1),
    (".cpp", 9), (".Cpp", 1),
    (".h", 10),
    ("", 10),
    (".txt.bak", 2), ("_txt", 1), (".tx", 1), (".text", 1),
    (".json", 5), (".md", 4), (".py", 5), (".html", 3), (".csv", 3),
    (".dat", 4), (".o", 6), (".png", 5), (".xml", 5),
]
# Directory names occasionally carry an ending too, so that masks select
# directories as well as files.
DIR_ENDINGS = [("", 94), (".txt", 2), (".d", 2), (".log", 1), (".CPP", 1)]

WORDS = (
    "alpha beta gamma delta report notes main util config build src lib "
    "data cache temp archive index readme module test plan draft final "
    "backup image photo music video docs work project client server core "
    "common shared vendor tools scripts include output input logs kestrel "
    "river stone maple cedar birch willow ember frost harbor summit"
).split()

SPACE_SHARE = 0.06      # names with a blank inside
DOT_FILE_SHARE = 0.03   # file names that begin with "."
DOT_DIR_SHARE = 0.02    # directory names that begin with "."
EMPTY_SHARE = 0.15      # files of size 0; the rest are 1..10240 bytes
MAX_SIZE = 10 * 1024

TIME_FROM = calendar.timegm((2015, 1, 1, 0, 0, 0))
TIME_TO = calendar.timegm((2026, 1, 1, 0, 0, 0))
# No entry is dated within this window around 2020-01-01 00:00, so a cut-off
# there gives the same set in every time zone and at any time resolution.
CUTOFF = calendar.timegm((2020, 1, 1, 0, 0, 0))
CUTOFF_GUARD = 3 * 24 * 3600


def weighted(rng, table):
    """One value of `table` (value, weight) drawn by weight."""
    values = [v for v, _ in table]
    weights = [w for _, w in table]
    return rng.choices(values, weights)[0]


def random_time(rng):
    """A whole even second in 2015..2025, away from the cut-off window."""
    while True:
        t = TIME_FROM + 2 * rng.randrange((TIME_TO - TIME_FROM) // 2)
        if abs(t - CUTOFF) > CUTOFF_GUARD:
            return t


def stem(rng, dot_share):
    """A name without ending; sometimes with a blank, sometimes dotted."""
    word = rng.choice(WORDS)
    if rng.random() < 0.5:
        word = word.capitalize()
    if rng.random() < SPACE_SHARE:
        word += " " + rng.choice(WORDS)
    if rng.random() < 0.7:
        word += str(rng.randrange(1000))
    if rng.random() < dot_share:
        word = "." + word
    return word


def unique(taken, base, ending):
    """base + ending, or with a numeric tail on base when a sibling already
    holds that name, letter case ignored (the tool matches and resolves names
    as Windows does)."""
    name = base + ending
    tail = 1
    while name.lower() in taken:
        name = "%s_%d%s" % (base, tail, ending)
        tail += 1
    taken.add(name.lower())
    return name


def plan_dirs(rng, count):
    """Directories as (parent index, depth, name); index 0 is the root."""
    dirs = [(None, 0, "")]
    taken = [set()]
    open_dirs = [0]  # directories that may still get children
    for _ in range(count):
        # Half the time a recently made directory, so that the tree grows deep.
        if rng.random() < 0.5:
            back = min(int(rng.expovariate(1 / 40)), len(open_dirs) - 1)
            pick = open_dirs[-1 - back]
        else:
            pick = rng.choice(open_dirs)
        depth = dirs[pick][1] + 1
        name = unique(taken[pick], stem(rng, DOT_DIR_SHARE),
                      weighted(rng, DIR_ENDINGS))
        dirs.append((pick, depth, name))
        taken.append(set())
        if depth < MAX_DEPTH:
            open_dirs.append(len(dirs) - 1)
    return dirs, taken


def file_name(rng):
    """A file name as (base, ending)."""
    ending = weighted(rng, ENDINGS)
    if rng.random() < DOT_FILE_SHARE:
        # Dot files: some are nothing but a dot and an ending (".txt").
        if ending.startswith(".") and rng.random() < 0.3:
            return "", ending
        return "." + stem(rng, 0), ending
    return stem(rng, 0), ending


def plan_files(rng, dirs, taken, scale):
    """Files as (dir index, name, size, time)."""
    homes = []
    big = rng.sample(range(1, len(dirs)), scale["big_dirs"])
    for d in big:
        homes += [d] * scale["big_files"]
    rest = scale["files"] - len(homes)
    homes += [rng.randrange(len(dirs)) for _ in range(rest)]
    files = []
    for d in homes:
        name = unique(taken[d], *file_name(rng))
        size = 0 if rng.random() < EMPTY_SHARE else rng.randint(1, MAX_SIZE)
        files.append((d, name, size, random_time(rng)))
    return files


def build(base, dirs, files, rng):
    paths = [base]
    for parent, _, name in dirs[1:]:
        path = os.path.join(paths[parent], name)
        os.mkdir(path)
        paths.append(path)
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL
    for d, name, size, t in files:
        fd = os.open(os.path.join(paths[d], name), flags, 0o644)
        try:
            if size:
                os.ftruncate(fd, size)  # sparse: no data blocks written
        finally:
            os.close(fd)
        os.utime(os.path.join(paths[d], name), (t, t))
    # Directory times last: creating entries changes a directory's time.
    for path in paths:
        t = random_time(rng)
        os.utime(path, (t, t))


DIR_FLAGS = os.O_RDONLY | os.O_DIRECTORY | os.O_NOFOLLOW | os.O_CLOEXEC
FILE_FLAGS = os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC


def create_file(name, dir_fd):
    os.close(os.open(name, FILE_FLAGS, 0o644, dir_fd=dir_fd))


def build_chain(base, levels):
    """`levels` nested directories under base, each with two files; only
    one directory is open at a time, and every call is relative to it."""
    os.mkdir(base)
    fd = os.open(base, DIR_FLAGS)
    try:
        for level in range(levels):
            create_file("n%04d.txt" % level, fd)
            create_file("n%04d.log" % level, fd)
            name = "d%04d" % level
            os.mkdir(name, dir_fd=fd)
            below = os.open(name, DIR_FLAGS, dir_fd=fd)
            os.close(fd)
            fd = below
    finally:
        os.close(fd)


def build_wide(base, count):
    """`count` empty files in base, named like the tree's files."""
    rng = random.Random(WIDE_SEED)
    taken = set()
    os.mkdir(base)
    fd = os.open(base, DIR_FLAGS)
    try:
        for _ in range(count):
            create_file(unique(taken, *file_name(rng)), fd)
    finally:
        os.close(fd)


def remove_tree(path):
    """Removes a directory tree of any depth: it keeps one directory open,
    goes down into the first subdirectory it finds, and once a directory is
    empty goes back up through ".." and removes it. Neither the length of
    the paths nor Python's recursion limit bounds the depth."""
    parent = os.open(os.path.dirname(path) or ".", DIR_FLAGS)
    names = [os.path.basename(path)]
    fd = os.open(names[0], DIR_FLAGS, dir_fd=parent)
    try:
        while names:
            with os.scandir(fd) as listing:
                entries = list(listing)
            subdirs = [e.name for e in entries
                       if e.is_dir(follow_symlinks=False)]
            for entry in entries:
                if entry.name not in subdirs:
                    os.unlink(entry.name, dir_fd=fd)
            if subdirs:
                below = os.open(subdirs[0], DIR_FLAGS, dir_fd=fd)
                os.close(fd)
                fd = below
                names.append(subdirs[0])
                continue
            up = os.open("..", DIR_FLAGS, dir_fd=fd) if len(names) > 1 \
                else os.dup(parent)
            os.close(fd)
            fd = up
            os.rmdir(names.pop(), dir_fd=fd)
    finally:
        os.close(fd)
        os.close(parent)


def remove(path):
    """Removes whatever is at path: a directory tree, a file or nothing."""
    try:
        mode = os.lstat(path).st_mode
    except FileNotFoundError:
        return
    if stat.S_ISDIR(mode):
        remove_tree(path)
    else:
        os.remove(path)


def read_marker(path):
    try:
        with open(path) as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def generate(kind, scale_name, partial):
    """Builds one kind of tree at the scale in `partial`."""
    if kind == "tree":
        scale = SCALES[scale_name]
        rng = random.Random(SEED)
        dirs, taken = plan_dirs(rng, scale["dirs"])
        files = plan_files(rng, dirs, taken, scale)
        os.mkdir(partial)
        build(partial, dirs, files, rng)
    elif kind == "chain":
        build_chain(partial, CHAIN_SCALES[scale_name]["levels"])
    else:
        build_wide(partial, WIDE_SCALES[scale_name]["files"])


def expected_record(kind, scale_name):
    """The record a finished tree of this kind and scale carries."""
    if kind == "tree":
        return {"version": VERSION, "seed": SEED, "scale": scale_name,
                **SCALES[scale_name]}
    if kind == "chain":
        return {"version": VERSION, "scale": scale_name,
                **CHAIN_SCALES[scale_name]}
    return {"version": VERSION, "seed": WIDE_SEED, "scale": scale_name,
            **WIDE_SCALES[scale_name]}


def ours():
    """The names this generator may create under its root."""
    names = set(MARKERS.values())
    for kind in MARKERS:
        names |= {kind, kind + ".partial"}
    return names


def make_tree(root, scale_name, kind="tree"):
    """The path of the tree of this kind under root, generated unless a
    finished one with the same record is there; and whether it was made."""
    tree = os.path.join(root, kind)
    marker = os.path.join(root, MARKERS[kind])
    if read_marker(marker) == expected_record(kind, scale_name) and \
            os.path.isdir(tree):
        return tree, False
    if os.path.exists(root):
        strangers = set(os.listdir(root)) - ours()
        if strangers:
            sys.exit("make_tree: %s holds other files (%s); not touching it"
                     % (root, ", ".join(sorted(strangers))))
    os.makedirs(root, exist_ok=True)
    for old in (marker, tree, tree + ".partial"):
        remove(old)
    generate(kind, scale_name, tree + ".partial")
    os.rename(tree + ".partial", tree)
    with open(marker, "w") as f:
        json.dump(expected_record(kind, scale_name), f)
    return tree, True


def share_subtree(tree):
    """The directory just below the tree whose subtree holds the number of
    entries nearest a tenth of the tree's: the part the benchmark reads over
    a network share, where a walk of the whole tree would take minutes."""
    below = {}
    for top, dirs, files in os.walk(tree, topdown=False):
        below[top] = len(dirs) + len(files) + sum(
            below.get(os.path.join(top, d), 0) for d in dirs)
    target = below[tree] / 10
    first = [os.path.join(tree, d) for d in sorted(os.listdir(tree))
             if os.path.join(tree, d) in below]
    return min(first, key=lambda d: abs(below[d] - target))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("root", nargs="?", default=DEFAULT_ROOT,
                        help="directory to hold the tree (default %(default)s)")
    parser.add_argument("--small", action="store_true",
                        help="smaller trees, for a smoke run")
    parser.add_argument("--kind", choices=sorted(MARKERS), default="tree",
                        help="which tree to make (default %(default)s)")
    parser.add_argument("--share-subtree", action="store_true",
                        help="print, instead of the tree, its directory "
                        "that the network-share row reads")
    args = parser.parse_args()
    tree, made = make_tree(os.path.abspath(args.root),
                           "small" if args.small else "full", args.kind)
    print(share_subtree(tree) if args.share_subtree else tree)
    print("make_tree: %s %s" % ("generated" if made else "reused", tree),
          file=sys.stderr)


if __name__ == "__main__":
    main()
