"""The report every whole-program runner prints: one PASS or FAIL line per row (with its
problems under a FAIL), then "N passed, M failed"."""

import sys


class Tally:
    def __init__(self):
        self.passed = self.failed = 0

    def record(self, label, problems):
        if problems:
            self.failed += 1
            print(f"FAIL {label}")
            for problem in problems:
                print("     " + str(problem).replace("\n", "\n     "))
        else:
            self.passed += 1
            print(f"PASS {label}")
        sys.stdout.flush()

    def exit_code(self):
        """Prints the count; 0 when every row passed and there was one at least."""
        print(f"{self.passed} passed, {self.failed} failed")
        return 0 if self.failed == 0 and self.passed > 0 else 1
