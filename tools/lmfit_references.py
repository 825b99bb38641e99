#!/usr/bin/python3
"""The lmfit references of tests/baseline_reference_test.cpp.

Fits the measured spectra of the shared data folder, and the generated
spectrum with a sigma column, with lmfit's default least squares (leastsq,
scale_covar=True), in the file's own units, to the curve peakfold-fit
refines: sum of A*exp(-k((x-c)/b)^2) plus a baseline c0 + c1 t + c2 t^2,
t = (x - m)/h over the fit range's whole wavelengths. Prints the values,
standard errors and chi-square as C++ initialisers for the test's table.

Run once by hand with lmfit 1.1.0:
    /usr/bin/python3 tools/lmfit_references.py [DATA_DIR]
"""

import math
import os
import sys

import lmfit
import numpy as np

K = 0.6931472  # the program's k
DATA = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared", "data")


def read_spectrum(lines):
    """wavelength -> (intensity, sigma or None), as the loader reads a
    heading-free file of whole-nm wavelength TAB intensity [TAB sigma]."""
    rows = {}
    for line in lines:
        fields = line.strip().split("\t")
        if len(fields) < 2:
            continue
        sigma = float(fields[2]) if len(fields) > 2 else None
        rows[int(round(float(fields[0])))] = (float(fields[1]), sigma)
    return rows


def splitmix64(state):
    """The next state and a uniform number in [0, 1) from its top 53 bits."""
    mask = (1 << 64) - 1
    state = (state + 0x9E3779B97F4A7C15) & mask
    z = state
    z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & mask
    z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & mask
    z ^= z >> 31
    return state, (z >> 11) / float(1 << 53)


def sigma_column_lines():
    """The generated spectrum the test writes: two Gaussians on a straight
    line, 400..700 nm, uniform noise of standard deviation sigma, which grows
    along the spectrum; each number as the shortest text of its double."""
    lines, state = [], 2024
    for x in range(400, 701):
        sigma = 0.5 + 2.0 * (x - 400) / 300
        state, u = splitmix64(state)
        y = (12 + 0.03 * (x - 400) + 70 * math.exp(-K * ((x - 510) / 18) ** 2) +
             45 * math.exp(-K * ((x - 575) / 25) ** 2) + sigma * math.sqrt(3) * (2 * u - 1))
        lines.append("%d\t%r\t%r" % (x, y, sigma))
    return lines


def fit(name, rows, first, last, peaks, terms, weighting):
    x = np.arange(first, last + 1, dtype=float)
    y = np.array([rows[w][0] for w in range(first, last + 1)])
    if weighting == "counts":
        weights = 1 / np.sqrt(np.maximum(y, 1))
    elif weighting == "column":
        weights = 1 / np.array([rows[w][1] for w in range(first, last + 1)])
    else:
        weights = np.ones_like(y)
    m, h = (first + last) / 2, (last - first) / 2
    t = (x - m) / h

    params = lmfit.Parameters()
    for p, (A, c, b) in enumerate(peaks):
        params.add("A%d" % p, A)
        params.add("c%d" % p, c)
        params.add("b%d" % p, b)
    # The baseline starts as the straight line through the range's ends.
    slope = (y[-1] - y[0]) / 2
    for j, start in enumerate([(y[0] + y[-1]) / 2, slope, 0][:terms]):
        params.add("k%d" % j, start)

    def residual(pars):
        v = pars.valuesdict()
        model = sum(v["k%d" % j] * t**j for j in range(terms))
        for p in range(len(peaks)):
            model = model + v["A%d" % p] * np.exp(-K * ((x - v["c%d" % p]) / v["b%d" % p])**2)
        return (model - y) * weights

    # Tight tolerances, so the stored values are the minimum itself: with
    # lmfit's default ones a value known only roughly (a baseline's slope)
    # stops about 1e-5 of itself short of it.
    result = lmfit.minimize(residual, params, method="leastsq", xtol=1e-14, ftol=1e-14)
    assert result.success and result.errorbars, name
    # From a start 10 % off, the same minimum.
    moved = result.params.copy()
    for p in range(len(peaks)):
        moved["A%d" % p].value *= 0.9
        moved["b%d" % p].value *= 1.1
    again = lmfit.minimize(residual, moved, method="leastsq", xtol=1e-14, ftol=1e-14)
    assert abs(again.chisqr - result.chisqr) <= 1e-12 * result.chisqr, name

    def entry(key):
        par = result.params[key]
        return "{%r, %r}" % (par.value, par.stderr)

    print("// %s, %d..%d nm" % (name, first, last))
    peak_text = ", ".join("{%s, %s, %s}" % (entry("A%d" % p), entry("c%d" % p), entry("b%d" % p))
                          for p in range(len(peaks)))
    base_text = ", ".join(entry("k%d" % j) for j in range(terms))
    print("{{%s}, {%s}, %r}," % (peak_text, base_text, result.chisqr))


def measured(name):
    with open(os.path.join(DATA, name), encoding="ascii") as f:
        return read_spectrum(f)


fit("gold, linear", measured("gold_nanoparticle_plasmon_abs.txt"), 420, 700,
    [(1.4, 526, 47)], 2, "none")
pink = measured("pink_filter_transmittance_dip.txt")
# The dip's own minimum; a hump at about 641 nm on a falling line fits this
# range with a smaller sum of squares, but is not what the file holds.
fit("pink, linear", pink, 420, 650, [(-77, 527, 60)], 2, "none")
# Over 420..650 a quadratic and ever wider, deeper dip keep lowering the sum
# of squares without end (no minimum); the plateau beyond 650 nm pins it.
fit("pink, quadratic", pink, 420, 750, [(-83, 526, 58)], 3, "none")
led = measured("led740_raw_counts_offset.txt")
fit("led, counts, constant", led, 650, 800, [(48300, 723, 14.6)], 1, "counts")
fit("led, counts, linear", led, 650, 800, [(48300, 723, 14.6)], 2, "counts")
fit("sigma column, linear", read_spectrum(sigma_column_lines()), 420, 680,
    [(70, 510, 18), (45, 575, 25)], 2, "column")
