"""End-to-end tests of names that only POSIX allows: wildcard characters
and backslashes inside names, UTF-8 names read as characters."""
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


if __name__ == "__main__":
    unittest.main()
