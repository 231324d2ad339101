#!/usr/bin/env python3
"""End-to-end tests: run the built kestriv on real temporary trees and
compare the exact output bytes and the exit code.

Entries come in directory order, so each directory's entries are compared
as a set, while the order rules that do hold are checked: a directory's
matches are printed together, before anything below it.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import unittest

BINARY = None
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


class UsageAndErrors(Case):
    def test_no_arguments_shows_usage(self):
        run = self.run_tool()
        self.assertEqual(run.out, USAGE)
        self.assertEqual(run.code, 2)

    def test_one_error_line_and_exit_2(self):
        cases = [
            (["/n*.txt", "/x"], BAD_OPTION),
            (["/n*.txt", "/"], BAD_OPTION),
            (["/", "/n*.txt"], BAD_OPTION),
            (["/n"], BAD_NAME),
            (["/N"], BAD_NAME),
            (["/r"], NO_MASK),
            (["some/path"], NO_MASK),
            (["/n*.txt", "/x", "/n"], BAD_OPTION),
            (["/n", "/x"], BAD_NAME),
        ]
        for args, line in cases:
            with self.subTest(args=args):
                run = self.run_tool(*args)
                self.assertEqual(run.out, line)
                self.assertEqual(run.code, 2)


class Searching(Case):
    def setUp(self):
        super().setUp()
        make_tree(self.root, {
            "Data/Report.TXT": b"r",
            "Data/notes.txt": b"n",
            "Data/image.png": b"i",
            "Data/Sub/deep.Txt": b"d",
            "Data/Sub/x.txt/": None,
            "Data/.hidden.txt": b"h",
            "top.txt": b"t",
            "other.doc": b"o",
        })

    def test_true_case_of_a_path_typed_in_another_case(self):
        run = self.run_tool("/n*.txt", "DATA")
        self.assert_search(run, [(b"DATA", {
            b"Data/Report.TXT", b"Data/notes.txt", b"Data/.hidden.txt",
            b"Data/Sub/deep.Txt", b"Data/Sub/x.txt"})], found=5, dirs=3)

    def test_current_directory_is_the_default_path(self):
        run = self.run_tool("/n*.doc")
        self.assert_search(run, [(self.root.encode(), {
            self.root.encode() + b"/other.doc"})], found=1, dirs=4)

    def test_absolute_path_is_an_option(self):
        # Every argument that begins with "/" is an option, also here.
        run = self.run_tool("/n*.txt", os.path.join(self.root, "Data"))
        self.assertEqual(run.out, BAD_OPTION)
        self.assertEqual(run.code, 2)

    def test_absolute_current_directory_prints_whole(self):
        cwd = os.path.join(self.root, "Data", "Sub")
        run = self.run_tool("/n*.TXT", cwd=cwd)
        self.assert_search(run, [(cwd.encode(), {
            cwd.encode() + b"/deep.Txt", cwd.encode() + b"/x.txt"})],
            found=2, dirs=2)

    def test_trailing_delimiter_gives_the_same_paths(self):
        for path in ["Data/Sub", "Data/Sub/"]:
            with self.subTest(path=path):
                run = self.run_tool("/n*.txt", path)
                self.assert_search(run, [(path.encode(), {
                    b"Data/Sub/deep.Txt", b"Data/Sub/x.txt"})],
                    found=2, dirs=2)

    def test_no_recursion(self):
        for option in ["/r", "/R", "/rx"]:
            with self.subTest(option=option):
                run = self.run_tool("/n*.txt", option, "Data")
                self.assert_search(run, [(b"Data", {
                    b"Data/Report.TXT", b"Data/notes.txt",
                    b"Data/.hidden.txt"})], found=3, dirs=1)

    def test_masks_and_paths_in_order(self):
        run = self.run_tool("/n*.png", "/N*.DOC", "Data", ".")
        self.assert_search(run, [
            (b"Data", {b"Data/image.png"}),
            (b"Data", set()),
            (b".", {b"./Data/image.png"}),
            (b".", {b"./other.doc"}),
        ], found=3, dirs=3 + 3 + 4 + 4)

    def test_mask_lists(self):
        for args in (["/n*.png:*.doc"], ["/n*.png,*.doc"], ["/n*.png *.doc"],
                     ["/n*.png", "/n*.doc"]):
            with self.subTest(args=args):
                run = self.run_tool(*args, ".")
                self.assert_search(run, [(b".", {b"./Data/image.png"}),
                                         (b".", {b"./other.doc"})],
                                   found=2, dirs=8)

    def test_empty_mask_counts_directories_only(self):
        run = self.run_tool("/n:", "Data")
        self.assert_search(run, [(b"Data", set())], found=0, dirs=3)

    def test_blank_mask_gives_no_walk(self):
        run = self.run_tool("/n   ", "Data")
        self.assertEqual(run.out, CRLF + b"0 files in 0 dirs.")
        self.assertEqual(run.code, 1)

    def test_missing_path_is_counted_and_finds_nothing(self):
        run = self.run_tool("/n*", "/n*.txt", "-n*.txt")
        self.assert_search(run, [(b"-n*.txt", set()), (b"-n*.txt", set())],
                           found=0, dirs=2)

    def test_matching_directory_is_printed_and_entered(self):
        run = self.run_tool("/n*", "Data/Sub")
        self.assert_search(run, [(b"Data/Sub", {
            b"Data/Sub/deep.Txt", b"Data/Sub/x.txt"})], found=2, dirs=2)

    def test_exact_name_in_any_case(self):
        run = self.run_tool("/nREPORT.txt", "data")
        self.assert_search(run, [(b"data", {b"Data/Report.TXT"})],
                           found=1, dirs=3)

    def test_name_value_cut_at_256_bytes(self):
        long_mask = "*" + "x" * 300
        run = self.run_tool("/n" + long_mask, "/n*.png", "Data")
        self.assert_search(run, [(b"Data", set()),
                                 (b"Data", {b"Data/image.png"})],
                           found=1, dirs=6)

    def test_file_output_equals_pipe_output(self):
        piped = self.run_tool("/n*", ".")
        path = os.path.join(tempfile.gettempdir(), "kestriv-e2e-out.bin")
        with open(path, "wb") as f:
            to_file = Run(["/n*", "."], cwd=self.root, stdout=f)
        with open(path, "rb") as f:
            self.assertEqual(f.read(), piped.out)
        os.unlink(path)
        self.assertEqual(to_file.code, piped.code)


class Dates(Case):
    def test_file_from_1979_and_2110_prints_its_path(self):
        make_tree(self.root, {"old.txt": b"o", "far.txt": b"f"})
        os.utime(os.path.join(self.root, "old.txt"), (300000000, 300000000))
        os.utime(os.path.join(self.root, "far.txt"), (4420000000, 4420000000))
        run = self.run_tool("/n*.txt", ".")
        self.assert_search(run, [(b".", {b"./old.txt", b"./far.txt"})],
                           found=2, dirs=1)


class Links(Case):
    def test_link_cycles_end(self):
        make_tree(self.root, {"a/b/f.txt": b"f"})
        os.symlink("..", os.path.join(self.root, "a", "b", "up"))
        os.symlink(".", os.path.join(self.root, "a", "self"))
        os.symlink("/", os.path.join(self.root, "a", "root"))
        os.symlink("missing", os.path.join(self.root, "a", "dangling.txt"))
        run = self.run_tool("/n*", "/r", "a")
        self.assert_search(run, [(b"a", {b"a/b", b"a/self", b"a/root",
                                         b"a/dangling.txt"})],
                           found=4, dirs=1)
        run = self.run_tool("/n*.txt", "a")
        blocks, summary = parse_output(run.out)
        self.assertIn(b"a/b/f.txt", blocks[0][1])
        self.assertIn(b"a/dangling.txt", blocks[0][1])
        self.assertEqual(run.code, 0)

    def test_deep_tree(self):
        path = self.root
        for _ in range(300):
            path = os.path.join(path, "d")
        os.makedirs(path)
        with open(os.path.join(path, "leaf.txt"), "wb") as f:
            f.write(b"x")
        run = self.run_tool("/nleaf.txt", "d")
        self.assert_search(run, [(b"d", {b"/".join([b"d"] * 300) +
                                         b"/leaf.txt"})], found=1, dirs=300)


def main():
    global BINARY
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--platform", default="posix")
    args, rest = parser.parse_known_args()
    BINARY = os.path.abspath(args.binary)
    result = unittest.main(argv=[sys.argv[0]] + rest, exit=False,
                           verbosity=1).result
    failed = len(result.failures) + len(result.errors)
    print("%d passed, %d failed" % (result.testsRun - failed, failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
