#!/usr/bin/env python3
"""Runs the end-to-end tests (tests/test_*.py) against one built binary.

    run_end_to_end.py --binary BUILD/kestriv [--platform posix|win32]
                      [-k NAME]... [MODULE_PATTERN]

MODULE_PATTERN picks the modules (default test_*.py; CTest runs one module
per test); -k keeps only the tests whose name contains NAME (also a
wildcard pattern). Exit code: 0 all passed, 1 a failure or nothing
matched, 77 when every selected test was skipped on this platform.
"""
import argparse
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import e2e_support  # noqa: E402

EXIT_ALL_SKIPPED = 77


def load(pattern, names):
    loader = unittest.TestLoader()
    if names:
        loader.testNamePatterns = [n if "*" in n else "*%s*" % n
                                   for n in names]
    return loader.discover(HERE, pattern=pattern)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--platform", default="posix")
    parser.add_argument("-k", dest="names", action="append", default=[],
                        help="run only tests whose name contains NAME")
    parser.add_argument("pattern", nargs="?", default="test_*.py")
    args = parser.parse_args()
    # Before the modules load: they take the expected message bytes.
    e2e_support.configure(os.path.abspath(args.binary), args.platform)
    suite = load(args.pattern, args.names)
    result = unittest.TextTestRunner(verbosity=1).run(suite)
    # A test can fail and then also error in its clean-up: count tests, not
    # reports.
    failed = len({id(test) for test, _ in result.failures + result.errors})
    skipped = len(result.skipped)
    passed = max(result.testsRun - failed - skipped, 0)
    print("%d passed, %d failed, %d skipped" % (passed, failed, skipped))
    if result.testsRun == 0:
        print("no test matches")
        sys.exit(1)
    if failed:
        sys.exit(1)
    sys.exit(EXIT_ALL_SKIPPED if skipped == result.testsRun else 0)


if __name__ == "__main__":
    main()
