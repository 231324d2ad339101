#!/usr/bin/env python3
"""Runs every end-to-end test (tests/test_*.py) against one built binary."""
import argparse
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import e2e_support  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--platform", default="posix")
    parser.add_argument("pattern", nargs="?", default="test_*.py")
    args = parser.parse_args()
    e2e_support.BINARY = os.path.abspath(args.binary)
    e2e_support.PLATFORM = args.platform
    suite = unittest.defaultTestLoader.discover(HERE, pattern=args.pattern)
    result = unittest.TextTestRunner(verbosity=1).run(suite)
    failed = len(result.failures) + len(result.errors)
    print("%d passed, %d failed" % (result.testsRun - failed, failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
