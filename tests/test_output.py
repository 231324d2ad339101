"""End-to-end tests of output failures: the run ends with exit code 1 and
nothing on standard error, never with a signal."""
import os
import subprocess
import unittest

import e2e_support
from e2e_support import Case, make_tree, message


def run_raw(args, cwd, stdout, preexec=None):
    proc = subprocess.run(e2e_support.tool_command(args), cwd=cwd,
                          stdout=stdout, stderr=subprocess.PIPE,
                          stdin=subprocess.DEVNULL, preexec_fn=preexec,
                          env=e2e_support.tool_environment(), timeout=120)
    return proc.returncode, e2e_support.tool_stderr(proc.stderr)


class OutputFailures(Case):
    def setUp(self):
        super().setUp()
        # Far more output than a pipe holds, so the writer meets the closed
        # end while it is still walking.
        long_name = "n" * 120
        make_tree(self.root, {"d%03d/%s%03d.txt" % (i, long_name, j): b"x"
                              for i in range(40) for j in range(100)})

    def test_reader_that_closes_early(self):
        proc = subprocess.Popen(e2e_support.tool_command(["/n*.txt", "."]),
                                cwd=self.root, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE,
                                env=e2e_support.tool_environment())
        proc.stdout.read(10)
        proc.stdout.close()
        self.assertEqual(proc.wait(timeout=60), 1)
        self.assertEqual(e2e_support.tool_stderr(proc.stderr.read()), b"")

    def test_closed_standard_output(self):
        for args in (["/n*.txt", "."], []):
            with self.subTest(args=args):
                code, err = run_raw(args, self.root, None,
                                    preexec=lambda: os.close(1))
                self.assertEqual((code, err), (1, b""))

    def test_full_device(self):
        if not os.path.exists("/dev/full"):
            self.skipTest("no /dev/full")
        for args in (["/n*.txt", "."], [], ["/x"]):
            with self.subTest(args=args):
                with open("/dev/full", "wb") as full:
                    code, err = run_raw(args, self.root, full)
                self.assertEqual((code, err), (1, b""))

    def test_read_only_standard_output(self):
        # Every write is refused. Where all of the output waits for the
        # last write, its failure still must not read as success.
        path = os.path.join(self.root, "out")
        open(path, "wb").close()
        rows = [
            (["/n*.txt", "."], 1),
            (["--print0", "/n*000.txt", "d000"], 1),
            (["--version"], 1),
            ([], 1),  # the usage screen's whole blocks fail as statements
            (["/x"], 2),
        ]
        for args, expected in rows:
            with self.subTest(args=args):
                with open(path, "rb") as read_only:
                    result = run_raw(args, self.root, read_only)
                self.assertEqual(result, (expected, b""))
        self.assertEqual(os.path.getsize(path), 0)

    def test_null_device_gets_the_same_exit_code(self):
        with open(os.devnull, "wb") as null:
            code, err = run_raw(["/n*.txt", "."], self.root, null)
        self.assertEqual((code, err), (0, b""))

    def test_error_after_valid_options_is_one_line(self):
        run = self.run_tool("/n*.txt", "/s1", "/ar", "/dx", ".")
        self.assertEqual(run.out, message("/d の指定が不正です") + b"\r\n")
        self.assertEqual(run.code, 2)


if __name__ == "__main__":
    unittest.main()
