"""End-to-end tests of the option values and the entry filter."""
import os
import time
import unittest

from e2e_support import BAD_OPTION, Case, make_tree, message

CRLF = b"\r\n"


def error_line(letter):
    return message("/%s の指定が不正です" % letter) + CRLF


def local_epoch(year, month, day, hour=0, minute=0, second=0):
    return time.mktime((year, month, day, hour, minute, second, 0, 0, -1))


class OptionErrors(Case):
    def test_each_error_line_and_exit_2(self):
        cases = [
            (["/a"], "a"), (["/a-"], "a"), (["/ax"], "a"),
            (["/s"], "s"), (["/s0"], "s"), (["/s-0"], "s"), (["/sabc"], "s"),
            (["/f"], "f"), (["/f9913"], "f"), (["/f991301"], "f"),
            (["/fab0101"], "f"), (["/f99-0101"], "f"),
            (["/d0"], "d"), (["/dx"], "d"), (["/d7", "/d-3"], "d"),
            (["/v"], "v"), (["/vx"], "v"),
        ]
        for args, letter in cases:
            with self.subTest(args=args):
                run = self.run_tool("/n*", *args, ".")
                self.assertEqual(run.out, error_line(letter))
                self.assertEqual(run.code, 2)

    def test_first_bad_option_stops_before_any_search(self):
        run = self.run_tool("/n*", "/s10", "/ar", "/x", "/s0", ".")
        self.assertEqual(run.out, BAD_OPTION)
        self.assertEqual(run.code, 2)

    def test_options_apply_in_order(self):
        make_tree(self.root, {"a.txt": b"x"})
        accepted = [["/s1", "/s0"], ["/d-5", "/d0"],
                    ["/A-R", "/aR", "/a-r"], ["/VS"], ["/vsx"]]
        for args in accepted:
            with self.subTest(args=args):
                run = self.run_tool("/n*.txt", *args, ".")
                self.assertTrue(run.out.endswith(b" dirs."), run.out)
        self.assertEqual(self.run_tool("/n*.txt", "/s0", ".").out,
                         error_line("s"))


class Filters(Case):
    def setUp(self):
        super().setUp()
        now = time.time()
        make_tree(self.root, {
            "plain.txt": b"p" * 10,
            "locked.txt": b"l" * 2048,
            ".hidden.txt": b"h",
            "sub.txt/": None,
            "kb1.txt": b"k" * 1024,
            "kb1plus.txt": b"k" * 1025,
        })
        for name, size in (("big3g.txt", 3000000000), ("big5g.txt", 5 << 30)):
            with open(os.path.join(self.root, name), "wb") as f:
                f.truncate(size)
        os.chmod(os.path.join(self.root, "locked.txt"), 0o444)
        dated = {
            "y1979.log": local_epoch(1979, 6, 1),
            "y1998.log": local_epoch(1998, 12, 31, 23, 59, 58),
            "y1999.log": local_epoch(1999, 1, 1),
            "y2000.log": local_epoch(2000, 2, 1, 0, 0, 0),
            "y2000b.log": local_epoch(2000, 2, 1, 0, 0, 2),
            "y2050.log": local_epoch(2050, 12, 31, 23, 59, 58),
            "y2051.log": local_epoch(2051, 1, 1, 0, 0, 2),
            "h23.log": now - 23 * 3600,
            "h25.log": now - 25 * 3600,
            "d8.log": now - 8 * 86400,
        }
        for name, stamp in dated.items():
            path = os.path.join(self.root, name)
            with open(path, "wb") as f:
                f.write(b"d")
            os.utime(path, (stamp, stamp))

    def selected(self, *args):
        run = self.run_tool(*args, ".")
        lines = run.out.split(CRLF)
        names = {line[2:].decode() for line in lines[1:-1] if line}
        self.assertEqual(run.code, 0 if names else 1)
        return names

    def test_attributes(self):
        cases = [
            (["/ar"], {"locked.txt"}),
            (["/ah"], {".hidden.txt"}),
            (["/ad"], {"sub.txt"}),
            (["/as"], set()),
            (["/ar", "/a-d", "/a-h"], {"locked.txt"}),
            (["/a-a"], {"sub.txt"}),
            (["/aa", "/a-r", "/a-h"], {"plain.txt", "kb1.txt", "kb1plus.txt",
                                       "big3g.txt", "big5g.txt"}),
        ]
        for args, names in cases:
            with self.subTest(args=args):
                self.assertEqual(self.selected("/n*.txt", *args), names)

    def test_sizes(self):
        cases = [
            (["/s1"], {"locked.txt", "kb1.txt", "kb1plus.txt", "big3g.txt",
                       "big5g.txt"}),
            (["/s-1"], {"plain.txt", ".hidden.txt", "sub.txt", "kb1.txt"}),
            (["/s1-2"], {"locked.txt", "kb1.txt", "kb1plus.txt"}),
            (["/s2929687"], {"big3g.txt", "big5g.txt"}),
            (["/s4194304"], {"big5g.txt"}),
            (["/s2-4194304"], {"locked.txt", "big3g.txt"}),
        ]
        for args, names in cases:
            with self.subTest(args=args):
                self.assertEqual(self.selected("/n*.txt", *args), names)

    def test_periods(self):
        cases = [
            (["/f990101"], {"y1999.log", "y2000.log", "y2000b.log", "y2050.log",
                            "y2051.log", "h23.log", "h25.log", "d8.log"}),
            (["/f-000131"], {"y1979.log", "y1998.log", "y1999.log",
                             "y2000.log"}),
            (["/f-501231"], {"y1979.log", "y1998.log", "y1999.log",
                             "y2000.log", "y2000b.log", "y2050.log", "h23.log",
                             "h25.log", "d8.log"}),
            (["/f981231-990101"], {"y1998.log", "y1999.log"}),
            (["/f510101"], {"y2051.log"}),
        ]
        for args, names in cases:
            with self.subTest(args=args):
                self.assertEqual(self.selected("/n*.log", *args), names)

    def test_ages(self):
        old = {"y1979.log", "y1998.log", "y1999.log", "y2000.log",
               "y2000b.log", "d8.log"}
        cases = [
            (["/d-1"], {"h23.log", "y2050.log", "y2051.log"}),
            (["/d1"], old | {"h25.log"}),
            (["/d7"], old),
            (["/d-7"], {"h23.log", "h25.log", "y2050.log", "y2051.log"}),
            (["/d-7", "/s-1"], {"h23.log", "h25.log", "y2050.log",
                                "y2051.log"}),
            (["/d7", "/f990101"], {"y1999.log", "y2000.log", "y2000b.log",
                                   "d8.log"}),
        ]
        for args, names in cases:
            with self.subTest(args=args):
                self.assertEqual(self.selected("/n*.log", *args), names)


if __name__ == "__main__":
    unittest.main()
