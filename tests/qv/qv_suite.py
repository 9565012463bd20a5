"""What the qv suites written in Python share: a scratch folder with the
registry in it, checks counted, and qv reg query's output."""
import os
import subprocess
import sys
import tempfile


class Suite:
    def __init__(self, qv):
        self.qv = qv
        self.scratch = tempfile.mkdtemp()
        os.environ["QV_REGISTRY"] = os.path.join(self.scratch, "registry.db")
        self.checks = 0
        self.failures = 0

    def check(self, name, expected, actual):
        self.checks += 1
        if expected != actual:
            self.failures += 1
            print(f"FAILED {name}\n  expected: {expected!r}\n  actual:   {actual!r}")

    def query(self, key, *more):
        return subprocess.run([self.qv, "reg", "query", key, *more], capture_output=True,
                              text=True).stdout

    def end(self, title):
        print(f"{title}: {self.checks - self.failures} passed, {self.failures} failed")
        sys.exit(1 if self.failures else 0)
