#!/usr/bin/python3
"""The lmfit references of tests/baseline_reference_test.cpp and
tests/shape_test.cpp.

Fits the measured spectra of the shared data folder, and the generated
spectrum with a sigma column, with lmfit's default least squares (leastsq,
scale_covar=True), in the file's own units, to the curve peakfold-fit
refines: a sum of peaks plus a baseline c0 + c1 t + c2 t^2, t = (x - m)/h
over the fit range's whole wavelengths. With q = (x - c)/b a peak is
A exp(-k q^2), A/(1 + q^2), or the pseudo-Voigt A((1 - eta) exp(-k q^2) +
eta/(1 + q^2)) with eta bounded to 0..1 by lmfit's sine transform, as the
refinement bounds it. Prints the values, standard errors and chi-square as
C++ initialisers for the tests' tables (a pseudo-Voigt's eta after its b).

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


def peak_value(shape, A, c, b, eta, x):
    q2 = ((x - c) / b)**2
    gauss, lorentz = np.exp(-K * q2), 1 / (1 + q2)
    if shape == "gaussian":
        return A * gauss
    if shape == "lorentzian":
        return A * lorentz
    return A * ((1 - eta) * gauss + eta * lorentz)


def fit(name, rows, first, last, peaks, terms, weighting, shapes=None):
    """peaks: (A, c, b) or, for a pseudo-Voigt, (A, c, b, eta) to start
    from; shapes: each peak's shape, Gaussians when absent."""
    bounded = shapes is not None
    shapes = shapes or ["gaussian"] * len(peaks)
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
    # The shapes' fits bound the centre and half-width as the refinement
    # does, so a start 10 % off cannot wander to a negative half-width.
    for p, start in enumerate(peaks):
        params.add("A%d" % p, start[0])
        params.add("c%d" % p, start[1], min=first if bounded else None,
                   max=last if bounded else None)
        params.add("b%d" % p, start[2], min=0.5 if bounded else None,
                   max=last - first if bounded else None)
        if shapes[p] == "pseudo-voigt":
            params.add("e%d" % p, start[3], min=0, max=1)
    # The baseline starts as the straight line through the range's ends.
    slope = (y[-1] - y[0]) / 2
    for j, start in enumerate([(y[0] + y[-1]) / 2, slope, 0][:terms]):
        params.add("k%d" % j, start)

    def residual(pars):
        v = pars.valuesdict()
        model = sum(v["k%d" % j] * t**j for j in range(terms))
        for p in range(len(peaks)):
            model = model + peak_value(shapes[p], v["A%d" % p], v["c%d" % p], v["b%d" % p],
                                       v.get("e%d" % p, 0), x)
        return (model - y) * weights

    # Tight tolerances, so the stored values are the minimum itself: with
    # lmfit's default ones a value known only roughly (a baseline's slope)
    # stops about 1e-5 of itself short of it.
    result = lmfit.minimize(residual, params, method="leastsq", xtol=1e-14, ftol=1e-14)
    assert result.success and result.errorbars, name
    method = "leastsq"
    on_bound = [key for key, par in result.params.items()
                if par.vary and min(par.value - par.min, par.max - par.value) <= 1e-6]
    if on_bound:
        # leastsq's sine transform has a slope of 0 on a bound: it creeps
        # towards a minimum there, and its covariance drops that parameter
        # by how near it came. least_squares' native bounds instead, from
        # leastsq's answer with the value on its bound: the minimum, and
        # the errors of (J^T J)^-1 in the values themselves, as the
        # refinement gives them.
        method = "least_squares"
        for key in on_bound:
            par = result.params[key]
            par.value = par.min if par.value - par.min <= 1e-6 else par.max
        result = lmfit.minimize(residual, result.params, method=method, xtol=1e-15, ftol=1e-15,
                                gtol=1e-15)
        assert result.success and result.errorbars, name
    # From a start 10 % off, the same minimum.
    moved = result.params.copy()
    for p in range(len(peaks)):
        moved["A%d" % p].value *= 0.9
        moved["b%d" % p].value *= 1.1
    tight = dict(xtol=1e-15, ftol=1e-15, gtol=1e-15) if on_bound else dict(xtol=1e-14, ftol=1e-14)
    again = lmfit.minimize(residual, moved, method=method, **tight)
    assert abs(again.chisqr - result.chisqr) <= 1e-12 * result.chisqr, name

    def entry(key):
        par = result.params[key]
        return "{%r, %r}" % (par.value, par.stderr)

    print("// %s, %d..%d nm" % (name, first, last))
    peak_text = ", ".join(
        "{%s}" % ", ".join(entry("%s%d" % (key, p))
                           for key in ("A", "c", "b", "e") if "%s%d" % (key, p) in result.params)
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

# Shapes, each started at peakfold-fit's refined values, so that both
# describe the same minimum.
red = measured("red_laser_diode_narrow.txt")
fit("red laser, gaussian, linear", red, 600, 720, [(5520, 656.49, 7.30)], 2, "none",
    ["gaussian"])
fit("red laser, pseudo-voigt, linear", red, 600, 720, [(6154, 656.58, 6.49, 0.83)], 2, "none",
    ["pseudo-voigt"])
# The second peak's best shape is the Gaussian itself: its eta ends on 0.
fit("white led, pseudo-voigt, linear", measured("white_led_blue_plus_phosphor.txt"), 400, 780,
    [(55076, 454.75, 10.72, 0.75), (4611, 532.85, 18.03, 0.01), (24692, 572.80, 71.41, 0.70)],
    2, "none", ["pseudo-voigt"] * 3)
