"""End-to-end tests of what only the POSIX build has to emulate: names
with wildcard characters and backslashes, UTF-8 names read as characters,
names that differ only in case, trees deeper than the system's path limit,
links."""
import os
import subprocess
import unittest

from e2e_support import Case, make_tree, posix_only, tool_command


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
        cases = [
            ("/nsub.", "Top", {b"Top/Sub"}),
            ("/ntx", "Top", {b"Top/Tx", b"Top/tX"}),
            ("/n*.txt", "top/sub.", {b"Top/Sub/f.txt"}),
            ("/n*.txt", "Top/Sub ", {b"Top/Sub/f.txt"}),
        ]
        for mask, path, lines in cases:
            with self.subTest(mask=mask, path=path):
                run = self.run_tool(mask, "/r", path)
                self.assert_search(run, [(path.encode(), lines)],
                                   found=len(lines), dirs=1)

    @posix_only
    def test_no_depth_limit(self):
        lines = make_deep_chain(self.root, 3000, {1, 1500, 2999, 3000})
        run = self.run_tool("/n*.txt", "d")
        self.assert_search(run, [(b"d", lines)], found=4, dirs=3000)
        # From a current directory longer than the system's limit.
        cwd = os.open(self.root, os.O_RDONLY)
        for _ in range(2999):
            inner = os.open("d", os.O_RDONLY, dir_fd=cwd)
            os.close(cwd)
            cwd = inner
        os.close(os.open("here.txt", os.O_CREAT | os.O_WRONLY, dir_fd=cwd))
        run = subprocess.run(tool_command(["/nhere.txt", "/r"]),
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             preexec_fn=lambda: os.fchdir(cwd))
        os.close(cwd)
        self.assertEqual(run.stderr, b"")
        self.assertEqual(run.returncode, 0)
        self.assertTrue(run.stdout.endswith(b"/d/here.txt\r\n\r\n"
                                            b"1 files in 1 dirs."),
                        run.stdout[-80:])

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
