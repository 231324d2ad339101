"""End-to-end tests of the Windows build's own cases, run through Wine under
a Japanese locale: drive letters, root-relative paths, true case, short
names, names outside code page 932, long paths, the regional date settings
and the process command line."""
import os
import re
import time
import unittest

import e2e_support
from e2e_support import (CRLF, USAGE, Case, is_windows, make_tree,
                         parse_output, run_on_terminal, windows_printed)


def wine_path(posix_path):
    """The Wine path (drive Z:) of an absolute POSIX path, as bytes."""
    return b"Z:" + posix_path.encode().replace(b"/", b"\\")


def local_epoch(year, month, day):
    return time.mktime((year, month, day, 12, 0, 0, 0, 0, -1))


SHORT_NAME = re.compile(rb"^[^.\\ ]{1,8}(\.[^.\\ ]{1,3})?$")

# Names code page 932 holds and names it does not, made as UTF-8 Unix names.
FOREIGN_NAMES = [
    "names/e.txt", "names/\u00e9.txt", "names/cafe/in_plain.txt",
    "names/caf\u00e9/in_accent.txt", "names/\ud55c\uae00/inner.txt",
    "names/\U0001f600.txt", "names/mixed\ud55cx/deep.txt",
    "names/\u8868/sjis.txt",
]


class WindowsCase(Case):
    def setUp(self):
        if not is_windows():
            self.skipTest("Windows build only")
        super().setUp()
        make_tree(self.root, {
            "Data/Report.TXT": b"r",
            "Data/Sub/deep.Txt": b"d",
        })
        self.data = os.path.join(self.root, "Data")

    def lines_of(self, run):
        blocks, _ = parse_output(run.out)
        return [line for _, lines in blocks for line in lines]


class Windows(WindowsCase):
    def test_usage_screen_is_the_same_bytes(self):
        run = self.run_tool()
        self.assertEqual(run.out, USAGE)
        self.assertEqual(run.code, 2)

    def test_lower_case_drive_letter_prints_upper_case(self):
        typed = "z:" + self.data.replace("/", "\\")
        run = self.run_tool("/n*.txt", typed, raw=True)
        root = wine_path(self.data)
        self.assert_search(run, [(typed.encode(), {
            root + b"\\Report.TXT", root + b"\\Sub\\deep.Txt"})],
            found=2, dirs=2)

    def test_path_typed_in_the_wrong_case_prints_as_stored(self):
        typed = "Z:" + self.data.upper().replace("/", "\\")
        run = self.run_tool("/nREPORT.TXT", typed, raw=True)
        self.assert_search(run, [(typed.encode(), {
            wine_path(self.data) + b"\\Report.TXT"})], found=1, dirs=2)

    def test_root_relative_path_prints_without_leading_backslash(self):
        typed = self.data.replace("/", "\\")
        run = self.run_tool("/nReport.txt", typed, raw=True)
        # The scan of the root text "\" delivers nothing, so the ascent ends
        # below it.
        self.assert_search(run, [(typed.encode(), {
            typed[1:].encode() + b"\\Report.TXT"})], found=1, dirs=2)

    def test_drive_root_is_upper_cased_and_keeps_its_backslash(self):
        run = self.run_tool("/ntmp", "/r", "z:\\", raw=True)
        self.assert_search(run, [(b"z:\\", {b"Z:\\tmp"})], found=1, dirs=1)

    def test_dot_paths_print_as_typed(self):
        run = self.run_tool("/nReport.txt", "Data\\Sub\\..", raw=True)
        self.assert_search(run, [(b"Data\\Sub\\..", {
            b"Data\\Sub\\..\\Report.TXT"})], found=1, dirs=2)

    def test_short_names(self):
        make_tree(self.root, {"Long File Name.txt": b"l",
                              "Another long name.text": b"a",
                              "short.txt": b"s"})
        run = self.run_tool("/n*.t*", "/vs", "/r", ".")
        lines = self.lines_of(run)
        self.assertEqual(len(lines), 3, lines)
        self.assertIn(b".\\short.txt", lines)
        for line in lines:
            prefix, _, name = line.rpartition(b"\\")
            self.assertEqual(prefix, b".")
            self.assertRegex(name, SHORT_NAME)
        self.assertEqual(run.code, 0)

    def test_names_outside_the_code_page(self):
        make_tree(self.root, {name: b"x" for name in FOREIGN_NAMES})
        run = self.run_tool("/n*.txt", "names")
        self.assert_search(run, [(b"names", {windows_printed(name)
                                             for name in FOREIGN_NAMES})],
                           found=8, dirs=6)
        short_lines = self.lines_of(self.run_tool("/n*.txt", "/vs", "names"))
        self.assertEqual(len(short_lines), 8, short_lines)
        self.assertNotIn(b"", short_lines)
        self.assertIn(b"names\\e.txt", short_lines)

    def test_paths_past_260_characters(self):
        path, expected = "deep", set()
        for level in range(40):
            path += "/level%05d" % level
            make_tree(self.root, {path + "/f.txt": b"x"})
            expected.add(path.encode() + b"/f.txt")
        run = self.run_tool("/n*.txt", "deep")
        self.assert_search(run, [(b"deep", expected)], found=40, dirs=41)
        short_lines = self.lines_of(self.run_tool("/n*.txt", "/vs", "deep"))
        self.assertEqual(len(short_lines), 40)
        self.assertNotIn(b"", short_lines)

    def test_manifest_declares_long_paths_and_keeps_the_code_page(self):
        with open(e2e_support.BINARY, "rb") as exe:
            program = exe.read()
        # Checked without printing the program on failure.
        self.assertTrue(re.search(
            rb"<longPathAware[^>]*>true</longPathAware>", program),
            "no longPathAware in the manifest")
        self.assertFalse(b"activeCodePage" in program,
                         "the manifest sets the ANSI code page")

    def test_period_option_under_the_japanese_date_settings(self):
        make_tree(self.root, {"old.log": b"o", "new.log": b"n"})
        for name, year in (("old.log", 1998), ("new.log", 2000)):
            stamp = local_epoch(year, 6, 1)
            os.utime(os.path.join(self.root, name), (stamp, stamp))
        run = self.run_tool("/n*.log", "/f990101", "/r", ".")
        self.assert_search(run, [(b".", {b".\\new.log"})], found=1, dirs=1)
        run = self.run_tool("/n*.log", "/f-981231", "/r", ".")
        self.assert_search(run, [(b".", {b".\\old.log"})], found=1, dirs=1)

    def test_quoted_argument_with_a_blank_is_one_word(self):
        # Wine puts an argument that holds a blank in double quotes on the
        # command line; the tool's own split makes it one word again, and
        # the name option then splits it at the blank into two masks.
        make_tree(self.root, {"a": b"1", "b.txt": b"2"})
        run = self.run_tool("/na b.txt", "/r", ".")
        self.assert_search(run, [(b".", {b".\\a"}), (b".", {b".\\b.txt"})],
                           found=2, dirs=2)

    def test_console_shows_control_characters_as_question_marks(self):
        # Windows names may hold DEL; Wine's console itself passes it on.
        make_tree(self.root, {"del\x7f.txt": b"x"})
        # (arguments, on the console, through a pipe)
        cases = [
            (["/ndel*", "/r", "."], b"/ . /" + CRLF + b".\\del?.txt" + CRLF,
             b"/ . /" + CRLF + b".\\del\x7f.txt" + CRLF),
            (["/n*", "no\x7fsuch"], b"/ no?such /" + CRLF,
             b"/ no\x7fsuch /" + CRLF),
        ]
        for args, console, piped in cases:
            with self.subTest(args=args):
                code, out, err = run_on_terminal(args, self.root)
                self.assertEqual((out.partition(CRLF + CRLF)[0] + CRLF, err),
                                 (console, b""))
                run = self.run_tool(*args)
                self.assertEqual(run.out.partition(CRLF + CRLF)[0] + CRLF,
                                 piped)

    def test_current_directory_header_is_the_wine_path(self):
        run = self.run_tool("/nReport.txt", "/r", cwd=self.data)
        self.assertEqual(
            run.out,
            b"/ " + wine_path(self.data) + b" /" + CRLF +
            wine_path(self.data) + b"\\Report.TXT" + CRLF + CRLF +
            b"1 files in 1 dirs.")


if __name__ == "__main__":
    unittest.main()
