#!/usr/bin/python3
# Golden poles, zeros and gains of the classic bilinear IIR designs, from SciPy.
#
#   /usr/bin/python3 tests/tools/dsp_golden.py tests/data
#
# writes tests/data/dsp_butter_cheby1_cheby2_zpk.txt and
# tests/data/dsp_bessel_ellip_zpk.txt. Each case is four lines:
#   case <family> <btype> <order> <fs> <f1> <f2> <value> [<rolloff>]
#   k <gain>
#   p <re> <im> <re> <im> ...
#   z <re> <im> ...
# Only the real roots and the roots with a positive imaginary part are listed;
# each complex root stands for itself and its conjugate. 14 significant digits
# are ample for comparisons at 1e-9.
# f1 is the cutoff (or the band centre), f2 the band width (0 for low/high-pass),
# value the pass-band ripple (cheby1, ellip) or stop-band attenuation (cheby2)
# in dB. Band designs are given to SciPy with Wn = [f1 - f2/2, f1 + f2/2].
# Bessel designs use norm='delay' (the poles are the roots of the reverse Bessel
# polynomial). An elliptic case names the transition-width parameter w of the
# design under test: its selectivity is k = 1 / (5 e^(w - 1) + 1), and the
# stop-band attenuation handed to SciPy is the one that the degree equation
# gives for that k, the order and the ripple.
import os
import sys

import numpy as np
from scipy import signal, special

RATES = [8000.0, 44100.0, 48000.0, 96000.0, 192000.0]
CUTOFFS = [0.01, 0.05, 0.1, 0.2, 0.3, 0.42]          # fraction of fs
BANDS = [(0.1, 0.05), (0.25, 0.1), (0.05, 0.02), (0.35, 0.2), (0.2, 0.3)]  # centre, width
RIPPLES = [0.1, 0.5, 1.0, 3.0]
STOPS = [20.0, 40.0, 60.0, 80.0]
ORDERS = list(range(1, 13)) + [16, 20, 30, 50]


ROLLOFFS = [-2.0, 0.0, 1.0, 2.0]
ELLIP_RIPPLES = [0.1, 0.5, 1.0, 3.0]
SECOND_ORDERS = list(range(1, 13)) + [16, 20, 25]


def elliptic_stop_db(order, ripple, rolloff):
    xi = 5 * np.exp(rolloff - 1) + 1
    m = 1 / xi ** 2
    # nome of the design's modulus, raised to the order: the nome of the
    # discrimination factor k1 = eps_pass / eps_stop
    q = np.exp(-np.pi * special.ellipk(1 - m) / special.ellipk(m)) ** order
    j = np.arange(1, 40)
    k1 = 4 * np.sqrt(q) * ((1 + np.sum(q ** (j * (j + 1)))) / (1 + 2 * np.sum(q ** (j * j)))) ** 2
    eps = np.sqrt(10 ** (ripple / 10) - 1)
    return 10 * np.log10(1 + (eps / k1) ** 2)


def design(family, btype, order, fs, f1, f2, value, rolloff=0.0):
    wn = f1 if f2 == 0 else [f1 - f2 / 2, f1 + f2 / 2]
    if family == 'bessel':
        return signal.bessel(order, wn, btype, fs=fs, norm='delay', output='zpk')
    if family == 'ellip':
        return signal.ellip(order, value, elliptic_stop_db(order, value, rolloff), wn, btype, fs=fs,
                            output='zpk')
    if family == 'butter':
        return signal.butter(order, wn, btype, fs=fs, output='zpk')
    if family == 'cheby1':
        return signal.cheby1(order, value, wn, btype, fs=fs, output='zpk')
    return signal.cheby2(order, value, wn, btype, fs=fs, output='zpk')


def numbers(values):
    out = []
    count = 0
    for v in sorted(values, key=lambda c: (c.real, c.imag)):
        if abs(v.imag) <= 1e-10 * max(1.0, abs(v)):
            out.append('%.14g 0' % v.real)
            count += 1
        elif v.imag > 0:
            out.append('%.14g %.14g' % (v.real, v.imag))
            count += 2
    assert count == len(values), 'unpaired complex root'
    return ' '.join(out)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', 'data')
    lines = []
    index = 0
    for family in ('butter', 'cheby1', 'cheby2'):
        for btype in ('lowpass', 'highpass', 'bandpass', 'bandstop'):
            for order in ORDERS:
                # Rotate through the settings so that every rate, cutoff and band
                # appears across the orders.
                fs = RATES[index % len(RATES)]
                if btype in ('lowpass', 'highpass'):
                    f1, f2 = CUTOFFS[index % len(CUTOFFS)] * fs, 0.0
                else:
                    centre, width = BANDS[index % len(BANDS)]
                    f1, f2 = centre * fs, width * fs
                value = 0.0
                if family == 'cheby1':
                    value = RIPPLES[index % len(RIPPLES)]
                elif family == 'cheby2':
                    value = STOPS[index % len(STOPS)]
                index += 1
                z, p, k = design(family, btype, order, fs, f1, f2, value)
                lines.append('case %s %s %d %r %r %r %r' % (family, btype, order, fs, f1, f2, value))
                lines.append('k %.14g' % float(k))
                lines.append('p ' + numbers(p))
                lines.append('z ' + numbers(z))
    with open(os.path.join(target, 'dsp_butter_cheby1_cheby2_zpk.txt'), 'w') as f:
        f.write('\n'.join(lines) + '\n')

    lines = []
    index = 0
    for family in ('bessel', 'ellip'):
        for btype in ('lowpass', 'highpass', 'bandpass', 'bandstop'):
            orders = SECOND_ORDERS + ([30, 40, 50] if family == 'bessel' else [])
            for order in orders:
                fs = RATES[index % len(RATES)]
                if btype in ('lowpass', 'highpass'):
                    f1, f2 = CUTOFFS[index % len(CUTOFFS)] * fs, 0.0
                else:
                    centre, width = BANDS[index % len(BANDS)]
                    f1, f2 = centre * fs, width * fs
                value = ELLIP_RIPPLES[index % len(ELLIP_RIPPLES)] if family == 'ellip' else 0.0
                rolloff = ROLLOFFS[index % len(ROLLOFFS)] if family == 'ellip' else 0.0
                index += 1
                z, p, k = design(family, btype, order, fs, f1, f2, value, rolloff)
                lines.append('case %s %s %d %r %r %r %r %r' % (family, btype, order, fs, f1, f2, value, rolloff))
                lines.append('k %.14g' % float(k))
                lines.append('p ' + numbers(p))
                lines.append('z ' + numbers(z))
    with open(os.path.join(target, 'dsp_bessel_ellip_zpk.txt'), 'w') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main()
