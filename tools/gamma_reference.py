#!/usr/bin/env python3
"""Write tests/data/incomplete_gamma_reference.csv: Gamma(a, z) at 30 digits.

The values come from mpmath's gammainc at 50 working digits, checked against
80 digits (Debian package python3-mpmath). They are committed, so the tests
need no Python; rerun from the repository root only to change the grid:

    python3 tools/gamma_reference.py

Columns: a and z exactly as the test passes them to upper_incomplete_gamma
(shortest round-trip form of the double), and the value. An a in [0, 1e-10)
is priced at a = 1e-9, as the function does, so its value is Gamma(1e-9, z).
"""

import pathlib

import mpmath

ROOT = pathlib.Path(__file__).resolve().parent.parent
TARGET = ROOT / "tests" / "data" / "incomplete_gamma_reference.csv"

# a = -(r + lambda) b ranges over about -10 .. 1 for the rates and tables on
# offer; whole negative numbers and the neighbourhood of 0 are the hard cases.
A_VALUES = [
    -10.0, -9.5, -9.0, -8.25, -7.0, -6.5, -5.0, -4.75, -4.0, -3.3, -3.0,
    -2.5, -2.0, -1.5, -1.0000001, -1.0, -0.9999999, -0.75, -0.5,
    -0.32346, -0.25, -0.1, -1e-3, -1e-6, -1e-12, 0.0, 1e-11, 1e-9, 1e-6,
    1e-3, 0.1, 0.25, 0.5, 0.75, 0.999, 1.0,
]
Z_VALUES = [
    1e-3, 3e-3, 0.01, 0.03, 0.1, 0.3, 0.5, 0.9, 1.0, 1.25, 1.49, 1.5, 1.51,
    1.75, 2.0, 3.0, 5.0, 7.5, 10.0, 15.0, 20.0, 30.0, 50.0, 75.0, 100.0,
    150.0, 200.0, 300.0, 500.0, 700.0, 1000.0, 1500.0, 3000.0, 3355.0,
    5000.0, 10000.0,
]


def gammainc(a, z, digits):
    with mpmath.workdps(digits):
        return mpmath.gammainc(mpmath.mpf(a), mpmath.mpf(z))


def main():
    lines = ["a,z,value"]
    for a in A_VALUES:
        priced = 1e-9 if 0 <= a < 1e-10 else a
        for z in Z_VALUES:
            value = gammainc(priced, z, 50)
            # The same at 80 digits must agree far beyond the 30 written.
            check = gammainc(priced, z, 80)
            if abs(value - check) > abs(check) * mpmath.mpf("1e-40"):
                raise SystemExit(f"mpmath unstable at a={a!r}, z={z!r}")
            lines.append(f"{a!r},{z!r},{mpmath.nstr(value, 30, min_fixed=1, max_fixed=0)}")
    TARGET.write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
