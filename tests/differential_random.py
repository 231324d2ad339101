"""Random trees and command lines for the differential check, restricted to
the cases where the POSIX build and the Windows build (under Wine) are meant
to select the same entries.

Trees (one random.Random per tree, seeded with "SEED:TREE", so any tree and
its command lines can be made again from the two numbers): directories up to
three deep; names of mixed-case ASCII, letters code page 932 has (Greek,
Cyrillic, full-width Latin, kanji, katakana with the second byte 0x5C) and
letters it lacks (accented Latin, Hangul, an emoji), with leading, trailing
and repeated dots and blanks inside; sizes on kilobyte boundaries (and
sparse files past 2 and 4 GiB); last-write times on local midnights (to the
half second), near the age boundaries of the /d values used, in the future;
read-only files and directories; links to files and to directories.

Command lines: one to three masks (several /n, or one /n with ",", ":" or
blanks), made of "*", "?", literals, dots and the tree's own names in other
cases; /r, /a, /s, /f, /d and /vs in any letter case, now and then an
invalid value; zero to two search paths (".", a directory typed in another
case, with "." or ".." steps, through a link, or one that does not exist).

Left out, because the builds differ there by design or because Wine is not
Windows:
- Two names of one directory equal but for case (or for trailing dots):
  Windows cannot hold both; Wine lists both but a plain mask finds one.
- Dangling links (Wine does not list them; the POSIX build lists them) and
  links to a directory above the link (Wine hides some of them, and each
  build ends a cycle its own way). Directory links point only to
  directories whose subtree holds no directory link, so nothing cycles.
- Masks where Wine's matching and Windows' differ. Wine 8 takes "*" and
  "?" as plain wildcards ("?" matches a "."; a trailing "." is dropped, so
  "*." is "*"; after "*" it seeks the mask's next unit literally, so "*?"
  wants a "?" in the name), while Windows turns "?" into DOS_QM, "*" before "." into
  DOS_STAR and "." before a wildcard into DOS_DOT (the rules the POSIX build
  follows). A mask is used only when both readings select the same names
  of the tree. Wine also matches masks against its own 8.3 aliases
  (ALPH~HOK.TEX for alpha.text), which the POSIX build has not: a mask that
  may select an alias but not the name is left out, and so is "~".
- Wildcard masks ending in "." or a blank; a plain mask equal to a name that
  ends in dots, or one with added dots where such a name exists (Windows
  cannot hold names ending in dots; Wine drops a mask's trailing dots).
- Characters code page 932 lacks in masks and typed paths (the Windows
  build receives its command line in code page 932): a mask takes "?" for
  each of their UTF-16 units, and no path is typed through such a name or
  through a directory whose name ends in dots.
- /vs output is compared only by its counts (each platform makes its own
  short names); "\\" and "/" are the same delimiter; a path the code page
  cannot spell is compared as the Windows build prints it, with "?".
- Times before 1980 (outside the MS-DOS range) and times within an hour of
  a /d boundary (the two runs are not at the same instant). Both builds run
  with TZ=Asia/Tokyo, a zone without daylight saving.
"""
import calendar
import os
import random
import shutil
import stat
import time

TZ = "Asia/Tokyo"
UTC_OFFSET = 9 * 3600

# Pieces of names: ASCII in mixed case, code page 932 letters (with case:
# Greek, Cyrillic, full width), kanji, katakana "so" (second byte 0x5C),
# and letters the code page lacks (accented Latin, Hangul, an emoji).
WORDS = [
    "alpha", "Beta", "README", "notes", "Tx", "data", "x", "A", "log",
    "Read me", "caf\u00e9", "\u00c5ngstr\u00f6m", "\u00e9", "\u8868",
    "\u30bd", "\u30bd\u30d5\u30c8", "\ud55c\uae00", "\U0001f600",
    "\u03b1\u03b2", "\u0391\u0392\u0393", "\u0434\u043e\u043c",
    "\u0414\u041e\u041c", "\uff41\uff42", "\uff21\uff22\uff23", "2019",
]
ENDINGS = [".txt", ".TXT", ".Txt", ".log", ".c", ".tar.gz", "", "", ".t",
           ".tx", ".text", ".\u8868", ".d\u00e9j\u00e0", ".LOG"]
SIZES_KB = [1, 2, 3, 5, 10]
BIG_SIZES = [2**31 - 1, 2**31, 2**32 - 1, 2**32, 2**32 + 1024, 3000000000]
AGE_DAYS = [1, 2, 7, 30, 400]
# Offsets from a local midnight, in seconds: MS-DOS times count in two
# seconds, rounded down.
MIDNIGHT_OFFSETS = [-2, -1.5, -1, -0.5, 0, 0.5, 1, 1.5, 1.999, 2, 3, 43200]
AGE_MARGINS = [-7200, -3600, 3600, 7200]
HASH_CHARS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"
INVALID_OPTIONS = ["/s0", "/d0", "/ax", "/f9913", "/a", "/v", "/q", "/s-0"]


def fold_unit(unit):
    """A UTF-16 unit folded to upper case as Windows compares names (simple
    mappings only; surrogates stay)."""
    if 0xD800 <= unit < 0xE000:
        return unit
    upper = chr(unit).upper()
    return ord(upper) if len(upper) == 1 and ord(upper) < 0x10000 else unit


def units(text):
    data = text.encode("utf-16-le")
    return [fold_unit(int.from_bytes(data[i:i + 2], "little"))
            for i in range(0, len(data), 2)]


def folded(text):
    return tuple(units(text))


def in_cp932(char):
    try:
        char.encode("cp932")
        return True
    except UnicodeEncodeError:
        return False


def has_wildcard(mask):
    return "*" in mask or "?" in mask


# --- How each side matches a mask ----------------------------------------

def wine_match(mask, name):
    """Wine 8's entry scan: after a run of "*" it jumps to the next unit
    equal to the mask's next unit (a "?" there is sought as a "?"), and on
    a mismatch starts again one unit further; "?" takes any one unit; a
    trailing run of "." and "*" in the mask matches nothing."""
    m, n = units(mask), units(name)
    star, qm = ord("*"), ord("?")
    i = j = 0
    joker = retry = None
    while j < len(n) and i < len(m):
        if m[i] == star:
            while i < len(m) and m[i] == star:
                i += 1
            if i == len(m):
                return True
            joker = i
            while j < len(n) and n[j] != m[i]:
                j += 1
            retry = j
        elif m[i] == qm:
            i, j = i + 1, j + 1
        elif m[i] == n[j]:
            i, j = i + 1, j + 1
            if i == len(m) and j != len(n) and joker is not None:
                i = joker
            elif i == len(m) and j == len(n):
                return True
        elif joker is not None:
            i, retry = joker, retry + 1
            j = retry
        else:
            return False
    while i < len(m) and m[i] in (ord("."), star):
        i += 1
    return i == len(m) and j == len(n)


def dos_match(mask, name):
    """Windows: trailing dots and blanks dropped, "*.*" is "*", "?" a DOS_QM
    (one unit other than ".", or nothing at a "." or the end), "*" before
    "." a DOS_STAR (never consumes the name's last "."), "." before "*" or
    "?" a DOS_DOT (a ".", or nothing at the end); a "*" left last by a
    trailing dot is a DOS_STAR too, as if the dot still followed it."""
    text = mask.rstrip(". ") or mask
    ends_in_dot = len(text) < len(mask) and mask.endswith(".")
    if text == "*.*":
        text, ends_in_dot = "*", False
    m, n = units(text), units(name)
    dot, star, qm = ord("."), ord("*"), ord("?")
    last_dot = max((j for j, u in enumerate(n) if u == dot), default=-1)
    memo = {}

    def at(i, j):
        key = (i, j)
        if key in memo:
            return memo[key]
        nxt = m[i + 1] if i + 1 < len(m) else (dot if ends_in_dot else None)
        if i == len(m):
            r = j == len(n)
        elif m[i] == star:
            dos_star = nxt == dot
            r = at(i + 1, j) or (j < len(n) and
                                 not (dos_star and j == last_dot) and
                                 at(i, j + 1))
        elif m[i] == qm:
            if j < len(n) and n[j] != dot:
                r = at(i + 1, j + 1)
            else:
                r = at(i + 1, j)
        elif m[i] == dot and nxt in (star, qm):
            if j < len(n) and n[j] == dot:
                r = at(i + 1, j + 1)
            else:
                r = j == len(n) and at(i + 1, j)
        else:
            r = j < len(n) and m[i] == n[j] and at(i + 1, j + 1)
        memo[key] = r
        return r
    return at(0, 0)


def alias_pattern(name):
    """The shape of Wine's 8.3 alias of `name`: up to four characters before
    the extension ("_" for what DOS names cannot hold), "~" up to the fifth
    place, three hash characters (None: any of HASH_CHARS), and the first
    three of the extension."""
    ext = None
    for p in range(1, len(name) - 1):
        if name[p] == ".":
            ext = p
    invalid = ' *?<>|"+=,;[].~'

    def dos(c):
        return "_" if ord(c) > 0x7F or c in invalid else c
    head = [dos(c) for c in name[:ext if ext is not None else len(name)][:4]]
    out = [fold_unit(ord(c)) for c in head + ["~"] * (5 - len(head))]
    out += [None, None, None]
    if ext is not None:
        out += [ord(".")] + [fold_unit(ord(dos(c)))
                             for c in name[ext + 1:ext + 4]]
    return out


def legal_8dot3(name):
    """Whether Wine keeps `name` as its own short name (no alias)."""
    if len(name) > 12 or name.startswith("."):
        return False
    if any(ord(c) > 0x7F or c in ' *?<>|"+=,;[]:' for c in name):
        return False
    if name.count(".") > 1:
        return False
    if "." not in name:
        return len(name) <= 8
    dot = name.index(".")
    return dot <= 8 and 1 < len(name) - dot < 5


def may_select_alias(mask, name):
    """Whether a plain glob (which selects whatever Wine's scan does) could
    select the alias of `name`, whatever its hash characters are."""
    if legal_8dot3(name):
        return False
    m, n = units(mask), alias_pattern(name)
    hashes = {ord(c) for c in HASH_CHARS}
    memo = {}

    def at(i, j):
        key = (i, j)
        if key not in memo:
            if i == len(m):
                r = j == len(n)
            elif m[i] == ord("*"):
                r = at(i + 1, j) or (j < len(n) and at(i, j + 1))
            elif j < len(n) and (m[i] == ord("?") or m[i] == n[j] or
                                 (n[j] is None and m[i] in hashes)):
                r = at(i + 1, j + 1)
            else:
                r = False
            memo[key] = r
        return memo[key]
    return at(0, 0)


# Verdicts of the models on cases seen in earlier runs: (mask, name, Wine
# selects, Windows selects, the mask is used).
MODEL_CASES = [
    ("?hid", ".hid", True, False, False),          # "?" and a "."
    ("*.tex", "alpha.text", False, False, False),  # Wine's alias ALPH~XXX.TEX
    ("?\uff42\uff23*?019", "\uff21\uff22\uff23 2019", False, True, False),
    ("*?mE??..TxT", "Read me\ud55c\uae00..TXT", False, True, False),
    ("*.", "a.b", True, False, False),             # Wine: "*." is "*"
    (".*.", ".a.b", True, False, False),           # only the last "*" a
    ("**.", "a.a", True, True, False),             # DOS star
    ("trail.", "trail.", False, False, False),      # a name ending in a dot
    ("*.txt", "a.b.txt", True, True, True),
    ("\u30bd*", "\u30bd\u30d5\u30c8.txt", True, True, True),
    ("x.*", "x", True, True, True),
]


def check_models():
    """The models still give the verdicts MODEL_CASES records; a list of
    the cases that differ."""
    wrong = []
    for mask, name, wine, windows, used in MODEL_CASES:
        plain = mask.rstrip(".") if not has_wildcard(mask) else mask
        got = (wine_match(plain, name), dos_match(mask, name),
               safe_mask(mask, [name]))
        if got != (wine, windows, used):
            wrong.append((mask, name, got))
    return wrong


def safe_mask(mask, names):
    """Whether both builds are meant to select the same names of `names`
    with `mask` (see the module's list of what is left out)."""
    if not mask or mask.endswith(" ") or "~" in mask:
        return False
    if has_wildcard(mask):
        if mask.endswith("."):
            return False
    else:
        base = folded(mask.rstrip("."))
        if any(n.endswith(".") and folded(n.rstrip(".")) == base
               for n in names):
            return False
    for name in names:
        wine = wine_match(mask.rstrip(".") if not has_wildcard(mask)
                          else mask, name)
        if wine != dos_match(mask, name):
            return False
        if not wine and may_select_alias(mask, name):
            return False
    return True


# --- Trees ----------------------------------------------------------------

def local_midnight(day):
    return calendar.timegm(day + (0, 0, 0)) - UTC_OFFSET


def random_day(rng):
    t = rng.randrange(calendar.timegm((1981, 1, 1, 0, 0, 0)),
                      calendar.timegm((2078, 12, 1, 0, 0, 0)))
    return tuple(time.gmtime(t)[:3])


def random_name(rng):
    stem = rng.choice(WORDS)
    if rng.random() < 0.3:
        stem += rng.choice(["_", "-", "", " ", "."]) + rng.choice(WORDS)
    if rng.random() < 0.3:
        stem = "".join(c.swapcase() if rng.random() < 0.5 else c
                       for c in stem)
    name = stem + rng.choice(ENDINGS)
    r = rng.random()
    if r < 0.08:
        name = "." + name
    elif r < 0.12:
        name = ".." + name
    elif r < 0.2:
        name += rng.choice([".", ".."])
    elif r < 0.25:
        name = name.replace(".", "..", 1) if "." in name else name + ".a.b"
    return name


class Tree:
    """A random tree: `dirs` (relative paths, "" the root), `files`
    {path: (size, time, read_only)}, `dir_times`, `read_only_dirs`,
    `links` {path: target relative to the link's directory}."""

    def __init__(self, rng, now):
        self.rng = rng
        self.now = now
        self.days = [random_day(rng) for _ in range(3)]
        self.dirs = [""]
        self.keys = {"": set()}
        self.files = {}
        self.links = {}
        self.link_dirs = {}   # link path -> target directory (tree path)
        self.dir_times = {}
        self.read_only_dirs = set()
        for _ in range(rng.randint(3, 8)):
            parent = rng.choice([d for d in self.dirs if d.count("/") < 2])
            path = self.new_name(parent)
            if path:
                self.dirs.append(path)
                self.keys[path] = set()
        for _ in range(rng.randint(8, 22)):
            path = self.new_name(rng.choice(self.dirs))
            if path:
                self.files[path] = (self.random_size(), self.random_time(),
                                    rng.random() < 0.12)
        for d in self.dirs[1:]:
            self.dir_times[d] = self.random_time()
            if rng.random() < 0.1:
                self.read_only_dirs.add(d)
        for _ in range(rng.randint(0, 3)):
            self.add_link()

    def new_name(self, parent):
        for _ in range(20):
            name = random_name(self.rng)
            key = folded(name.rstrip("."))
            if key and key not in self.keys[parent] and \
                    len(name.encode()) < 100:
                self.keys[parent].add(key)
                return parent + "/" + name if parent else name
        return None

    def random_size(self):
        r = self.rng.random()
        if r < 0.03:
            return self.rng.choice(BIG_SIZES)
        if r < 0.15:
            return 0
        return self.rng.choice(SIZES_KB) * 1024 + self.rng.choice([-1, 0, 1])

    def random_time(self):
        r = self.rng.random()
        if r < 0.55:
            return (local_midnight(self.rng.choice(self.days)) +
                    self.rng.choice(MIDNIGHT_OFFSETS))
        if r < 0.85:
            return (self.now - self.rng.choice(AGE_DAYS) * 86400 +
                    self.rng.choice(AGE_MARGINS))
        if r < 0.9:
            return self.now + self.rng.choice([7200, 3 * 86400])
        return self.rng.uniform(calendar.timegm((1981, 1, 1, 0, 0, 0)),
                                calendar.timegm((2079, 1, 1, 0, 0, 0)))

    def below(self, path, top):
        return path == top or path.startswith(top + "/") if top else True

    def add_link(self):
        rng = self.rng
        # Not inside a directory a link leads to: nothing then cycles.
        parents = [d for d in self.dirs
                   if not any(self.below(d, t)
                              for t in self.link_dirs.values())]
        parent = rng.choice(parents)
        if rng.random() < 0.5 and self.files:
            target = rng.choice(sorted(self.files))
            is_dir = False
        else:
            targets = [d for d in self.dirs[1:]
                       if not self.below(parent, d) and
                       not any(self.below(l, d) for l in self.link_dirs)]
            if not targets:
                return
            target = rng.choice(targets)
            is_dir = True
        path = self.new_name(parent)
        if not path:
            return
        self.links[path] = os.path.relpath(target, parent or ".")
        if is_dir:
            self.link_dirs[path] = target

    def names(self):
        return sorted({p.rsplit("/", 1)[-1] for p in
                       self.dirs[1:] + list(self.files) + list(self.links)})

    def create(self, root):
        for d in self.dirs[1:]:
            os.mkdir(os.path.join(root, d))
        for path, (size, t, _) in self.files.items():
            with open(os.path.join(root, path), "wb") as f:
                f.truncate(size)
            os.utime(os.path.join(root, path), ns=(int(t * 1e9),) * 2)
        for path, target in self.links.items():
            os.symlink(target, os.path.join(root, path))
        for d in sorted(self.dirs[1:], key=lambda p: -p.count("/")):
            t = int(self.dir_times[d] * 1e9)
            os.utime(os.path.join(root, d), ns=(t, t))
        for path, (_, _, read_only) in self.files.items():
            if read_only:
                os.chmod(os.path.join(root, path), 0o444)
        for d in self.read_only_dirs:
            os.chmod(os.path.join(root, d), 0o555)

    def describe(self):
        lines = []
        for d in self.dirs[1:]:
            lines.append("dir  %r time %.3f%s" % (
                d, self.dir_times[d],
                " read-only" if d in self.read_only_dirs else ""))
        for p, (size, t, ro) in sorted(self.files.items()):
            lines.append("file %r size %d time %.3f%s" % (
                p, size, t, " read-only" if ro else ""))
        for p, target in sorted(self.links.items()):
            lines.append("link %r -> %r" % (p, target))
        return "\n".join(lines)


def remove_tree(root):
    for top, dirs, _ in os.walk(root):
        for d in dirs:
            path = os.path.join(top, d)
            if not os.path.islink(path):
                os.chmod(path, stat.S_IRWXU)
    shutil.rmtree(root)


# --- Command lines --------------------------------------------------------

def typed(text, rng):
    """`text` in a random mix of cases."""
    return "".join(c.swapcase() if rng.random() < 0.4 else c for c in text)


def as_mask_text(name):
    """A name as a mask the command line can carry: "?" for each UTF-16
    unit of a character code page 932 lacks, and for the separators."""
    out = ""
    for c in name:
        if c in " ,:" or not in_cp932(c):
            out += "?" * (2 if ord(c) > 0xFFFF else 1)
        else:
            out += c
    return out


def random_mask(rng, names):
    for _ in range(30):
        name = rng.choice(names)
        r = rng.random()
        if r < 0.2:
            mask = rng.choice(["*", "*.*", "*.txt", "*.TXT", "*.t?t", "?*",
                               "*a*", "*.?", "*.*.*", "?", "??", "*.log",
                               "*.tar.*", "*.", ".*", "*.\u8868", "*\u30bd*"])
        elif r < 0.45:
            mask = typed(as_mask_text(name), rng)
            if rng.random() < 0.2:
                mask += rng.choice([".", ".."])
        elif r < 0.8:
            chars = list(as_mask_text(name))
            for _ in range(rng.randint(1, 3)):
                i = rng.randrange(len(chars))
                chars[i] = "?"
            if rng.random() < 0.5:
                i = rng.randrange(len(chars))
                j = rng.randint(i, min(len(chars), i + 4))
                chars[i:j] = ["*"]
            mask = typed("".join(chars), rng)
        else:
            text = as_mask_text(name)
            cut = rng.randint(0, len(text))
            mask = typed(text[:cut] + "*" if rng.random() < 0.5
                         else "*" + text[cut:], rng)
        if safe_mask(mask, names):
            return mask
    return "*"


def mask_options(rng, names):
    masks = [random_mask(rng, names) for _ in range(rng.choice([1, 1, 2, 3]))]
    if len(masks) > 1 and rng.random() < 0.5:
        return ["/" + rng.choice("nN") +
                rng.choice([",", ":", " "]).join(masks)]
    return ["/" + rng.choice("nN") + m for m in masks]


def date_text(day, shift, rng):
    t = calendar.timegm(day + (12, 0, 0)) + shift * 86400
    y, m, d = time.gmtime(t)[:3]
    return "%02d%02d%02d" % (y % 100, m, d)


def filter_options(rng, tree):
    options = []
    if rng.random() < 0.3:
        options.append(rng.choice(["/r", "/R"]))
    for _ in range(rng.choice([0, 0, 1, 1, 2])):
        options.append("/" + rng.choice("aA") + rng.choice(["", "-"]) +
                       rng.choice("rhsadRHSAD"))
    if rng.random() < 0.25:
        n, m = rng.choice(SIZES_KB + [0]), rng.choice(SIZES_KB)
        if rng.random() < 0.1:
            n = rng.choice([2097151, 2097152, 4194303, 4194304, 4194305])
        options.append(rng.choice(["/s%d" % max(n, 1), "/s-%d" % m,
                                   "/S%d-%d" % (n, m)]))
    if rng.random() < 0.25:
        a = date_text(rng.choice(tree.days), rng.choice([-1, 0, 0, 1]), rng)
        b = date_text(rng.choice(tree.days), rng.choice([-1, 0, 0, 1]), rng)
        options.append(rng.choice(["/f" + a, "/f-" + b, "/F%s-%s" % (a, b)]))
    if rng.random() < 0.2:
        options.append(rng.choice(["/d", "/D"]) + rng.choice(["", "-"]) +
                       str(rng.choice(AGE_DAYS)))
    if rng.random() < 0.05:
        options.append(rng.choice(["/vs", "/VS"]))
    if rng.random() < 0.03:
        options.append(rng.choice(INVALID_OPTIONS))
    return options


def typeable(name):
    return all(in_cp932(c) for c in name) and not name.endswith(".")


def search_paths(rng, tree):
    paths = []
    for _ in range(rng.choice([0, 0, 1, 1, 2])):
        r = rng.random()
        dirs = [d for d in tree.dirs[1:] + sorted(tree.link_dirs)
                if all(typeable(part) for part in d.split("/"))]
        if r < 0.2 or not dirs:
            paths.append(".")
        elif r < 0.3:
            paths.append(rng.choice(["nowhere", "Nope/x"]))
        else:
            # ".." after a link is left out: Windows takes it by the text,
            # the POSIX build by the directory the link leads to.
            chosen = rng.choice(dirs)
            parts = [typed(p, rng) for p in chosen.split("/")]
            if rng.random() < 0.15:
                parts.insert(rng.randint(0, len(parts)), ".")
            if rng.random() < 0.15 and chosen in tree.dirs:
                parts.append("..")
            if rng.random() < 0.1 and not parts[-1].startswith("."):
                parts[-1] += "."
            paths.append("/".join(parts))
    return paths


def random_command(rng, tree):
    names = tree.names()
    options = mask_options(rng, names) + filter_options(rng, tree)
    rng.shuffle(options)
    return options + search_paths(rng, tree)


def tree_and_commands(seed, index, count, now):
    """Tree `index` of run `seed` and its `count` command lines."""
    rng = random.Random("%s:%d" % (seed, index))
    tree = Tree(rng, now)
    return tree, [random_command(rng, tree) for _ in range(count)]
