"""Runs one group of acceptance scenarios: run_suite.py POTPANEL FAKE_MODEM MODULE."""

import os
import sys
import unittest

# The exit status CTest reads as "skipped".
SKIPPED = 77

if __name__ == "__main__":
    if os.geteuid() != 0:
        print("skipped: the virtual COM1 needs root, for a private mount namespace")
        sys.exit(SKIPPED)
    potpanel, fake_modem, module = sys.argv[1:4]
    os.environ["POTPANEL"] = potpanel
    os.environ["FAKE_MODEM"] = fake_modem
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    sys.dont_write_bytecode = True
    suite = unittest.defaultTestLoader.loadTestsFromName(module)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)
