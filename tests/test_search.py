"""End-to-end tests of the search: usage, option errors, walks, paths."""
import os
import subprocess
import tempfile
import unittest

from e2e_support import (BAD_NAME, BAD_OPTION, BAD_UTF8, CRLF, HELP,
                         NO_MASK, USAGE, Case, Run, help_screen, is_windows,
                         locale_installed,
                         make_tree, message, native_path, option_is_directory,
                         parse_output, platform_line_end, posix_only, usage,
                         windows_printed)


class UsageAndErrors(Case):
    def test_no_arguments_shows_usage(self):
        run = self.run_tool()
        self.assertEqual(run.out, USAGE)
        self.assertEqual(run.code, 2)

    def test_one_error_line_and_exit_2(self):
        # On POSIX "/" is also the root directory.
        slash = BAD_OPTION if is_windows() else option_is_directory("/")
        depth = message("--max-depth の指定が不正です") + CRLF
        exclude = message("--exclude の指定が不正です") + CRLF

        def unknown(arg):
            return (b"'" + arg.encode() + b"' " +
                    message("は不明なオプションです") + CRLF)
        cases = [
            (["/n*.txt", "/x"], BAD_OPTION),
            (["/n*.txt", "/"], slash),
            (["/", "/n*.txt"], slash),
            (["--print0", "/n*.txt", "/x"], BAD_OPTION),
            (["/n", "--bare"], BAD_NAME),
            (["/n"], BAD_NAME),
            (["/N"], BAD_NAME),
            (["/r"], NO_MASK),
            (["some/path"], NO_MASK),
            (["/n*.txt", "/x", "/n"], BAD_OPTION),
            (["/n", "/x"], BAD_NAME),
            # --utf8 takes no value.
            (["/n*.txt", "--utf8=x"], BAD_UTF8),
            (["--utf8=", "/n*.txt"], BAD_UTF8),
            (["/n*", "--max-depth"], depth),
            (["/n*", "--max-depth", "0", "."], depth),
            (["/n*", "--max-depth=+2", "."], depth),
            (["/n*", "--max-depth=-1", "."], depth),
            (["/n*", "--max-depth=2147483648", "."], depth),
            (["/n*", "--max-depth", "00000000001", "."], depth),
            (["/n*", "--max-depth=", "."], depth),
            (["/n*", "--exclude"], exclude),
            (["/n*", "--exclude=", "."], exclude),
            (["/n*", "--exclude", "a,,b", "."], exclude),
            # A mistyped long option is refused, not searched as a path.
            (["/n*", "--bear", "."], unknown("--bear")),
            (["--max-dept=2", "/n*", "."], unknown("--max-dept=2")),
            (["/x", "--Exclude", "a"], unknown("--Exclude")),
        ]
        for args, line in cases:
            with self.subTest(args=args):
                run = self.run_tool(*args)
                self.assertEqual(run.out, line)
                self.assertEqual(run.code, 2)

    def test_help_and_version_exit_0(self):
        cases = [
            (["--help"], HELP),
            (["/x", "--help", "/n"], HELP),
            (["--bare", "/n*", "--help"], HELP),
            (["--version"], b"kestriv 1.01" + CRLF),
        ]
        for args, out in cases:
            with self.subTest(args=args):
                run = self.run_tool(*args)
                self.assertEqual((run.out, run.code), (out, 0))

    @posix_only
    def test_messages_follow_the_locale(self):
        # UTF-8 unless the locale's character set is Shift_JIS; a locale
        # that is not installed counts as "C". --utf8 makes them UTF-8
        # whatever the locale.
        # (locale, the arguments before the others, encoding)
        cases = [("C.UTF-8", [], "utf-8"), ("C", [], "utf-8"),
                 ("xx_XX.SJIS", [], "utf-8"), ("ja_JP.SJIS", [], "cp932"),
                 ("ja_JP.SJIS", ["--utf8"], "utf-8"),
                 ("C.UTF-8", ["--utf8"], "utf-8"),
                 ("ja_JP.SJIS", ["--", "--utf8"], "cp932")]
        for locale, first, encoding in cases:
            with self.subTest(locale=locale, first=first):
                if locale == "ja_JP.SJIS" and not locale_installed(locale):
                    self.skipTest("locale %s not installed (test.sh makes "
                                  "it)" % locale)
                if not first:
                    run = self.run_tool(locale=locale)
                    self.assertEqual(run.out, usage(encoding))
                run = self.run_tool("/x", *first, locale=locale)
                self.assertEqual(run.out, message("オプションが間違っています",
                                                  encoding) + CRLF)
                if "--" not in first:
                    run = self.run_tool(*first, "--help", locale=locale)
                    self.assertEqual(run.out, help_screen(encoding))


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

    def test_typed_dots_keep_their_place_and_masks_name_subdirectories(self):
        sep = "\\" if is_windows() else "/"
        cases = [
            (("/nReport.txt", "data/sub/.."), b"data/sub/..",
             {b"Data/Sub/../Report.TXT"}),
            (("/ndeep.txt", "data/./sub"), b"data/./sub",
             {b"Data/./Sub/deep.Txt"}),
            (("/nSub" + sep + "*.txt", "data"), b"data",
             {b"Data/Sub/deep.Txt", b"Data/Sub/x.txt"}),
        ]
        for args, header, lines in cases:
            with self.subTest(args=args):
                run = self.run_tool(args[0], "/r", args[1])
                self.assert_search(run, [(header, lines)], found=len(lines),
                                   dirs=1)

    def test_current_directory_is_the_default_path(self):
        run = self.run_tool("/n*.doc")
        self.assert_search(run, [(self.root.encode(), {
            self.root.encode() + b"/other.doc"})], found=1, dirs=4)

    def test_absolute_path_is_an_option(self):
        # Every argument that begins with "/" is an option, also on POSIX,
        # where one that also names a directory is refused as such: the
        # line says where paths go.
        data = os.path.join(self.root, "Data")
        cases = [
            (["/n*.txt", data], option_is_directory(data)),
            (["/n*.txt", data.upper() + "/"],
             option_is_directory(data.upper() + "/")),
            ([data, "/x", "/n*.txt"], option_is_directory(data)),
            (["/x", data], BAD_OPTION),
            # A file is no directory: only an option.
            (["/n*.txt", os.path.join(data, "image.png")], BAD_OPTION),
        ]
        for args, line in cases:
            with self.subTest(args=args):
                run = self.run_tool(*args)
                self.assertEqual(run.out, BAD_OPTION if is_windows() and
                                 line != BAD_OPTION else line)
                self.assertEqual(run.code, 2)

    def test_paths_alone_for_scripts(self):
        nul, line_end = b"\0", platform_line_end()
        # (arguments, what ends each path, the paths in order, exit code)
        cases = [
            (["--print0", "/n*.png", "Data"], nul, [b"Data/image.png"], 0),
            (["/n*.png", "Data", "--bare"], line_end, [b"Data/image.png"], 0),
            (["/nreport.txt", "/ndeep.txt", "--print0", "data"], nul,
             [b"Data/Report.TXT", b"Data/Sub/deep.Txt"], 0),
            (["--bare", "/vs", "/nnotes.txt", "Data"], line_end,
             [b"Data/notes.txt"], 0),
            (["--bare", "--print0", "/n*.png", "Data"], nul,
             [b"Data/image.png"], 0),
            (["--print0", "/n*.nothing", "Data"], nul, [], 1),
            # After "--" it is a path (that does not exist).
            (["--print0", "/n*.png", "--", "--bare", "Data"], nul,
             [b"Data/image.png"], 0),
            # --utf8 changes no byte of an ASCII path, nor its end.
            (["--utf8", "--print0", "/n*.png", "Data"], nul,
             [b"Data/image.png"], 0),
            (["--bare", "/n*.png", "--utf8", "Data"], line_end,
             [b"Data/image.png"], 0),
        ]
        for args, end, paths, code in cases:
            with self.subTest(args=args):
                run = self.run_tool(*args)
                self.assertEqual(run.out, b"".join(native_path(p) + end
                                                   for p in paths),
                                 run.describe())
                self.assertEqual(run.code, code)

    def test_double_dash_ends_the_options(self):
        run = self.run_tool("/n*.png", "--", "Data", "--help")
        self.assert_search(run, [(b"Data", {b"Data/image.png"}),
                                 (b"--help", set())], found=1, dirs=4)
        # A directory whose name begins with "--" is searched after "--".
        make_tree(self.root, {"--bear/cub.png": b"c"})
        run = self.run_tool("/n*.png", "--", "--bear")
        self.assert_search(run, [(b"--bear", {b"--bear/cub.png"})],
                           found=1, dirs=1)

    @posix_only
    def test_absolute_path_after_double_dash(self):
        data = os.path.join(self.root, "Data").encode()
        run = self.run_tool("/n*.PNG", "--", data.upper().decode())
        self.assert_search(run, [(data.upper(), {data + b"/image.png"})],
                           found=1, dirs=3)

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

    def test_excluded_names_and_depth(self):
        make_tree(self.root, {
            "Data/.git/objects/o.txt": b"o", "Data/node_modules/n.txt": b"n",
            "Data/Sub/.git/config.txt": b"c",
            "Data/Sub/node_modules/dep/d.txt": b"d",
            "Data/Sub/data/inner.txt": b"i", "Data/notes.tmp/": None,
        })
        everything = {b"Data/Report.TXT", b"Data/notes.txt",
                      b"Data/.hidden.txt", b"Data/Sub/deep.Txt",
                      b"Data/Sub/x.txt", b"Data/.git/objects/o.txt",
                      b"Data/node_modules/n.txt", b"Data/Sub/.git/config.txt",
                      b"Data/Sub/node_modules/dep/d.txt",
                      b"Data/Sub/data/inner.txt"}
        level1 = {b"Data/Report.TXT", b"Data/notes.txt", b"Data/.hidden.txt"}
        level2 = level1 | {b"Data/Sub/deep.Txt", b"Data/Sub/x.txt",
                           b"Data/node_modules/n.txt"}
        # (options, lines, dirs): Data has 10 directories below it.
        cases = [
            (["--exclude", ".git", "--exclude=NODE_MODULES"],
             everything - {b"Data/.git/objects/o.txt", b"Data/node_modules/n.txt",
                           b"Data/Sub/.git/config.txt",
                           b"Data/Sub/node_modules/dep/d.txt"}, 5),
            (["--exclude", ".git:node_modules,*.tmp"],
             everything - {b"Data/.git/objects/o.txt", b"Data/node_modules/n.txt",
                           b"Data/Sub/.git/config.txt",
                           b"Data/Sub/node_modules/dep/d.txt"}, 4),
            # A file that matches an exclude mask is left out too.
            (["--exclude", "*.TXT"], set(), 10),
            (["--exclude", "n*.txt"], everything - {b"Data/notes.txt",
                                                   b"Data/node_modules/n.txt"},
             11),
            # Never the search path itself; its namesakes below it, yes.
            (["--exclude", "data"], everything - {b"Data/Sub/data/inner.txt"},
             10),
            (["--max-depth", "1"], level1, 1),
            (["/r"], level1, 1),
            (["--max-depth=2"], level2, 5),
            (["--max-depth", "3"], everything - {
                b"Data/Sub/node_modules/dep/d.txt"}, 10),
            (["--max-depth", "4"], everything, 11),
            (["--max-depth", "2147483647"], everything, 11),
            (["--max-depth", "3", "/r"], level1, 1),
            (["/r", "--max-depth", "3"], level1, 1),
        ]
        for options, lines, dirs in cases:
            with self.subTest(options=options):
                run = self.run_tool("/n*.txt", *options, "Data")
                self.assert_search(run, [(b"Data", lines)], found=len(lines),
                                   dirs=dirs)

    def test_each_directory_in_name_order(self):
        # Windows lists a directory by name: upper-cased UTF-16 units, so
        # "_" after the letters, "é" after ASCII, an emoji (two surrogates)
        # before U+E000; both builds print that order, whatever the file
        # system's.
        names = ["a", "a b", "a.b", "a2", "ab", "AB1", "B", "z", "Z1", "[x",
                 "_u", "_u2", "~", "\u00e9", "\u00c9b", "\u03b1", "\u4e00",
                 "\U0001f600", "\ue000x", "\uff41"]
        make_tree(self.root, {"order/" + name: b"x" for name in
                              reversed(names) if name not in ("a2", "_u2")})
        make_tree(self.root, {"order/_u2/f.txt": b"f", "order/a2/f.txt": b"f"})
        run = self.run_tool("/n*", "order")
        expected = [b"order/" + windows_printed(n) if is_windows() else
                    ("order/" + n).encode() for n in names]
        expected += [b"order/a2/f.txt", b"order/_u2/f.txt"]
        blocks, summary = parse_output(run.out)
        self.assertEqual(blocks[0][1], [native_path(p) for p in expected],
                         run.describe())
        self.assertEqual(summary, b"22 files in 3 dirs.")

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

    def test_threads_give_the_bytes_of_one(self):
        # A few hundred directories: the workers start, and read ahead of
        # the walk most of them.
        entries = {}
        for top in range(6):
            for middle in range(7):
                base = "wide/t%d/Middle %d/" % (top, middle)
                entries[base + "Long file name %d.txtx" % middle] = b"l"
                for leaf in range(7):
                    leaf_dir = base + "l%d.d/" % leaf
                    entries[leaf_dir + "f%d.txt" % leaf] = b"x"
                    entries[leaf_dir + ".hidden%d.TXT" % top] = b"h"
                    entries[leaf_dir + "n.c"] = b"c"
        make_tree(self.root, entries)
        for args in (["/n*.txt"], ["/n*.c,*.TXT", "/ah"], ["/nf3.txt", "/vs"],
                     ["/n*", "--bare"], ["/n*", "/r"]):
            with self.subTest(args=args):
                one = self.run_tool("--threads", "1", *args, "wide")
                self.assertEqual(one.code, 0, one.describe())
                for threads in ([], ["--threads", "3"]):
                    run = self.run_tool(*threads, *args, "wide")
                    self.assertEqual((run.out, run.code), (one.out, one.code),
                                     run.describe())

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
    @posix_only  # Wine hides dangling links
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

if __name__ == "__main__":
    unittest.main()
