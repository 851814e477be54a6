#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the correctly rounded log or cos of each hard-to-round argument.

    round_hard_cases.py log|cos ARGUMENTS > RESULTS

ARGUMENTS holds one hexadecimal double per line (Vincent Lefevre's hard cases
for log and cos, as collected by the CORE-MATH project); each output line is
the argument and the exact function value rounded to the nearest double, ties
to even, both in hexadecimal ("nan" for the logarithm of a negative number).  The value is computed with mpmath at 600 bits
(far beyond the 53 + 64 bits the hardest of these cases need) and rounded
once, to 53 bits, by mpmath's own round-to-nearest.
"""
import sys

import mpmath


def main() -> None:
    function = {"log": mpmath.log, "cos": mpmath.cos}[sys.argv[1]]
    with open(sys.argv[2], encoding="ascii") as arguments:
        for line in arguments:
            text = line.strip()
            if not text:
                continue
            x = float.fromhex(text)
            if x < 0 and function is mpmath.log:  # no real logarithm: NaN
                sys.stdout.write(f"{x.hex()} nan\n")
                continue
            with mpmath.workprec(600):
                exact = function(mpmath.mpf(x))
            with mpmath.workprec(53):
                rounded = +exact
            sys.stdout.write(f"{x.hex()} {float(rounded).hex()}\n")


if __name__ == "__main__":
    main()
