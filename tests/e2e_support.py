#!/usr/bin/env python3
"""Support for the end-to-end tests: runs the built kestriv on real
temporary trees and compares the exact output bytes and the exit code.

Entries come in directory order, so each directory's entries are compared
as a set, while the order rules that do hold are checked: a directory's
matches are printed together, before anything below it.

The tool writes its own messages in UTF-8 on POSIX (runs get LC_ALL=C.UTF-8
unless a test names another locale) and as code page 932 bytes on Windows;
message() gives the bytes to expect.

With --platform win32 the tool is the Windows build, run through Wine under
a Japanese locale. The tests are written with POSIX paths; the harness turns
the "/" of search-path arguments and of expected paths into "\\", and an
absolute path into its Wine form on drive Z:, so the same expectations hold
on both platforms.
"""
import fcntl
import functools
import ntpath
import os
import posixpath
import pty
import re
import select
import struct
import subprocess
import tempfile
import termios
import time
import tty
import unittest

# Set by configure() (run_end_to_end.py), before the test modules load.
BINARY = None
PLATFORM = "posix"
CRLF = b"\r\n"

# The locale of POSIX runs: the tool's messages are then UTF-8.
POSIX_LOCALE = "C.UTF-8"

USAGE_LINES = [
    "",
    "KESTRIV version 1.01 by Orvanth",
    "",
    "   >kestriv <option>[|<path>]",
    "     /nfile_name          : 検索ファイル名   /a{r|h|s|a|d} : 属性（ -:以外）",
    "     /f{YYMMDD}|{-yymmdd} : 期間             /d{day|-day}  : 相対日付",
    "     /s{下限}|{-上限}     : サイズ（ kb ）   /vs           : 表示モード",
    "     /r                   : ディレクトリ非再帰",
]


# What --help adds below the usage screen.
HELP_LINES = [
    "     --                   : 以降の引数はすべてパス（ / で始まるものも ）",
    "     --print0             : パスのみ、NUL 区切りで出力（ スクリプト向け ）",
    "     --bare               : パスのみ、1 行に 1 つ出力（ 見出し・集計なし ）",
    "     --exclude MASK       : 名前が合うものを除外（ ディレクトリには入らない ）",
    "     --max-depth N        : 検索する階層の深さ（ 1 は /r と同じ ）",
    "     --threads N          : 先読みのスレッド数（ 1 で先読みなし ）",
    "     --utf8               : 出力を UTF-8 で（ パイプ・ファイル向け ）",
    "     --version            : バージョンを表示",
    "",
    "   終了コード : 0 見つかった / 1 見つからない・失敗 / 2 指定の誤り",
]


def message(text, encoding=None):
    """The bytes the tool writes for one of its messages: code page 932 on
    Windows, UTF-8 on POSIX (unless `encoding` says otherwise)."""
    return text.encode(encoding or ("cp932" if is_windows() else "utf-8"))


def usage(encoding=None):
    return CRLF.join(message(line, encoding) for line in USAGE_LINES) + CRLF


def help_screen(encoding=None):
    return usage(encoding) + b"".join(message(line, encoding) + CRLF
                                      for line in HELP_LINES)


def option_is_directory(arg, encoding=None):
    """The error line for an option argument that also names a directory
    (POSIX)."""
    return (b"'" + os.fsencode(arg) + b"' " + message(
        "はオプションとディレクトリのどちらにも取れます。"
        "パスは -- の後に指定してください", encoding) + CRLF)


def platform_line_end():
    return CRLF if is_windows() else b"\n"


def locale_installed(name):
    listed = subprocess.run(["locale", "-a"], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL).stdout
    wanted = name.lower().replace("-", "").encode()
    return wanted in listed.lower().replace(b"-", b"").split()


def windows_printed(text):
    """A name or path as the Windows build prints it: code page 932 bytes,
    "?" for each UTF-16 unit of a character the code page lacks."""
    out = b""
    for char in text:
        try:
            out += char.encode("cp932")
        except UnicodeEncodeError:
            out += b"?" * (2 if ord(char) > 0xFFFF else 1)
    return out


def console_printed(text):
    """A name or path as the Windows build writes it to a console (UTF-16)
    and Wine's console shows it on a UTF-8 terminal: each character as
    UTF-8, but one outside the Basic Multilingual Plane as U+FFFD for each
    of its two UTF-16 units, which that console converts one by one."""
    return b"".join("\ufffd\ufffd".encode() if ord(char) > 0xFFFF
                    else char.encode() for char in text)


def configure(binary, platform):
    """Sets the binary under test and the message bytes the tests expect."""
    global BINARY, PLATFORM, USAGE, HELP, BAD_OPTION, BAD_NAME, NO_MASK
    global BAD_UTF8
    BINARY, PLATFORM = binary, platform
    USAGE = usage()
    HELP = help_screen()
    BAD_OPTION = message("オプションが間違っています") + CRLF
    BAD_NAME = message("/n の指定が不正です") + CRLF
    NO_MASK = message("検索ファイル名を指定してください") + CRLF
    BAD_UTF8 = message("--utf8 の指定が不正です") + CRLF



def is_windows():
    return PLATFORM == "win32"


def posix_only(test):
    """Skips a test in the Windows build."""
    @functools.wraps(test)
    def wrapper(self, *args, **kwargs):
        if is_windows():
            self.skipTest("POSIX build only")
        return test(self, *args, **kwargs)
    return wrapper


def windows_only(test):
    """Skips a test in the POSIX build."""
    @functools.wraps(test)
    def wrapper(self, *args, **kwargs):
        if not is_windows():
            self.skipTest("Windows build only")
        return test(self, *args, **kwargs)
    return wrapper


def native_arg(arg):
    """A search-path argument in the platform's syntax; options (anything
    that begins with "/") stay as typed."""
    if not is_windows() or arg.startswith("/"):
        return arg
    return arg.replace("/", "\\")


def native_path(path):
    """An expected output path (bytes) in the platform's syntax: under Wine
    an absolute POSIX path is on drive Z:."""
    if not is_windows():
        return path
    if path.startswith(b"/"):
        path = b"Z:" + path
    return path.replace(b"/", b"\\")


def path_module():
    return ntpath if is_windows() else posixpath


def wine_environment():
    env = dict(os.environ)
    env.setdefault("WINEPREFIX",
                   os.path.join(os.path.dirname(BINARY), "wineprefix"))
    env["WINEDEBUG"] = "-all"
    env["LC_ALL"] = "ja_JP.UTF-8"
    return env


_wine_ready = False


def start_wine():
    """Creates the Wine prefix on first use and starts a Wine session (the
    server and its system processes) that outlives the runs, detached from
    every pipe. Otherwise the first run would start the session, its
    processes would inherit that run's standard error, and reading the pipe
    to its end would wait until the session ends (seconds per run)."""
    global _wine_ready
    if _wine_ready:
        return
    env = wine_environment()
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                 stderr=subprocess.DEVNULL, env=env)
    if not os.path.exists(os.path.join(env["WINEPREFIX"], "system.reg")):
        subprocess.run(["wineboot", "-i"], check=True, timeout=600, **quiet)
        subprocess.run(["wineserver", "-w"], timeout=600, **quiet)
    # Persistent until 30 seconds after the last run; it goes by itself.
    # It refuses to start when a server for the prefix already runs; that
    # one serves as well.
    subprocess.run(["wineserver", "-p30"], timeout=60, **quiet)
    subprocess.run(["wine", BINARY], timeout=600, **quiet)
    _wine_ready = True


# What Wine itself may print on standard error even with WINEDEBUG=-all.
WINE_NOISE = re.compile(
    rb"^(?:[0-9a-f]{4,}:)?(?:fixme|err|warn|trace):|^wine: |^Wine |"
    rb"^it looks like wine32|^multiarch needs|^execute \"dpkg|^as root, ")


def tool_stderr(err):
    """Standard error without the platform layer's own noise (Wine's)."""
    if not is_windows():
        return err
    return b"".join(line for line in err.splitlines(keepends=True)
                    if not WINE_NOISE.match(line))


def sanitized(runtimes=(b"__asan_init", b"__tsan_init")):
    """True when the binary under test carries a sanitizer's runtime (by
    default any), which brings its own allocator and reserves much address
    space."""
    with open(BINARY, "rb") as f:
        data = f.read()
    return any(runtime in data for runtime in runtimes)


def tool_command(args, raw=False):
    """The command that runs the tool with args (for subprocess); search-path
    arguments are converted to the platform's syntax unless raw is set.
    KESTRIV_TEST_THREADS=N in the environment runs every search with
    --threads N (a run without arguments stays one)."""
    args = list(args) if raw else [native_arg(a) for a in args]
    threads = os.environ.get("KESTRIV_TEST_THREADS")
    if threads and args:
        args = ["--threads", threads] + args
    if is_windows():
        start_wine()
        return ["wine", BINARY] + args
    return [BINARY] + args


def tool_environment(locale=None):
    """The environment for tool_command: on POSIX this process's own with
    LC_ALL set to `locale` (POSIX_LOCALE by default)."""
    if is_windows():
        return wine_environment()
    env = dict(os.environ)
    env["LC_ALL"] = locale or POSIX_LOCALE
    return env


class Run:
    """One finished run of the tool. Search-path arguments are converted to
    the platform's syntax unless raw is set."""

    def __init__(self, args, cwd=None, stdout=subprocess.PIPE, raw=False,
                 locale=None):
        command, env = tool_command(args, raw), tool_environment(locale)
        self.command = command
        for attempt in range(2):
            proc = subprocess.run(command, cwd=cwd, stdout=stdout, env=env,
                                  stderr=subprocess.PIPE,
                                  stdin=subprocess.DEVNULL, timeout=120)
            # Now and then a Wine start ends at once with exit code 1 and no
            # output at all (seen with --threads 1 /r, where no thread but
            # the walk's runs); once more tells it from the tool's own run.
            if not (is_windows() and stdout == subprocess.PIPE and
                    proc.returncode == 1 and not proc.stdout and
                    not tool_stderr(proc.stderr)):
                break
        self.out = proc.stdout
        self.raw_err = proc.stderr
        self.err = tool_stderr(proc.stderr)
        self.code = proc.returncode

    def describe(self):
        """What the run did, for a failure message: the command, the exit
        code and both streams (standard error with Wine's own lines)."""
        return "\n".join([
            "command: %r" % (self.command,),
            "exit code: %r" % (self.code,),
            "stdout (%d bytes): %r" % (len(self.out or b""), self.out),
            "stderr: %r" % (self.raw_err,),
        ])


class Shown:
    """A finished run whose output was read elsewhere than from a pipe (a
    terminal, a file), seen as a Run is."""

    def __init__(self, command, code, out, err):
        self.command, self.code, self.out = command, code, out
        self.raw_err = self.err = err

    describe = Run.describe


# The cursor hiding and showing Wine's console wraps around every write.
WINE_CONSOLE_NOISE = re.compile(rb"\x1b\[\?25[lh]")


# Written to the terminal by the test after the tool has exited: everything
# read before it is what the tool wrote.
TERMINAL_END = b"\x1e<end of run>\x1e"


def run_on_terminal(args, cwd, locale=None, command=None):
    """Runs the tool (or `command`) with standard output on a terminal (a
    pty in raw mode, so the bytes arrive as written; under Wine a console on
    it); (exit code, bytes, standard error)."""
    controller, terminal = pty.openpty()
    tty.setraw(terminal)
    # Wide enough that no line of a test wraps (Wine's console would redraw
    # a wrapped line).
    fcntl.ioctl(terminal, termios.TIOCSWINSZ, struct.pack("HHHH", 50, 1000,
                                                          0, 0))
    proc = subprocess.Popen(command or tool_command(args), cwd=cwd,
                            stdout=terminal, stderr=subprocess.PIPE,
                            # Wine makes its console of a terminal on both.
                            stdin=terminal if is_windows() else
                            subprocess.DEVNULL,
                            env=tool_environment(locale))
    # The test keeps its own end of the terminal open: were the tool's the
    # last, its closing could hang the terminal up before the last bytes
    # it wrote are read (seen on a loaded machine). The end marker, written
    # once the tool has gone, tells when everything has arrived.
    out = b""
    deadline = time.monotonic() + 120
    while proc.poll() is None and time.monotonic() < deadline:
        out += read_ready(controller, 0.05)
    if proc.poll() is None:
        proc.kill()  # a hung run fails below, with what it printed
    os.write(terminal, TERMINAL_END)
    deadline = time.monotonic() + 60
    while TERMINAL_END not in out and time.monotonic() < deadline:
        out += read_ready(controller, 0.5)
    os.close(terminal)
    os.close(controller)
    assert out.endswith(TERMINAL_END), "the terminal's output ends early"
    out = out[:-len(TERMINAL_END)]
    if is_windows():
        out = WINE_CONSOLE_NOISE.sub(b"", out)
    return proc.wait(), out, tool_stderr(proc.stderr.read())


def wine_path(posix_path):
    """The Wine path (drive Z:) of an absolute POSIX path, as bytes."""
    return b"Z:" + os.fsencode(posix_path).replace(b"/", b"\\")


def run_in_console_code_page(args, cwd, code_page):
    """Runs the tool under Wine through cmd on a console (a terminal) whose
    output code page chcp sets to `code_page`, its standard output
    redirected to a file; (exit code, the file's bytes, standard error).
    The arguments must hold no blank and nothing cmd takes itself."""
    command = tool_command(args)
    with tempfile.TemporaryDirectory(prefix="kestriv-out-") as out_dir:
        out_file = os.path.join(out_dir, "out")
        code, shown, err = run_on_terminal(None, cwd, command=[
            "wine", "cmd", "/c", "chcp", str(code_page), ">", "NUL", "&",
            os.fsdecode(wine_path(BINARY))] + command[2:] +
            [">", os.fsdecode(wine_path(out_file))])
        assert shown == b"", "cmd wrote to the console: %r" % shown
        with open(out_file, "rb") as f:
            return code, f.read(), err


def read_ready(fd, seconds):
    """What `fd` has to read within `seconds`, b"" if nothing."""
    ready, _, _ = select.select([fd], [], [], seconds)
    return os.read(fd, 65536) if ready else b""


def make_tree(root, entries):
    """Creates files and directories under root: a name ending in "/" is a
    directory, anything else a file with the given bytes."""
    for name, content in entries.items():
        path = os.path.join(root, name)
        if name.endswith("/"):
            os.makedirs(path, exist_ok=True)
        else:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(content)


def parse_output(out):
    """Splits a search's output into [(header, [lines])], the summary."""
    assert out.endswith(b" dirs."), out[-40:]
    body, _, summary = out.rpartition(CRLF)
    lines = body.split(CRLF)
    assert lines[-1] == b"", "the summary follows an empty line"
    blocks = []
    for line in lines[:-1]:
        if line.startswith(b"/ ") and line.endswith(b" /"):
            blocks.append((line[2:-2], []))
        else:
            blocks[-1][1].append(line)
    return blocks, summary


def check_directory_order(test, lines):
    """Each directory's matches are contiguous and come before the matches
    of its subdirectories."""
    paths = path_module()
    delimiter = paths.sep.encode()
    seen_dirs = []
    for line in lines:
        parent = paths.dirname(line)
        if seen_dirs and seen_dirs[-1] == parent:
            continue
        test.assertNotIn(parent, seen_dirs, "matches of %r split" % parent)
        for earlier in seen_dirs:
            test.assertFalse(earlier.startswith(parent + delimiter),
                             "%r printed after its subdirectory" % parent)
        seen_dirs.append(parent)


class Case(unittest.TestCase):
    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory(prefix="kestriv-e2e-")
        self.root = os.path.realpath(self._tmp.name)

    def tearDown(self):
        # chmod and rm cope with trees deeper than Python's recursion limit
        # and with directories a test made unreadable.
        subprocess.run(["chmod", "-R", "u+rwx", self.root],
                       stderr=subprocess.DEVNULL)
        subprocess.run(["rm", "-rf", self.root])
        self._tmp.cleanup()

    def run_tool(self, *args, cwd=None, raw=False, locale=None):
        run = Run(args, cwd=cwd or self.root, raw=raw, locale=locale)
        self.assertEqual(run.err, b"", "nothing goes to standard error\n" +
                         run.describe())
        return run

    def assert_search(self, run, expected_blocks, found, dirs, code=None):
        """expected_blocks: [(header bytes, set of lines)], with POSIX
        paths; they are compared in the platform's syntax."""
        expected_blocks = [(native_path(h), {native_path(l) for l in want})
                           for h, want in expected_blocks]
        # Every failure names the run, so that one seen once (under Wine, say)
        # can be told apart from the tool's own fault afterwards.
        self.assertTrue(run.out.endswith(b" dirs."),
                        "no summary line\n" + run.describe())
        blocks, summary = parse_output(run.out)
        self.assertEqual([h for h, _ in blocks],
                         [h for h, _ in expected_blocks], run.describe())
        for (header, lines), (_, want) in zip(blocks, expected_blocks):
            self.assertEqual(sorted(lines), sorted(want),
                             "%r\n%s" % (header, run.describe()))
            check_directory_order(self, lines)
        self.assertEqual(summary, b"%d files in %d dirs." % (found, dirs),
                         run.describe())
        self.assertEqual(run.code, code if code is not None else
                         (0 if found else 1), run.describe())


configure(None, "posix")
