"""End-to-end fault tests on the POSIX build: odd trees, odd names and
entries that change under the walk. Each run must end normally, print what
could be read and give the exit code the design gives."""
import errno
import os
import resource
import shutil
import subprocess
import tempfile
import threading
import unittest

import e2e_support
from e2e_support import (CRLF, USAGE, Case, locale_installed,
                         make_tree, message, parse_output, posix_only,
                         run_on_terminal)

NOBODY = 65534


def lines_of(run):
    blocks, summary = parse_output(run.out)
    return [line for _, lines in blocks for line in lines], summary


class OddTrees(Case):
    @posix_only
    def test_unreadable_directory_as_unprivileged_user(self):
        # Enough directories for workers to start before the locked one.
        make_tree(self.root, {"a/ok/f.txt": b"x", "a/z/locked/g.txt": b"y"})
        make_tree(self.root, {"a/w%02d/h.txt" % i: b"h" for i in range(12)})
        os.chmod(self.root, 0o755)
        os.chmod(os.path.join(self.root, "a", "z", "locked"), 0)
        as_nobody = os.getuid() == 0
        expected = sorted([b"a/z", b"a/z/locked", b"a/ok", b"a/ok/f.txt"] +
                          [b"a/w%02d" % i for i in range(12)] +
                          [b"a/w%02d/h.txt" % i for i in range(12)])
        outputs = set()
        for threads in ([], ["--threads", "1"], ["--threads", "8"]):
            with self.subTest(threads=threads):
                proc = subprocess.run(
                    [e2e_support.BINARY] + threads + ["/n*", "a"],
                    cwd=self.root, stdout=subprocess.PIPE,
                    stderr=subprocess.PIPE, timeout=60,
                    preexec_fn=((lambda: os.setuid(NOBODY)) if as_nobody
                                else None))
                self.assertEqual(proc.stderr, b"")
                self.assertEqual(proc.returncode, 0)
                blocks, summary = parse_output(proc.stdout)
                self.assertEqual(sorted(blocks[0][1]), expected)
                self.assertEqual(summary, b"28 files in 16 dirs.")
                outputs.add(proc.stdout)
        self.assertEqual(len(outputs), 1)  # in the same order

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
    def test_descriptors_held_before_the_run(self):
        # 950 of 1,024 descriptors are taken when the run starts: a tree
        # 200 levels deep is still walked whole.
        entries = {}
        for level in range(1, 201):
            for i in range(20):
                entries["d/" * level + "f%02d.txt" % i] = b"x"
        make_tree(self.root, entries)
        held = [os.open(os.devnull, os.O_RDONLY) for _ in range(950)]
        try:
            proc = subprocess.run(
                e2e_support.tool_command(["/n*.txt", "d"]), cwd=self.root,
                stdout=subprocess.PIPE, stderr=subprocess.PIPE, pass_fds=held,
                preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE,
                                                      (1024, 1024)),
                timeout=120)
        finally:
            for fd in held:
                os.close(fd)
        self.assertEqual(proc.stderr, b"")
        self.assertEqual(proc.returncode, 0)
        self.assertTrue(proc.stdout.endswith(b"\r\n4000 files in 200 dirs."),
                        proc.stdout[-60:])

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
                 b"\xe3\x81\x82.txt", b"n" * 255, b"surrogate\xed\xa0\x80"]
        for name in names:
            with open(os.path.join(self.root.encode(), name), "wb") as f:
                f.write(b"x")
        # --utf8 changes the messages only: names stay the bytes they are.
        for first in ([], ["--utf8"]):
            with self.subTest(first=first):
                run = self.run_tool(*first, "/n*", ".")
                lines, summary = lines_of(run)
                self.assertEqual(sorted(lines),
                                 sorted(b"./" + n for n in names))
                self.assertEqual(summary,
                                 b"%d files in 1 dirs." % len(names))


class Terminal(Case):
    @posix_only
    def test_control_characters_in_paths_show_as_question_marks(self):
        # (name or typed path, locale, what the terminal shows)
        cases = [
            (b"\x1b]0;pwned\x07.txt", "C.UTF-8", b"./?]0;pwned?.txt"),
            (b"\x1b[2J.txt", "C.UTF-8", b"./?[2J.txt"),
            (b"cr\r\nfake.txt", "C.UTF-8", b"./cr??fake.txt"),
            (b"del\x7f.txt", "C.UTF-8", b"./del?.txt"),
            (b"csi\xc2\x9b2J.txt", "C.UTF-8", b"./csi?2J.txt"),
            (b"\xc3\xa9t\xc3\xa9.txt", "C.UTF-8", b"./\xc3\xa9t\xc3\xa9.txt"),
            # In Shift_JIS C2 is a character of its own, and 82 A0 is one.
            (b"\xc2\x82\xa0.txt", "ja_JP.SJIS", b"./\xc2\x82\xa0.txt"),
            (b"\xc2\x82\xa0.txt", "C.UTF-8", b"./?\xa0.txt"),
        ]
        for name, locale, shown in cases:
            with self.subTest(name=name, locale=locale):
                if locale == "ja_JP.SJIS" and not locale_installed(locale):
                    continue  # test.sh makes it
                work = tempfile.mkdtemp(dir=self.root)
                with open(os.path.join(os.fsencode(work), name), "wb") as f:
                    f.write(b"x")
                for args, out in (
                        (["/n*.txt", "/r", "."],
                         b"/ . /" + CRLF + shown + CRLF + CRLF +
                         b"1 files in 1 dirs."),
                        (["--print0", "/n*.txt", "."], shown + b"\0")):
                    code, got, err = run_on_terminal(args, work, locale)
                    self.assertEqual((code, got, err), (0, out, b""))
        # A typed path is shown the same way in its header.
        code, got, _ = run_on_terminal(["/n*", "no\x1bsuch"], self.root,
                                       "C.UTF-8")
        self.assertEqual((code, got),
                         (1, b"/ no?such /" + CRLF + CRLF + b"0 files in 1 dirs."))


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


    @posix_only
    def test_directory_replaced_by_a_link_after_its_listing(self):
        # The walk is held at its first write, after "top" was listed and
        # before "top/sub" is entered; "sub" then becomes a link to "..".
        # It must not be entered: that would walk "top" once more.
        make_tree(self.root, {"top/sub/": None})
        make_tree(self.root, {"top/%s%03d.txt" % ("n" * 200, i): b"x"
                              for i in range(400)})
        proc = subprocess.Popen(
            e2e_support.tool_command(["/n*.txt", "top"]), cwd=self.root,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        first = proc.stdout.read(1)  # the header: "top" is listed
        sub = os.path.join(self.root, "top", "sub")
        os.rmdir(sub)
        os.symlink("..", sub)
        out, err = proc.communicate(timeout=60)
        self.assertEqual(err, b"")
        self.assertTrue((first + out).endswith(b"\r\n400 files in 2 dirs."),
                        (first + out)[-60:])


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
    handed over its first refused block would have. A failure of the last
    write, which the final flush alone makes, turns exit code 0 into 1."""

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
            # Refused in the final flush only (the last partial block).
            (["/n*.txt", "."], len(self.matches) - 1, self.matches, 1),
            (["--print0", "/n*.txt", "."], 1024,
             self.run_tool("--print0", "/n*.txt", ".").out, 1),
            (["--version"], 5, b"kestriv 1.01" + CRLF, 1),
        ]
        # ThreadSanitizer's runtime takes the signal of a write past a zero
        # limit for itself.
        no_zero = e2e_support.sanitized([b"__tsan_init"])
        for args, limit, whole, code in self.rows_read_ahead(rows):
            if limit == 0 and no_zero:
                continue
            with self.subTest(args=args, limit=limit):
                with tempfile.TemporaryFile() as f:
                    result = run_to(args, self.root, f,
                                    preexec=file_size_limit(limit))
                    f.seek(0)
                    self.assertEqual(f.read(), whole[:limit])
                self.assertEqual(result, (code, b""))

    def rows_read_ahead(self, rows):
        """The rows, then rows refused while workers read ahead, blocked or
        running: the run ends at once as without them."""
        yield from rows
        make_tree(self.root, {"many/d%03d/e/%s.txt" % (i, "n" * 60): b"x"
                              for i in range(300)})
        for threads in (["--threads", "1"], ["--threads", "6"], []):
            args = threads + ["/n*.txt", "many"]
            yield args, 4096, self.run_tool(*args).out, 1

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


# Makes the first write to standard output of at least 4096 bytes fail with
# the errno KESTRIV_TEST_WRITE_ERRNO; every other write passes.
FAILING_WRITE = r"""
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <unistd.h>
static int failed;
ssize_t write(int fd, const void *data, size_t size) {
  static ssize_t (*real)(int, const void *, size_t);
  if (!real) real = (ssize_t (*)(int, const void *, size_t))dlsym(RTLD_NEXT, "write");
  if (fd == 1 && size >= 4096 && !failed) {
    failed = 1;
    errno = atoi(getenv("KESTRIV_TEST_WRITE_ERRNO"));
    return -1;
  }
  return real(fd, data, size);
}
"""


def build_shim(test, source_text, name):
    """Compiles a preloadable library into the test's tree; skips the test
    where that cannot work."""
    if e2e_support.sanitized():
        test.skipTest("the sanitizers bring their own allocator and "
                      "must come first in the process")
    compiler = shutil.which("cc")
    if not compiler:
        test.skipTest("no C compiler for the preloaded library")
    source = os.path.join(test.root, name + ".c")
    with open(source, "w") as f:
        f.write(source_text)
    shim = os.path.join(test.root, name + ".so")
    subprocess.run([compiler, "-shared", "-fPIC", "-o", shim, source,
                    "-ldl"], check=True)
    return shim


class FailedWriteReports(Case):
    @posix_only
    def test_report_names_the_cause_by_its_windows_code(self):
        # More than one gathered write, so that a statement's write fails.
        make_tree(self.root, {"f%02d_%s.txt" % (i, "m" * 70): b"x"
                              for i in range(80)})
        shim = build_shim(self, FAILING_WRITE, "failing_write")
        io_error = "I/O エラー (%d)"
        cases = [
            ("EACCES", "ファイルへのアクセスが拒否されました"),
            ("EPERM", "ファイルへのアクセスが拒否されました"),
            ("EIO", io_error % 29),
            ("ENOSPC", io_error % 112),
            ("EDQUOT", io_error % 112),
            ("EPIPE", io_error % 109),
            ("EBADF", io_error % 6),
            ("EFBIG", io_error % 223),
            ("ENOENT", "ファイルが見つかりません"),
        ]
        for name, text in cases:
            with self.subTest(errno=name):
                env = dict(e2e_support.tool_environment(), LD_PRELOAD=shim,
                           KESTRIV_TEST_WRITE_ERRNO=str(getattr(errno, name)))
                proc = subprocess.run(
                    [e2e_support.BINARY, "/n*.txt", "."], cwd=self.root,
                    stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                    env=env, timeout=60)
                self.assertEqual((proc.returncode, proc.stderr), (1, b""))
                # The report alone: the refused block and all after it are
                # gone.
                self.assertTrue(proc.stdout.startswith(b"EInOutError"),
                                proc.stdout[:200])
                self.assertTrue(proc.stdout.endswith(
                    b"\n" + message(text) + b"." + CRLF), proc.stdout[-80:])


class NoMemory(Case):
    @posix_only
    def test_start_up_without_memory(self):
        shim = build_shim(self, FAILING_ALLOCATOR, "failing_allocator")
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
