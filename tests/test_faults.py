"""End-to-end fault tests on the POSIX build: odd trees, odd names and
entries that change under the walk. Each run must end normally, print what
could be read and give the exit code the design gives."""
import os
import resource
import shutil
import subprocess
import tempfile
import threading
import unittest

import e2e_support
from e2e_support import (USAGE, Case, make_chain, make_tree, parse_output,
                         posix_only)

NOBODY = 65534


def lines_of(run):
    blocks, summary = parse_output(run.out)
    return [line for _, lines in blocks for line in lines], summary


class OddTrees(Case):
    @posix_only
    def test_unreadable_directory_as_unprivileged_user(self):
        make_tree(self.root, {"a/ok/f.txt": b"x", "a/locked/g.txt": b"y"})
        os.chmod(self.root, 0o755)
        os.chmod(os.path.join(self.root, "a", "locked"), 0)
        as_nobody = os.getuid() == 0
        proc = subprocess.run(
            [e2e_support.BINARY, "/n*", "a"], cwd=self.root,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            preexec_fn=(lambda: os.setuid(NOBODY)) if as_nobody else None,
            timeout=60)
        self.assertEqual(proc.stderr, b"")
        self.assertEqual(proc.returncode, 0)
        blocks, summary = parse_output(proc.stdout)
        self.assertEqual(sorted(blocks[0][1]),
                         [b"a/locked", b"a/ok", b"a/ok/f.txt"])
        self.assertEqual(summary, b"3 files in 3 dirs.")

    @posix_only
    def test_link_loops_and_dangling_links(self):
        make_tree(self.root, {"a/b/f.txt": b"f"})
        links = {"a/self": ".", "a/b/up": "..", "a/b/top": "../..",
                 "a/root": "/", "a/m1": "m2", "a/m2": "m1",
                 "a/gone": "nowhere"}
        for name, target in links.items():
            os.symlink(target, os.path.join(self.root, name))
        run = self.run_tool("/n*", "a")
        self.assert_search(run, [(b"a", {
            b"a/b", b"a/b/f.txt", b"a/b/up", b"a/b/top", b"a/self",
            b"a/root", b"a/m1", b"a/m2", b"a/gone"})], found=9, dirs=2)

    @posix_only
    def test_thousand_levels(self):
        leaf = make_chain(self.root, 1000, "leaf.txt")
        run = self.run_tool("/n*.txt", "d")
        self.assert_search(run, [(b"d", {leaf})], found=1, dirs=1000)

    @posix_only
    def test_path_longer_than_the_system_limit(self):
        name = "x" * 200
        fd = os.open(self.root, os.O_RDONLY)
        try:
            for _ in range(25):  # 5,000 bytes of path
                os.mkdir(name, dir_fd=fd)
                inner = os.open(name, os.O_RDONLY, dir_fd=fd)
                os.close(fd)
                fd = inner
            os.close(os.open("deep.txt", os.O_CREAT | os.O_WRONLY, 0o644,
                             dir_fd=fd))
        finally:
            os.close(fd)
        run = self.run_tool("/n*.txt", ".")
        lines, summary = lines_of(run)
        self.assertEqual(summary, b"1 files in 26 dirs.")
        self.assertEqual(lines, [b"./" + b"/".join([name.encode()] * 25) +
                                 b"/deep.txt"])
        self.assertEqual(run.code, 0)

    @posix_only
    def test_hundred_thousand_entries_in_one_directory(self):
        big = os.path.join(self.root, "big")
        os.mkdir(big)
        for i in range(100000):
            os.close(os.open(os.path.join(big, "f%06d.dat" % i),
                             os.O_CREAT | os.O_WRONLY, 0o644))
        run = self.run_tool("/n*", "/r", "big")
        lines, summary = lines_of(run)
        self.assertEqual(summary, b"100000 files in 1 dirs.")
        self.assertEqual(len(set(lines)), 100000)
        self.assertIn(b"big/f099999.dat", lines)


class OddNames(Case):
    @posix_only
    def test_names_pass_through_byte_for_byte(self):
        names = [b"new\nline", b"carriage\rreturn", b"tab\there",
                 bytes(range(0x80, 0x100, 7)), b"bad\xff\xfeutf8",
                 b"\xe3\x81\x82.txt", b"n" * 255]
        for name in names:
            with open(os.path.join(self.root.encode(), name), "wb") as f:
                f.write(b"x")
        run = self.run_tool("/n*", ".")
        lines, summary = lines_of(run)
        self.assertEqual(sorted(lines), sorted(b"./" + n for n in names))
        self.assertEqual(summary, b"%d files in 1 dirs." % len(names))


class EmptyPath(Case):
    @posix_only
    def test_empty_path_with_several_wildcard_masks(self):
        # The second walk looks the empty directory text up among the
        # listings the first one kept (the sanitizer build stops on a fault).
        make_tree(self.root, {"a.txt": b"a", "d/b.doc": b"b"})
        for masks in ("/n*.txt:*.doc", "/n*:*"):
            with self.subTest(masks=masks):
                run = self.run_tool(masks, "")
                self.assertTrue(run.out.endswith(b" dirs."), run.describe())
                self.assertEqual(run.code, 0, run.describe())


class ChangingTrees(Case):
    @posix_only
    def test_entries_vanishing_during_the_walk(self):
        for d in range(20):
            make_tree(self.root, {"d%02d/f%04d" % (d, i): b"x"
                                  for i in range(500)})
        stop = threading.Event()

        def remove_files():
            for d in range(20):
                for i in range(500):
                    if stop.is_set():
                        return
                    try:
                        os.unlink(os.path.join(self.root, "d%02d" % d,
                                               "f%04d" % i))
                    except OSError:
                        pass
                shutil.rmtree(os.path.join(self.root, "d%02d" % d),
                              ignore_errors=True)

        remover = threading.Thread(target=remove_files)
        remover.start()
        try:
            for _ in range(5):
                run = self.run_tool("/n*", "/a-r", ".")
                lines, summary = lines_of(run)
                found = int(summary.split(b" ")[0])
                self.assertEqual(found, len(lines))
                self.assertIn(run.code, (0, 1))
        finally:
            stop.set()
            remover.join()


def run_to(args, cwd, stdout, preexec=None, env=None):
    """Runs the tool with standard output on `stdout`; (code, stderr)."""
    proc = subprocess.run(e2e_support.tool_command(args), cwd=cwd,
                          stdout=stdout, stderr=subprocess.PIPE,
                          stdin=subprocess.DEVNULL, preexec_fn=preexec,
                          env=env or e2e_support.tool_environment(),
                          timeout=120)
    return proc.returncode, e2e_support.tool_stderr(proc.stderr)


def file_size_limit(limit):
    """A preexec step: the run may write at most `limit` bytes to a file;
    a longer write is refused (as by a full quota)."""
    return lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))


class RefusedOutput(Case):
    """Output to a pipe or a file leaves in gathered writes; a gathered
    write that fails ends the run with exit code 1, as the statement that
    handed over its first refused block would have. Only the last partial
    block, which the final flush alone writes, may fail unseen."""

    def setUp(self):
        super().setUp()
        # About 3 KB of matches: less than one gathered write.
        make_tree(self.root, {"f%02d_%s.txt" % (i, "m" * 70): b"x"
                              for i in range(40)})
        self.matches = self.run_tool("/n*.txt", ".").out
        self.assertEqual(len(self.matches) // 1000, 3)

    def test_reader_gone_before_the_first_write(self):
        for args in (["/n*.txt", "."], []):
            with self.subTest(args=args):
                read_end, write_end = os.pipe()
                os.close(read_end)
                try:
                    result = run_to(args, self.root, write_end)
                finally:
                    os.close(write_end)
                self.assertEqual(result, (1, b""))

    @posix_only
    def test_file_that_refuses_writes(self):
        # (arguments, bytes the file takes, whole output, exit code)
        rows = [
            (["/n*.txt", "."], 0, self.matches, 1),
            (["/n*.txt", "."], 1000, self.matches, 1),
            ([], 0, USAGE, 1),
            ([], 200, USAGE, 1),  # the second block is refused
            ([], 300, USAGE, 2),  # only the last partial block is
        ]
        for args, limit, whole, code in rows:
            with self.subTest(args=args, limit=limit):
                with tempfile.TemporaryFile() as f:
                    result = run_to(args, self.root, f,
                                    preexec=file_size_limit(limit))
                    f.seek(0)
                    self.assertEqual(f.read(), whole[:limit])
                self.assertEqual(result, (code, b""))

    @posix_only
    def test_null_device_takes_gathered_writes(self):
        if not shutil.which("strace"):
            self.skipTest("no strace")
        trace = os.path.join(self.root, "trace")
        with open(os.devnull, "wb") as null:
            proc = subprocess.run(
                ["strace", "-e", "trace=write", "-o", trace,
                 e2e_support.BINARY, "/n*.txt", "."], cwd=self.root,
                stdout=null, stderr=subprocess.PIPE, timeout=120)
        if proc.returncode != 0:
            self.skipTest("strace cannot trace here")
        with open(trace, "rb") as f:
            writes = [line for line in f if line.startswith(b"write(1,")]
        self.assertEqual(len(writes), 1)


# Makes every allocation after the first KESTRIV_TEST_ALLOCATIONS fail.
FAILING_ALLOCATOR = r"""
#include <errno.h>
#include <stddef.h>
#include <stdlib.h>
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
static long left = -1;
static int granted(void) {
  if (left < 0) {
    const char *text = getenv("KESTRIV_TEST_ALLOCATIONS");
    left = text ? atol(text) : 0;
  }
  if (left == 0) { errno = ENOMEM; return 0; }
  --left;
  return 1;
}
void *malloc(size_t n) { return granted() ? __libc_malloc(n) : NULL; }
void *calloc(size_t n, size_t m) { return granted() ? __libc_calloc(n, m) : NULL; }
void *realloc(void *p, size_t n) { return granted() ? __libc_realloc(p, n) : NULL; }
"""


class NoMemory(Case):
    @posix_only
    def test_start_up_without_memory(self):
        with open(e2e_support.BINARY, "rb") as f:
            if b"__asan_init" in f.read():
                self.skipTest("the sanitizers bring their own allocator")
        compiler = shutil.which("cc")
        if not compiler:
            self.skipTest("no C compiler for the failing allocator")
        source = os.path.join(self.root, "failing_allocator.c")
        with open(source, "w") as f:
            f.write(FAILING_ALLOCATOR)
        shim = os.path.join(self.root, "failing_allocator.so")
        subprocess.run([compiler, "-shared", "-fPIC", "-o", shim, source],
                       check=True)
        # From nothing at all (not even the C++ runtime's own reserve) to
        # a little more than start-up needs.
        for granted in range(0, 8):
            for args in ([], ["/n*.txt", "."]):
                with self.subTest(granted=granted, args=args):
                    env = dict(os.environ, LD_PRELOAD=shim,
                               KESTRIV_TEST_ALLOCATIONS=str(granted))
                    result = run_to(args, self.root, subprocess.PIPE,
                                    env=env)
                    self.assertEqual(result, (1, b""))


if __name__ == "__main__":
    unittest.main()
