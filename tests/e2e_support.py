#!/usr/bin/env python3
"""Support for the end-to-end tests: runs the built kestriv on real
temporary trees and compares the exact output bytes and the exit code.

Entries come in directory order, so each directory's entries are compared
as a set, while the order rules that do hold are checked: a directory's
matches are printed together, before anything below it.
"""
import os
import subprocess
import tempfile
import unittest

# Set by run_end_to_end.py.
BINARY = None
PLATFORM = "posix"
CRLF = b"\r\n"


def cp932(text):
    return text.encode("cp932")


USAGE = CRLF.join([
    b"",
    b"KESTRIV version 1.01 by Orvanth",
    b"",
    b"   >kestriv <option>[|<path>]",
    cp932("     /nfile_name          : 検索ファイル名   /a{r|h|s|a|d} : 属性（ -:以外）"),
    cp932("     /f{YYMMDD}|{-yymmdd} : 期間             /d{day|-day}  : 相対日付"),
    cp932("     /s{下限}|{-上限}     : サイズ（ kb ）   /vs           : 表示モード"),
    cp932("     /r                   : ディレクトリ非再帰"),
]) + CRLF

BAD_OPTION = cp932("オプションが間違っています") + CRLF
BAD_NAME = cp932("/n の指定が不正です") + CRLF
NO_MASK = cp932("検索ファイル名を指定してください") + CRLF


class Run:
    """One finished run of the tool."""

    def __init__(self, args, cwd=None, stdout=subprocess.PIPE):
        proc = subprocess.run([BINARY] + list(args), cwd=cwd, stdout=stdout,
                              stderr=subprocess.PIPE, stdin=subprocess.DEVNULL,
                              timeout=120)
        self.out = proc.stdout
        self.err = proc.stderr
        self.code = proc.returncode


def make_tree(root, spec):
    """Creates files and directories under root: a name ending in "/" is a
    directory, anything else a file with the given bytes."""
    for name, content in spec.items():
        path = os.path.join(root, name)
        if name.endswith("/"):
            os.makedirs(path, exist_ok=True)
        else:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(content)


def parse_output(out):
    """Splits a search's output into [(header, [lines])], the summary."""
    assert out.endswith(b" dirs."), out[-40:]
    body, _, summary = out.rpartition(CRLF)
    lines = body.split(CRLF)
    assert lines[-1] == b"", "the summary follows an empty line"
    blocks = []
    for line in lines[:-1]:
        if line.startswith(b"/ ") and line.endswith(b" /"):
            blocks.append((line[2:-2], []))
        else:
            blocks[-1][1].append(line)
    return blocks, summary


def check_directory_order(test, lines):
    """Each directory's matches are contiguous and come before the matches
    of its subdirectories."""
    seen_dirs = []
    for line in lines:
        parent = os.path.dirname(line)
        if seen_dirs and seen_dirs[-1] == parent:
            continue
        test.assertNotIn(parent, seen_dirs, "matches of %r split" % parent)
        for earlier in seen_dirs:
            test.assertFalse(earlier.startswith(parent + b"/"),
                             "%r printed after its subdirectory" % parent)
        seen_dirs.append(parent)


class Case(unittest.TestCase):
    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory(prefix="kestriv-e2e-")
        self.root = os.path.realpath(self._tmp.name)

    def tearDown(self):
        for dirpath, dirnames, _ in os.walk(self.root):
            for d in dirnames:
                try:
                    os.chmod(os.path.join(dirpath, d), 0o755)
                except OSError:
                    pass
        self._tmp.cleanup()

    def run_tool(self, *args, cwd=None):
        run = Run(args, cwd=cwd or self.root)
        self.assertEqual(run.err, b"", "nothing goes to standard error")
        return run

    def assert_search(self, run, expected_blocks, found, dirs, code=None):
        """expected_blocks: [(header bytes, set of lines)]."""
        blocks, summary = parse_output(run.out)
        self.assertEqual([h for h, _ in blocks], [h for h, _ in expected_blocks])
        for (header, lines), (_, want) in zip(blocks, expected_blocks):
            self.assertEqual(sorted(lines), sorted(want), header)
            check_directory_order(self, lines)
        self.assertEqual(summary, b"%d files in %d dirs." % (found, dirs))
        self.assertEqual(run.code, code if code is not None else
                         (0 if found else 1))


