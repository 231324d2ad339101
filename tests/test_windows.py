"""End-to-end tests of the Windows build's own cases, run through Wine under
a Japanese locale: drive letters, root-relative paths, true case, short
names, names outside code page 932 in each way the output is written (a
pipe in code page 932, --utf8, the console, a console whose code page is
UTF-8), long paths, the regional date settings and the process command
line."""
import os
import re
import time
import unittest

import e2e_support
from e2e_support import (CRLF, USAGE, Case, Shown, console_printed,
                         help_screen, is_windows, make_tree, message,
                         parse_output, run_in_console_code_page,
                         run_on_terminal, tool_command, wine_path,
                         windows_printed)


def local_epoch(year, month, day):
    return time.mktime((year, month, day, 12, 0, 0, 0, 0, -1))


SHORT_NAME = re.compile(rb"^[^.\\ ]{1,8}(\.[^.\\ ]{1,3})?$")

# Names code page 932 holds and names it does not, made as UTF-8 Unix names;
# in "u" the six names of a folder any user may have.
FOREIGN_NAMES = [
    "names/e.txt", "names/\u00e9.txt", "names/cafe/in_plain.txt",
    "names/caf\u00e9/in_accent.txt", "names/\ud55c\uae00/inner.txt",
    "names/\U0001f600.txt", "names/mixed\ud55cx/deep.txt",
    "names/\u8868/sjis.txt",
    "names/u/caf\u00e9.txt", "names/u/\ud55c\uad6d\uc5b4.txt",
    "names/u/emoji\U0001f600.txt", "names/u/\u4e2d\u6587\u7b80\u4f53.txt",
    "names/u/\u65e5\u672c\u8a9e.txt", "names/u/plain.txt",
    # A line longer than the output's 128-byte blocks, so that characters
    # are cut at their ends.
    "names/" + "\u65e5\u672c\u8a9e" * 26 + ".txt",
    # Bytes that are no UTF-8 (ED A0 80 would be a surrogate's), which Wine
    # hands over as U+FFFD U+FFFD: a file's name and a directory's.
    "names/lone\udced\udca0\udc80.txt", "names/d\udced\udca0\udc81/inner.txt",
]


def wine_name(name):
    """A name of FOREIGN_NAMES as Wine hands it to Windows programs."""
    return re.sub("\udced[\udca0-\udcbf][\udc80-\udcbf]", "\ufffd\ufffd",
                  name)


def utf8_printed(text):
    return text.encode()


# The ways the Windows build writes its output, and how each prints a
# name: code page 932 to a pipe, UTF-8 asked for, the console (UTF-16), and
# a console whose output code page is UTF-8, redirected to a file.
WAYS = [("pipe", windows_printed), ("--utf8", utf8_printed),
        ("console", console_printed), ("code page 65001", utf8_printed)]
UNICODE_WAYS = WAYS[1:]


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

    def run_as(self, way, *args):
        """The tool run on `args`, its output written the way WAYS names."""
        if way == "pipe":
            return self.run_tool(*args)
        if way == "--utf8":
            return self.run_tool("--utf8", *args)
        if way == "console":
            code, out, err = run_on_terminal(args, self.root)
        else:
            code, out, err = run_in_console_code_page(args, self.root, 65001)
        run = Shown(tool_command(args), code, out, err)
        self.assertEqual(err, b"", run.describe())
        return run


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
        for way, printed in WAYS:
            with self.subTest(way=way):
                run = self.run_as(way, "/n*.txt", "names")
                self.assert_search(run, [(b"names", {
                    printed(wine_name(name)) for name in FOREIGN_NAMES})],
                    found=17, dirs=8)
                # Every name has its short form, found by its own name.
                short_lines = self.lines_of(
                    self.run_as(way, "/n*.txt", "/vs", "names"))
                self.assertEqual(len(short_lines), 17, short_lines)
                self.assertIn(b"names\\e.txt", short_lines)
                for line in short_lines:
                    for part in line.split(b"\\"):
                        self.assertRegex(part, SHORT_NAME)

    def test_masks_and_paths_in_any_script_select_and_resolve(self):
        make_tree(self.root, {
            name[len("names/"):]: b"x" for name in FOREIGN_NAMES
            if name.startswith("names/u/")})
        make_tree(self.root, {"\u4e2d\u6587\u7b80\u4f53/inner.txt": b"x",
                              "Caf\u00e9/\u00dcn\u00ef.txt": b"x"})
        # (arguments, the search path typed, the paths selected)
        cases = [
            (["/n\ud55c*", "u"], "u", {"u/\ud55c\uad6d\uc5b4.txt"}),
            (["/n*\U0001f600*", "u"], "u", {"u/emoji\U0001f600.txt"}),
            (["/n*.txt", "\u4e2d\u6587\u7b80\u4f53"], "\u4e2d\u6587\u7b80\u4f53",
             {"\u4e2d\u6587\u7b80\u4f53/inner.txt"}),
            (["/n\u4e2d\u6587\u7b80\u4f53\\i*", "."], ".",
             {"./\u4e2d\u6587\u7b80\u4f53/inner.txt"}),
            # Letters outside ASCII in another case: the mask matches and
            # the path prints as stored.
            (["/n\u00fcN\u00cf.TXT", "CAF\u00c9"], "CAF\u00c9",
             {"Caf\u00e9/\u00dcn\u00ef.txt"}),
        ]
        for way, printed in UNICODE_WAYS:
            for args, path, selected in cases:
                with self.subTest(way=way, args=args):
                    run = self.run_as(way, "/r", *args)
                    self.assert_search(run, [(printed(path), {
                        printed(p) for p in selected})], found=1, dirs=1)
                    short_lines = self.lines_of(
                        self.run_as(way, "/r", "/vs", *args))
                    self.assertEqual(len(short_lines), 1, short_lines)
                    for part in short_lines[0].split(b"\\")[1:]:
                        self.assertRegex(part, SHORT_NAME)

    def test_messages_in_each_way_of_writing(self):
        # (arguments, what is written in a given encoding, exit code)
        cases = [
            (["/x"], lambda e: message("オプションが間違っています", e) + CRLF, 2),
            (["/n*", "--utf8=x"],
             lambda e: message("--utf8 の指定が不正です", e) + CRLF, 2),
            (["--help"], help_screen, 0),
        ]
        for way, _ in WAYS:
            encoding = "cp932" if way == "pipe" else "utf-8"
            for args, written, code in cases:
                with self.subTest(way=way, args=args):
                    run = self.run_as(way, *args)
                    self.assertEqual((run.out, run.code),
                                     (written(encoding), code), run.describe())

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
