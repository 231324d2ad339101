"""End-to-end tests of what only the POSIX build has to emulate: names
with wildcard characters and backslashes, UTF-8 names read as characters,
names that differ only in case, trees deeper than the system's path limit,
links."""
import os
import resource
import subprocess
import unittest

import e2e_support
from e2e_support import (Case, make_tree, parse_output, posix_only,
                         tool_command)



class PosixNames(Case):
    @posix_only
    def test_names_with_wildcard_characters_print_as_stored(self):
        make_tree(self.root, {"a*b": b"1", "axb": b"2", "q?.txt": b"3"})
        run = self.run_tool("/na*", ".")
        self.assert_search(run, [(b".", {b"./a*b", b"./axb"})],
                           found=2, dirs=1)
        run = self.run_tool("/n*.txt", ".")
        self.assert_search(run, [(b".", {b"./q?.txt"})], found=1, dirs=1)

    @posix_only
    def test_backslash_is_an_ordinary_byte(self):
        make_tree(self.root, {"a\\b.txt": b"1"})
        run = self.run_tool("/n*.txt", ".")
        self.assert_search(run, [(b".", {b"./a\\b.txt"})], found=1, dirs=1)

    @posix_only
    def test_utf8_names_match_by_character_in_any_case(self):
        names = ["é.txt", "表.txt", "école.txt"]
        make_tree(self.root, {name: b"x" for name in names})
        cases = [
            ("/n?.txt", ["é.txt", "表.txt"]),
            ("/n??cole.txt", []),
            ("/nÉ*", ["é.txt", "école.txt"]),
        ]
        for mask, selected in cases:
            with self.subTest(mask=mask):
                run = self.run_tool(mask, ".")
                want = {("./" + name).encode() for name in selected}
                self.assert_search(run, [(b".", want)], found=len(want),
                                   dirs=1)


def make_deep_chain(root, levels, files_at):
    """Nests `levels` directories named d under root, opening each relative
    to its parent (the path soon passes the system's limit), with a file
    f<level>.txt at each level in files_at; returns the printed lines."""
    lines = set()
    fd = os.open(root, os.O_RDONLY)
    for level in range(1, levels + 1):
        os.mkdir("d", dir_fd=fd)
        inner = os.open("d", os.O_RDONLY, dir_fd=fd)
        os.close(fd)
        fd = inner
        if level in files_at:
            name = "f%d.txt" % level
            os.close(os.open(name, os.O_CREAT | os.O_WRONLY, dir_fd=fd))
            lines.add(b"d/" * level + name.encode())
    os.close(fd)
    return lines


class PosixWindowsRules(Case):
    @posix_only
    def test_plain_names_as_windows_takes_them(self):
        make_tree(self.root, {"Top/Sub/f.txt": b"f", "Top/Tx": b"1",
                              "Top/tX": b"2"})
        # A trailing "*." as Windows reads it: only the last "*" stops
        # before the name's last dot (Wine's own scan takes "*." as "*").
        masks = [".a", ".aaa", "a", "aa", "abc", "a.a", "a.a.a", "ab.c",
                 "ea.tmp.tmp", "a.c.t", "ct.t", "act", "act.x", "noext"]
        make_tree(self.root, {"Top/Masks/" + name: b"m" for name in masks})

        def under(*names):
            return {b"Top/Masks/" + n.encode() for n in names}
        cases = [
            ("/nsub.", "Top", {b"Top/Sub"}),
            ("/ntx", "Top", {b"Top/Tx", b"Top/tX"}),
            ("/n*.txt", "top/sub.", {b"Top/Sub/f.txt"}),
            ("/n*.txt", "Top/Sub ", {b"Top/Sub/f.txt"}),
            ("/n.*.", "Top/Masks", under(".a", ".aaa")),
            ("/n**.", "Top/Masks", under(*masks)),
            ("/nea.tmp.tmp*.", "Top/Masks", under("ea.tmp.tmp")),
            ("/n*c*t*.", "Top/Masks", under("a.c.t", "ct.t", "act")),
            ("/na*.", "Top/Masks", under("a", "aa", "abc", "act")),
            ("/n*.", "Top/Masks", under("a", "aa", "abc", "act", "noext")),
            ("/n*.*.", "Top/Masks", under(*masks)),
        ]
        for mask, path, lines in cases:
            with self.subTest(mask=mask, path=path):
                run = self.run_tool(mask, "/r", path)
                self.assert_search(run, [(path.encode(), lines)],
                                   found=len(lines), dirs=1)

    @posix_only
    def test_no_depth_limit(self):
        # Deeper than a walk that recursed on the machine stack could go.
        lines = make_deep_chain(self.root, 30000, {1, 15000, 29999, 30000})
        run = self.run_tool("/n*.txt", "d")
        self.assert_search(run, [(b"d", lines)], found=4, dirs=30000)
        # From a current directory 10,000 levels down, longer than the
        # system's limit, in memory that does not grow with its depth: the
        # search path, a mask's own path and a typed path of 40,000 "..".
        cwd = os.open(self.root, os.O_RDONLY)
        for _ in range(10000):
            inner = os.open("d", os.O_RDONLY, dir_fd=cwd)
            os.close(cwd)
            cwd = inner
        os.close(os.open("here.txt", os.O_CREAT | os.O_WRONLY, dir_fd=cwd))
        rows = [
            (["/nhere.txt", "/r"], b"/d/here.txt\r\n\r\n1 files in 1 dirs."),
            (["/nd/f15000.txt"], b"/d/f15000.txt\r\n\r\n1 files in 20001 dirs."),
            (["/ntmp", "/r", "../" * 40000], b"../tmp\r\n\r\n1 files in 1 dirs."),
        ]
        sanitized = e2e_support.sanitized()

        def start():
            os.fchdir(cwd)
            if not sanitized:  # the sanitizers reserve much address space
                resource.setrlimit(resource.RLIMIT_AS, (64 << 20, 64 << 20))
        for args, tail in rows:
            with self.subTest(args=args[:2]):
                run = subprocess.run(tool_command(args),
                                     stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, preexec_fn=start)
                self.assertEqual(run.stderr, b"")
                self.assertEqual(run.returncode, 0, run.stdout[-300:])
                self.assertTrue(run.stdout.endswith(tail), run.stdout[-80:])
        os.close(cwd)

    @posix_only
    def test_link_graphs_are_walked_once_below_links(self):
        # 16 directories, each with two links to the next: 2^15 paths lead
        # to the one file at the bottom, which is printed along its real
        # path and once below the links.
        make_tree(self.root, {"g/d%02d/" % i: None for i in range(16)})
        make_tree(self.root, {"g/d15/bottom.txt": b"x"})
        for i in range(15):
            for name in ("a", "b"):
                os.symlink("../d%02d" % (i + 1),
                           os.path.join(self.root, "g", "d%02d" % i, name))
        run = self.run_tool("/nbottom.txt", "g")
        blocks, summary = parse_output(run.out)
        self.assertEqual(len(blocks[0][1]), 2, run.describe())
        self.assertIn(b"g/d15/bottom.txt", blocks[0][1])
        self.assertEqual(run.code, 0)

    @posix_only
    def test_a_directory_below_a_link_is_compared_with_the_chain(self):
        make_tree(self.root, {"c/P/D/f.txt": b"f"})
        os.symlink("P/D", os.path.join(self.root, "c", "L"))
        os.symlink("..", os.path.join(self.root, "c", "P", "D", "up"))
        run = self.run_tool("/n*.txt", "c")
        # c, c/L (= D), c/L/up (= P), c/P, c/P/D; not c/L/up/D (= D again).
        self.assert_search(run, [(b"c", {b"c/L/f.txt", b"c/P/D/f.txt"})],
                           found=2, dirs=5)


if __name__ == "__main__":
    unittest.main()
