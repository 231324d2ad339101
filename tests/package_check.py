#!/usr/bin/env python3
"""Checks what `./test.sh package` made: the files cmake --install puts
under a prefix, the same files in the .deb and the tarball, the version in
each of them, the completions in their shells, and the Windows zip with the
exe's version resource.

    tests/package_check.py POSIX_BUILD_DIR WIN32_BUILD_DIR INSTALL_PREFIX
"""
import glob
import gzip
import io
import os
import re
import struct
import subprocess
import sys
import tarfile
import zipfile

posix_dir, win32_dir, prefix = sys.argv[1:4]
root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
cache = open(os.path.join(posix_dir, "CMakeCache.txt")).read()
version = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.*)$", cache, re.M)[1]

# Installed files, relative to the prefix (/usr in the .deb).
FILES = [
    "bin/kestriv",
    "share/man/man1/kestriv.1.gz",
    "share/doc/kestriv/copyright",
    "share/doc/kestriv/changelog.gz",
    "share/bash-completion/completions/kestriv",
    "share/zsh/vendor-completions/_kestriv",
    "share/fish/vendor_completions.d/kestriv.fish",
]
LONG_OPTIONS = ["--help", "--version", "--print0", "--bare", "--exclude",
                "--max-depth", "--threads", "--utf8", "--"]
SLASH_OPTIONS = ["/n", "/a", "/s", "/f", "/d", "/vs", "/r"]


def fail(text):
    sys.exit("package check: " + text)


def members(tar):
    """A tarball's regular files: {path under the prefix: bytes}."""
    with tar:
        return {re.sub(r"^(\./usr|kestriv-[^/]*)/", "", m.name):
                tar.extractfile(m).read() for m in tar if m.isfile()}


deb = glob.glob(os.path.join(posix_dir, "kestriv_%s_*.deb" % version))[0]
trees = {
    "cmake --install": {f: open(os.path.join(prefix, f), "rb").read()
                        for f in FILES
                        if os.path.isfile(os.path.join(prefix, f))},
    "the .deb": members(tarfile.open(fileobj=io.BytesIO(subprocess.run(
        ["dpkg-deb", "--fsys-tarfile", deb], capture_output=True,
        check=True).stdout))),
    "the tarball": members(tarfile.open(glob.glob(os.path.join(
        posix_dir, "kestriv-%s-*.tar.gz" % version))[0])),
}
for name, tree in trees.items():
    missing = [f for f in FILES if f not in tree]
    if missing:
        fail("%s lacks %s" % (name, ", ".join(missing)))
files = trees["the .deb"]

field = subprocess.run(["dpkg-deb", "-f", deb, "Version"], capture_output=True,
                       text=True, check=True).stdout.strip()
manual = gzip.decompress(files["share/man/man1/kestriv.1.gz"]).decode()
changelog = gzip.decompress(files["share/doc/kestriv/changelog.gz"]).decode()
released = [v for v, dist in re.findall(r"^kestriv \(([^)]+)\) ([^;]+);",
                                        changelog, re.M) if dist != "UNRELEASED"]
license = open(os.path.join(root, "LICENSE")).read()
terms = license[license.index("\n\n", license.index("Copyright")):].split()
copyright = files["share/doc/kestriv/copyright"].decode()
checks = [
    (field == version, "the .deb's version is %s, not %s" % (field, version)),
    (manual.startswith('.TH KESTRIV 1 "" "kestriv %s"' % version),
     "the manual page's header lacks the version"),
    ("@" not in manual, "a placeholder is left in the manual page"),
    (released[:1] == [version],
     "the changelog's latest release is %s, not %s" % (released[:1], version)),
    (" ".join(copyright.replace("\n .\n", "\n").split()).endswith(
        " ".join(terms)), "the copyright file lacks LICENSE's terms"),
]
for ok, text in checks:
    if not ok:
        fail(text)

# The completions in their shells, from the installed files.
completions = {shell: os.path.abspath(os.path.join(prefix, f)) for shell, f in [
    ("bash", FILES[4]), ("zsh", FILES[5]), ("fish", FILES[6])]}
for shell, path in completions.items():
    text = open(path).read()
    if shell == "fish":  # -l help is --help
        text = re.sub(r"-l (\w+)", r"--\1", text)
    absent = [o for o in LONG_OPTIONS + SLASH_OPTIONS
              if not re.search(r"(?<![\w/-])%s(?![\w-])" % re.escape(o), text)]
    if absent:
        fail("the %s completion lacks %s" % (shell, " ".join(absent)))
# zsh completes in a terminal: an interactive zsh on a pseudo-terminal
# gets the words and a Tab; the listing names each candidate before " -- ".
zsh = r'''zmodload zsh/zpty; zpty z zsh -f -i
zpty -w z "fpath=(${1:h} \$fpath); autoload -U compinit; compinit -u -D
PS1='<RE''ADY>'"; zpty -r z out '*<READY>*'
zpty -w -n z "kestriv $2"$'\t\C-u'"print '<DO''NE>'"$'\n'
zpty -r z out '*<DONE>*'; print -r -- "$out"; zpty -d z'''
for word, expected in [("--", LONG_OPTIONS), ("/", SLASH_OPTIONS)]:
    out = subprocess.run(["zsh", "-f", "-c", zsh, "zsh", completions["zsh"],
                          word], capture_output=True, text=True, timeout=60)
    got = re.findall(r"^(\S+) +-- ", re.sub(r"\x1b\[[0-9;?]*[a-zA-Z]", "",
                                             out.stdout), re.M)
    if sorted(got) != sorted(expected):
        fail("zsh completes %r as %r, not %r" % (word, got, expected))
tree = os.path.abspath(os.path.join(prefix, "tree"))
os.makedirs(os.path.join(tree, "Data"), exist_ok=True)
os.makedirs(os.path.join(tree, "Dir One"), exist_ok=True)
# (the words typed, what completes them); the last word is being typed.
CASES = [
    (["--"], LONG_OPTIONS),
    (["-"], LONG_OPTIONS),
    (["/"], SLASH_OPTIONS),
    (["/v"], ["/vs"]),
    (["D"], ["Data", "Dir One"]),
    (["--", "Di"], ["Dir One"]),
    (["--threads", ""], []),
    (["--exclude", ""], []),
    (["--max-depth", "2", "--exclude", "."], []),
    (["--", tree + "/D"], [tree + "/Data", tree + "/Dir One"]),
]
bash = r'''source "$1"; shift; COMP_WORDS=(kestriv "$@")
COMP_CWORD=$#; _kestriv; printf '%s\n' "${COMPREPLY[@]}"'''
for words, expected in CASES:
    run = subprocess.run(["bash", "-c", bash, "bash", completions["bash"]] +
                         words, capture_output=True, text=True, cwd=tree)
    got = sorted(line.rstrip("/") for line in run.stdout.splitlines() if line)
    if run.returncode or got != sorted(expected):
        fail("bash completes %r as %r, not %r %s" % (words, got, expected,
                                                     run.stderr))
    line = " ".join(["kestriv"] + [w.replace(" ", "\\ ") for w in words])
    run = subprocess.run(["fish", "--no-config", "-c", 'source "$argv[1]"; '
                          'complete -C "$argv[2]"', completions["fish"], line],
                         capture_output=True, text=True, cwd=tree)
    got = sorted(c.split("\t")[0].rstrip("/") for c in run.stdout.splitlines())
    if run.returncode or got != sorted(expected):
        fail("fish completes %r as %r, not %r %s" % (words, got, expected,
                                                     run.stderr))


def version_resource(exe):
    """The VS_VERSIONINFO tree of a PE file: (key, value, children)."""
    pe = struct.unpack_from("<I", exe, 0x3C)[0]
    sections, optional = struct.unpack_from("<H12xH", exe, pe + 6)
    table = pe + 24 + optional
    for i in range(sections):
        name, _, rva, _, raw = struct.unpack_from("<8sIIII", exe, table + 40 * i)
        if name.rstrip(b"\0") == b".rsrc":
            break
    else:
        fail("kestriv.exe has no resources")

    def entries(offset):  # a resource directory's (id, target) pairs
        named, ids = struct.unpack_from("<HH", exe, raw + offset + 12)
        return [struct.unpack_from("<II", exe, raw + offset + 16 + 8 * i)
                for i in range(named + ids)]

    offset = dict(entries(0)).get(16)  # RT_VERSION
    if offset is None:
        fail("kestriv.exe has no version resource")
    for _ in range(2):  # its name, its language
        offset = entries(offset & 0x7FFFFFFF)[0][1]
    data_rva, size = struct.unpack_from("<II", exe, raw + offset)
    block = exe[raw + data_rva - rva:][:size]

    def node(at):
        length, value_length, text = struct.unpack_from("<HHH", block, at)
        end = at + 6
        while block[end:end + 2] != b"\0\0":
            end += 2
        key = block[at + 6:end].decode("utf-16-le")
        start = (end + 5) & ~3
        stop = min(start + value_length * (2 if text else 1), at + length)
        value = block[start:stop]
        if text:
            value = value.decode("utf-16-le").split("\0")[0]
        child, children = (stop + 3) & ~3, []
        while child < at + length:
            children.append(node(child))
            child = (child + struct.unpack_from("<H", block, child)[0] + 3) & ~3
        return key, value, children

    return node(0)


archive = glob.glob(os.path.join(win32_dir, "kestriv-%s-win64.zip" % version))[0]
with zipfile.ZipFile(archive) as z:
    content = {i.filename.split("/", 1)[1]: z.read(i) for i in z.infolist()
               if not i.is_dir()}
if sorted(content) != ["LICENSE.txt", "README.txt", "kestriv.exe"]:
    fail("%s holds %s" % (archive, sorted(content)))
for name in ["LICENSE.txt", "README.txt"]:
    text = content[name]
    if text.count(b"\r\n") != text.count(b"\n") or b"@" in text:
        fail("%s: not CR LF text, or a placeholder left" % name)
if content["LICENSE.txt"] != license.replace("\n", "\r\n").encode():
    fail("LICENSE.txt is not LICENSE")
if ("kestriv %s " % version).encode() not in content["README.txt"]:
    fail("README.txt does not name version %s" % version)
exe = content["kestriv.exe"]
# Stripped: the COFF header points to no symbol table. And small.
coff = struct.unpack_from("<I", exe, 0x3C)[0] + 4
if struct.unpack_from("<I", exe, coff + 8)[0] != 0 or len(exe) > 600 * 1024:
    fail("kestriv.exe is not stripped, or %d bytes" % len(exe))
key, fixed, children = version_resource(exe)
numbers = [int(n) for n in version.split(".")] + [0, 0]
packed = struct.pack("<HHHH", numbers[1], numbers[0], numbers[3], numbers[2])
strings = {k: v for block in children if block[0] == "StringFileInfo"
           for table in block[2] for k, v, _ in table[2]}
expected = {"FileVersion": version, "ProductVersion": version,
            "ProductName": "kestriv"}
if (key != "VS_VERSION_INFO" or fixed[:4] != b"\xbd\x04\xef\xfe"
        or fixed[8:16] != packed or fixed[16:24] != packed
        or any(strings.get(k) != v for k, v in expected.items())
        or not all(strings.get(k) for k in ["FileDescription",
                                            "LegalCopyright"])):
    fail("kestriv.exe's version resource: %r %r" % (fixed[8:24], strings))
print("%s, %s: %d files each; completions; %s: %s" % (
    os.path.basename(deb), "tarball", len(FILES), os.path.basename(archive),
    ", ".join("%s=%s" % kv for kv in sorted(strings.items()))))
