"""End-to-end tests of names that only POSIX allows: wildcard characters
and backslashes inside names."""
import unittest

from e2e_support import Case, make_tree, posix_only


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


if __name__ == "__main__":
    unittest.main()
