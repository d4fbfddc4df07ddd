#!/usr/bin/python3
# Golden magnitudes of the IIR filter channel, one per kind x type it builds.
#
#   /usr/bin/python3 tests/tools/filter_iir_golden.py tests/data
#
# writes tests/data/filter_iir_response_fs1000.txt, one case a line:
#   <kind> <type> <order> <fc> <width> <gain> <ripple> <stop> <q> <slope> <probe> <magnitude>
# kind and type are the channel's enumeration values, frequencies in Hz at a
# rate of 1000 Hz, gain, ripple and stop in dB; magnitude is |H| at the probe.
# Sources of the magnitudes:
# - Butterworth, Chebyshev I/II, elliptic and Bessel low/high-pass and band
#   designs: SciPy, set up as in dsp_golden.py (band edges fc -+ width/2, Bessel
#   normalised for delay, the elliptic stop band from the transition width).
# - RBJ sections: the cookbook formulas evaluated here, the band width in
#   octaves between the channel's edges.
# - Designs SciPy does not make: closed-form facts. A Legendre (optimum L)
#   response is 1/sqrt(2) at its cut-off and band edges; a shelf has its full
#   gain at DC (low shelf), at half the rate (high shelf) or at the centre (band
#   shelf).
import math
import os
import sys

import numpy as np
from scipy import signal

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dsp_golden import design  # noqa: E402

FS = 1000.0
KINDS = {'bessel': 0, 'butter': 1, 'cheby1': 2, 'cheby2': 3, 'ellip': 4, 'legendre': 5, 'rbj': 6}
TYPES = {'lowpass': 0, 'highpass': 1, 'bandpass': 2, 'bandpass1': 3, 'bandpass2': 4, 'bandstop': 5,
         'lowshelf': 6, 'highshelf': 7, 'bandshelf': 8, 'allpass': 9}

ORDER = 4
FC, BAND_FC, WIDTH = 100.0, 200.0, 40.0
GAIN, RIPPLE, STOP, Q, SLOPE = 6.0, 0.5, 40.0, 0.8, 0.0
RBJ_SLOPE = 0.9  # shelf slope of the RBJ cases (the elliptic cases use SLOPE)


def magnitude(b_or_zpk, probe, zpk=True):
    if zpk:
        z, p, k = b_or_zpk
        _, h = signal.freqz_zpk(z, p, k, worN=[probe], fs=FS)
    else:
        b, a = b_or_zpk
        _, h = signal.freqz(b, a, worN=[probe], fs=FS)
    return abs(h[0])


def rbj(kind, fc, width, probe):
    w0 = 2 * math.pi * fc / FS
    cs, sn = math.cos(w0), math.sin(w0)
    A = 10 ** (GAIN / 40)
    octaves = math.log2((fc + width / 2) / (fc - width / 2))
    alpha_bw = sn * math.sinh(math.log(2) / 2 * octaves * w0 / sn)
    alpha_q = sn / (2 * Q)
    if kind == 'lowpass':
        b, a = [(1 - cs) / 2, 1 - cs, (1 - cs) / 2], [1 + alpha_q, -2 * cs, 1 - alpha_q]
    elif kind == 'highpass':
        b, a = [(1 + cs) / 2, -(1 + cs), (1 + cs) / 2], [1 + alpha_q, -2 * cs, 1 - alpha_q]
    elif kind == 'allpass':
        b, a = [1 - alpha_q, -2 * cs, 1 + alpha_q], [1 + alpha_q, -2 * cs, 1 - alpha_q]
    elif kind == 'bandpass1':
        b, a = [sn / 2, 0, -sn / 2], [1 + alpha_bw, -2 * cs, 1 - alpha_bw]
    elif kind == 'bandpass2':
        b, a = [alpha_bw, 0, -alpha_bw], [1 + alpha_bw, -2 * cs, 1 - alpha_bw]
    elif kind == 'bandstop':
        b, a = [1, -2 * cs, 1], [1 + alpha_bw, -2 * cs, 1 - alpha_bw]
    elif kind == 'bandshelf':
        b = [1 + alpha_bw * A, -2 * cs, 1 - alpha_bw * A]
        a = [1 + alpha_bw / A, -2 * cs, 1 - alpha_bw / A]
    else:
        alpha = sn / 2 * math.sqrt((A + 1 / A) * (1 / RBJ_SLOPE - 1) + 2)
        sq = 2 * math.sqrt(A) * alpha
        sign = 1 if kind == 'lowshelf' else -1
        b = [A * ((A + 1) - sign * (A - 1) * cs + sq), sign * 2 * A * ((A - 1) - sign * (A + 1) * cs),
             A * ((A + 1) - sign * (A - 1) * cs - sq)]
        a = [(A + 1) + sign * (A - 1) * cs + sq, -sign * 2 * ((A - 1) + sign * (A + 1) * cs),
             (A + 1) + sign * (A - 1) * cs - sq]
    return magnitude((np.array(b), np.array(a)), probe, zpk=False)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', 'data')
    cases = []  # (kind, type, fc, width, slope, probe, magnitude)
    for family in ('bessel', 'butter', 'cheby1', 'cheby2', 'ellip'):
        value = {'cheby1': RIPPLE, 'cheby2': STOP, 'ellip': RIPPLE}.get(family, 0.0)
        for btype, fc, width, probe in (('lowpass', FC, 0.0, 120.0), ('highpass', FC, 0.0, 80.0),
                                        ('bandpass', BAND_FC, WIDTH, 210.0), ('bandstop', BAND_FC, WIDTH, 175.0)):
            zpk = design(family, btype, ORDER, FS, fc, width, value, SLOPE)
            cases.append((family, btype, fc, width, SLOPE, probe, magnitude(zpk, probe)))
    edge = BAND_FC - WIDTH / 2
    for btype, fc, width, probe in (('lowpass', FC, 0.0, FC), ('highpass', FC, 0.0, FC),
                                    ('bandpass', BAND_FC, WIDTH, edge), ('bandstop', BAND_FC, WIDTH, edge)):
        cases.append(('legendre', btype, fc, width, SLOPE, probe, 1 / math.sqrt(2)))
    shelf = 10 ** (GAIN / 20)
    cases.append(('bessel', 'lowshelf', FC, 0.0, SLOPE, 0.0, shelf))
    cases.append(('butter', 'lowshelf', FC, 0.0, SLOPE, 0.0, shelf))
    cases.append(('butter', 'highshelf', FC, 0.0, SLOPE, FS / 2, shelf))
    cases.append(('butter', 'bandshelf', BAND_FC, WIDTH, SLOPE, BAND_FC, shelf))
    for btype, probe in (('lowpass', 110.0), ('highpass', 90.0), ('allpass', 110.0), ('bandpass1', 110.0),
                         ('bandpass2', 110.0), ('bandstop', 90.0), ('lowshelf', 110.0), ('highshelf', 90.0),
                         ('bandshelf', 110.0)):
        cases.append(('rbj', btype, FC, WIDTH, RBJ_SLOPE, probe, rbj(btype, FC, WIDTH, probe)))

    lines = ['%d %d %d %r %r %r %r %r %r %r %r %.14g' % (KINDS[k], TYPES[t], ORDER, fc, width, GAIN, RIPPLE, STOP,
                                                          Q, slope, probe, m)
             for k, t, fc, width, slope, probe, m in cases]
    with open(os.path.join(target, 'filter_iir_response_fs1000.txt'), 'w') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main()
